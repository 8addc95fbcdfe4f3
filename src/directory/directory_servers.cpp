// SPDX-License-Identifier: GPL-3.0-or-later
#include "directory_servers.h"

#include <QDnsLookup>
#include <QHostAddress>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>

namespace kelvaro {

namespace {

const QString kServiceName = QStringLiteral("_api._tcp.radio-browser.info");
const QString kAllServers = QStringLiteral("all.api.radio-browser.info");
// Reverse lookups name whatever the address's owner chose; only names in the
// directory's own domain are used.
const QString kDomainSuffix = QStringLiteral(".radio-browser.info");

// "https://<name>" for a DNS name (the root's dot dropped); empty when the
// name is not a plain host name.
QString serverAddress(QString name, quint16 port = 443)
{
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name.isEmpty() || !QHostAddress(name).isNull())
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(name, QUrl::StrictMode);
    if (port != 443)
        url.setPort(port);
    return url.isValid() && !url.host().isEmpty() ? url.toString() : QString();
}

}  // namespace

DirectoryServers::DirectoryServers(QObject *parent)
    : QObject(parent)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &DirectoryServers::timedOut);
}

DirectoryServers::~DirectoryServers()
{
    abortLookups();
}

void DirectoryServers::find(int stepTimeoutMs)
{
    if (running_)
        return;
    running_ = true;
    addressStep_ = false;
    stepTimeoutMs_ = stepTimeoutMs;
    servers_.clear();
    srv_ = new QDnsLookup(QDnsLookup::SRV, kServiceName, this);
    connect(srv_, &QDnsLookup::finished, this, &DirectoryServers::serviceRecordsFound);
    timer_.start(stepTimeoutMs_);
    srv_->lookup();
}

void DirectoryServers::serviceRecordsFound()
{
    if (!running_ || !srv_)
        return;
    if (srv_->error() == QDnsLookup::NoError) {
        for (const QDnsServiceRecord &record : srv_->serviceRecords()) {
            const QString address = serverAddress(record.target(), record.port());
            if (!address.isEmpty() && !servers_.contains(address))
                servers_.append(address);
        }
    }
    srv_->deleteLater();
    srv_ = nullptr;
    if (!servers_.isEmpty())
        finish();
    else
        lookUpAddresses();
}

void DirectoryServers::lookUpAddresses()
{
    addressStep_ = true;
    timer_.start(stepTimeoutMs_);
    hostLookups_.append(QHostInfo::lookupHost(kAllServers, this, &DirectoryServers::addressesFound));
}

void DirectoryServers::addressesFound(const QHostInfo &info)
{
    hostLookups_.removeAll(info.lookupId());
    if (!running_)
        return;
    const QList<QHostAddress> addresses = info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>();
    namesPending_ = int(addresses.size());
    if (namesPending_ == 0) {
        finish();
        return;
    }
    // A host name given as an address is looked up in reverse.
    for (const QHostAddress &address : addresses)
        hostLookups_.append(QHostInfo::lookupHost(address.toString(), this, &DirectoryServers::nameFound));
}

void DirectoryServers::nameFound(const QHostInfo &info)
{
    hostLookups_.removeAll(info.lookupId());
    if (!running_)
        return;
    const QString name = info.hostName();
    if (info.error() == QHostInfo::NoError && name.endsWith(kDomainSuffix, Qt::CaseInsensitive)) {
        const QString address = serverAddress(name.toLower());
        if (!address.isEmpty() && !servers_.contains(address))
            servers_.append(address);
    }
    if (--namesPending_ <= 0)
        finish();
}

void DirectoryServers::timedOut()
{
    // The SRV record gave nothing in time: on to the addresses (servers are
    // only listed once that step ends). The address step ran out: the
    // servers named so far are the list.
    if (!addressStep_) {
        if (srv_) {
            srv_->disconnect(this);
            srv_->abort();
            srv_->deleteLater();
            srv_ = nullptr;
        }
        lookUpAddresses();
        return;
    }
    finish();
}

void DirectoryServers::abortLookups()
{
    timer_.stop();
    if (srv_) {
        srv_->disconnect(this);
        srv_->abort();
        srv_->deleteLater();
        srv_ = nullptr;
    }
    for (int id : std::as_const(hostLookups_))
        QHostInfo::abortHostLookup(id);
    hostLookups_.clear();
}

void DirectoryServers::finish()
{
    if (!running_)
        return;
    running_ = false;
    abortLookups();
    QStringList servers = servers_;
    std::shuffle(servers.begin(), servers.end(), *QRandomGenerator::global());
    emit found(servers);
}

std::optional<QStringList> serversFromEnvironment()
{
    if (!qEnvironmentVariableIsSet("KELVARO_DIRECTORY_URL"))
        return std::nullopt;
    QStringList servers;
    const QStringList entries = qEnvironmentVariable("KELVARO_DIRECTORY_URL").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        const QUrl url(entry.trimmed(), QUrl::StrictMode);
        const bool https = url.scheme() == QLatin1String("https") && !url.host().isEmpty();
        const bool local = url.scheme() == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1");
        if (url.isValid() && (https || local) && !url.hasQuery() && !url.hasFragment())
            servers.append(url.toString(QUrl::StripTrailingSlash));
        else
            qWarning("KELVARO_DIRECTORY_URL: %s is not a directory server address (https, or http on 127.0.0.1)",
                     qPrintable(entry.trimmed()));
    }
    return servers;
}

}  // namespace kelvaro
