// SPDX-License-Identifier: GPL-3.0-or-later
#include "single_instance.h"

#include "desktop_platform.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace kelvaro {

namespace {

// The request is the line "show", after a line "token <activation token>"
// when the start has a token (an instance that knows no tokens skips that
// line and still shows its window).
constexpr char kShowRequest[] = "show\n";
constexpr char kTokenLine[] = "token ";
constexpr char kAcknowledged[] = "ok\n";
constexpr qint64 kMaxTokenBytes = 256;
constexpr qint64 kMaxRequestBytes = 16 + kMaxTokenBytes;
// How long a start waits for an instance that holds the lock but does not
// answer yet (it may be between taking the lock and listening).
constexpr int kHandOverMs = 5000;
constexpr int kSocketWaitMs = 2000;

}  // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    // The socket goes while the lock is still held: once the lock is free, a
    // new start may already be listening under the same name, and closing
    // ours afterwards would remove its socket file.
    delete server_;
    server_ = nullptr;
    lock_.reset();
}

namespace {

// Tokens are opaque to us, but only printable ASCII without spaces ever goes
// into the request or comes out of it.
bool plausibleToken(const QByteArray &token)
{
    return token.size() <= kMaxTokenBytes
        && std::all_of(token.cbegin(), token.cend(), [](char c) { return c > ' ' && c < 0x7f; });
}

}  // namespace

bool SingleInstance::handOverToRunningInstance(const QByteArray &activationToken)
{
    lock_ = std::make_unique<platform::InstanceLock>(platform::instanceLockPath());
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const platform::InstanceLock::Result result = lock_->tryLock();
        if (result == platform::InstanceLock::Result::Taken)
            return false;
        if (result == platform::InstanceLock::Result::Unusable) {
            // No place for the lock (unwritable folder): run unguarded.
            lock_.reset();
            return false;
        }
        if (askRunningInstance(plausibleToken(activationToken) ? activationToken : QByteArray()))
            return true;
        if (waited.elapsed() > kHandOverMs) {
            // The holder never answers: better a second window than none.
            lock_.reset();
            return false;
        }
        QThread::msleep(50);
    }
}

bool SingleInstance::askRunningInstance(const QByteArray &activationToken)
{
    QLocalSocket socket;
    socket.connectToServer(platform::instanceSocketName());
    if (!socket.waitForConnected(kSocketWaitMs))
        return false;
    if (!activationToken.isEmpty())
        socket.write(kTokenLine + activationToken + '\n');
    socket.write(kShowRequest);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kSocketWaitMs))
            return false;
    }
    // Wait for the acknowledgement, so that the window is on its way when this
    // process ends. The request is delivered either way.
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState) {
        if (!socket.waitForReadyRead(kSocketWaitMs))
            break;
    }
    return true;
}

void SingleInstance::listen()
{
    if (!lock_ || server_)
        return;  // not the instance, or listening already
    server_ = new QLocalServer(this);
    // Limiting access costs a millisecond at start (a private folder, a bind
    // and a rename); the runtime folder is the user's alone already.
    if (!platform::instanceSocketInPrivateFolder())
        server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = platform::instanceSocketName();
    // This process holds the lock, so a socket already there was left by an
    // instance that ended without cleaning up.
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) {
        delete server_;
        server_ = nullptr;
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::serve);
}

void SingleInstance::serve()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto token = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, token] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(kMaxRequestBytes);
                if (line.startsWith(kTokenLine) && line.endsWith('\n')) {
                    *token = line.sliced(qstrlen(kTokenLine)).chopped(1);
                    if (!plausibleToken(*token))
                        token->clear();
                } else if (line == kShowRequest) {
                    emit showRequested(*token);
                    socket->write(kAcknowledged);
                    socket->disconnectFromServer();
                    return;
                }
            }
            if (socket->bytesAvailable() > kMaxRequestBytes)
                socket->abort();  // not one of ours
        });
        // A client that connects and says nothing is dropped.
        QTimer::singleShot(kSocketWaitMs, socket, [socket] { socket->abort(); });
    }
}

}  // namespace kelvaro
