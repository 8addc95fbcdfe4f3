// SPDX-License-Identifier: GPL-3.0-or-later
#include "asx_resolver.h"

#include "asx_reader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace kelvaro {

namespace {
constexpr int kAsxTimeoutMs = 10000;  // same bound as the engine's network timeout
}

AsxResolver::~AsxResolver()
{
    cancel();
}

void AsxResolver::cancel()
{
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void AsxResolver::resolve(const QString &address)
{
    cancel();
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request{QUrl(address, QUrl::TolerantMode)};
    // Only redirects that stay on http/https are followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(kAsxTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        // A playlist is small; a stream or a huge file behind an .asx name is not.
        if (received > kMaxAsxBytes && reply == m_reply)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void AsxResolver::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    const QByteArray data = reply->read(kMaxAsxBytes + 1);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const auto error = reply->error();
    if (error == QNetworkReply::NoError && data.size() <= kMaxAsxBytes) {
        emit resolved(parseAsxEntries(data, reply->url().toString()));
        return;
    }
    PlayerFailure failure = PlayerFailure::CannotConnect;
    if (data.size() > kMaxAsxBytes || error == QNetworkReply::OperationCanceledError)
        failure = data.size() > 0 || reply->bytesAvailable() > 0 ? PlayerFailure::Unsupported
                                                                 : PlayerFailure::TimedOut;
    else if (status == 404 || status == 410)
        failure = PlayerFailure::NotFound;
    else if (status == 401 || status == 403)
        failure = PlayerFailure::AccessDenied;
    else if (status >= 400)
        failure = PlayerFailure::ServerError;
    else if (error == QNetworkReply::HostNotFoundError)
        failure = PlayerFailure::HostNotFound;
    else if (error == QNetworkReply::TimeoutError)
        failure = PlayerFailure::TimedOut;
    emit failed(failure);
}

}  // namespace kelvaro
