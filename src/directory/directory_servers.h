// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <optional>

class QDnsLookup;
class QHostInfo;

namespace kelvaro {

// Finds the directory's API servers the way the directory asks its users
// to: the DNS SRV record _api._tcp.radio-browser.info names them; when that
// gives nothing, the addresses of all.api.radio-browser.info are looked up
// and named by reverse lookup. The list comes back shuffled, so users spread
// over the servers. Asynchronous; each of the two steps has a time limit.
class DirectoryServers : public QObject {
    Q_OBJECT
public:
    explicit DirectoryServers(QObject *parent = nullptr);
    ~DirectoryServers() override;

    // Starts looking; `found` follows once, from the event loop.
    void find(int stepTimeoutMs);

signals:
    // Base addresses ("https://de1.api.radio-browser.info"); empty when no
    // server was found.
    void found(const QStringList &servers);

private:
    void serviceRecordsFound();
    void lookUpAddresses();
    void addressesFound(const QHostInfo &info);
    void nameFound(const QHostInfo &info);
    void timedOut();
    void finish();
    void abortLookups();

    QTimer timer_;
    QDnsLookup *srv_ = nullptr;
    QList<int> hostLookups_;
    int namesPending_ = 0;
    int stepTimeoutMs_ = 0;
    bool addressStep_ = false;
    bool running_ = false;
    QStringList servers_;
};

// The servers named in KELVARO_DIRECTORY_URL (a comma-separated list of base
// addresses, for tests and benches), in the order given and not shuffled;
// nullopt when it is not set. Only https addresses are taken, and plain http
// to 127.0.0.1.
std::optional<QStringList> serversFromEnvironment();

}  // namespace kelvaro
