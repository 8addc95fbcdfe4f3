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
#include <utility>

namespace kelvaro {

namespace {

constexpr char kTokenLine[] = "token ";
constexpr qint64 kMaxTokenBytes = 256;
// A request line, and an answer line, at most.
constexpr qint64 kMaxRequestBytes = 4096;
constexpr qint64 kMaxAnswerBytes = 64 * 1024;
// How long a start waits for an instance that holds the lock but does not
// answer yet (it may be between taking the lock and listening).
constexpr int kHandOverMs = 5000;
constexpr int kSocketWaitMs = 2000;

const QByteArray kDone = QByteArrayLiteral("ok");
const QByteArray kRefused = QByteArrayLiteral("refused");
const QByteArray kUnknown = QByteArrayLiteral("unknown");

QByteArray requestLine(const InstanceRequest &request)
{
    // A verb is a plain word ("show" stays "show"); anything else in it is
    // sent encoded, to be refused as unknown, never read as a separator.
    QByteArray line = request.verb.toUtf8().toPercentEncoding();
    for (const QString &argument : request.arguments)
        line += '\t' + argument.toUtf8().toPercentEncoding();
    return line + '\n';
}

QByteArray answerLine(const InstanceAnswer &answer)
{
    QByteArray line = answer.status == InstanceAnswer::Status::Done      ? kDone
                    : answer.status == InstanceAnswer::Status::Refused ? kRefused
                                                                        : kUnknown;
    if (!answer.text.isEmpty()) {
        QByteArray text = answer.text.toUtf8().toPercentEncoding();
        if (text.size() > kMaxAnswerBytes - 16) {
            // Cut before an escape, never inside one.
            text.truncate(kMaxAnswerBytes - 16);
            if (const qsizetype escape = text.lastIndexOf('%'); escape >= text.size() - 2)
                text.truncate(escape);
        }
        line += ' ' + text;
    }
    return line + '\n';
}

InstanceAnswer parseAnswer(QByteArray line)
{
    line = line.trimmed();
    const qsizetype space = line.indexOf(' ');
    const QByteArray status = space < 0 ? line : line.left(space);
    InstanceAnswer answer;
    answer.text = space < 0 ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(space + 1)));
    // An answer this side does not know is no success.
    answer.status = status == kDone      ? InstanceAnswer::Status::Done
                  : status == kRefused   ? InstanceAnswer::Status::Refused
                                         : InstanceAnswer::Status::Unknown;
    return answer;
}

// Verbs are short words of lower-case letters, digits and dashes.
bool plausibleVerb(const QByteArray &verb)
{
    return !verb.isEmpty() && verb.size() <= 32
        && std::all_of(verb.cbegin(), verb.cend(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; });
}

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

bool SingleInstance::handOverToRunningInstance(const InstanceRequest &request, InstanceAnswer &answer)
{
    lock_ = std::make_unique<platform::InstanceLock>(platform::instanceLockPath());
    InstanceRequest sent = request;
    if (!plausibleToken(sent.activationToken))
        sent.activationToken.clear();
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
        if (askRunningInstance(sent, answer) != Asked::NotConnected)
            return true;
        if (waited.elapsed() > kHandOverMs) {
            // The holder never answers: better a second window than none.
            lock_.reset();
            return false;
        }
        QThread::msleep(50);
    }
}

SingleInstance::Asked SingleInstance::askRunningInstance(const InstanceRequest &request, InstanceAnswer &answer)
{
    QLocalSocket socket;
    socket.connectToServer(platform::instanceSocketName());
    if (!socket.waitForConnected(kSocketWaitMs))
        return Asked::NotConnected;
    if (!request.activationToken.isEmpty())
        socket.write(kTokenLine + request.activationToken + '\n');
    socket.write(requestLine(request));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kSocketWaitMs))
            return Asked::NotConnected;
    }
    // The answer comes once the running instance has handled the request. A
    // copy that knows only older requests says nothing and closes.
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState) {
        if (!socket.waitForReadyRead(kSocketWaitMs))
            break;
    }
    if (!socket.canReadLine()) {
        answer = {};
        return Asked::Unanswered;
    }
    answer = parseAnswer(socket.readLine(kMaxAnswerBytes));
    return Asked::Answered;
}

void SingleInstance::handle(const QString &verb, Handler handler)
{
    handlers_.insert(verb, std::move(handler));
}

void SingleInstance::release()
{
    delete std::exchange(server_, nullptr);
    lock_.reset();
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
                const QByteArray line = socket->readLine(kMaxRequestBytes + 1);
                if (!line.endsWith('\n')) {
                    socket->abort();  // longer than any request: not one of ours
                    return;
                }
                if (line.startsWith(kTokenLine)) {
                    *token = line.sliced(qstrlen(kTokenLine)).chopped(1);
                    if (!plausibleToken(*token))
                        token->clear();
                    continue;
                }
                answer(socket, line.chopped(1), *token);
                return;
            }
            if (socket->bytesAvailable() > kMaxRequestBytes)
                socket->abort();  // not one of ours
        });
        // A client that connects and says nothing is dropped.
        QTimer::singleShot(kSocketWaitMs, socket, [socket] { socket->abort(); });
    }
}

void SingleInstance::answer(QLocalSocket *socket, const QByteArray &line, const QByteArray &token)
{
    const QList<QByteArray> fields = line.split('\t');
    InstanceRequest request;
    request.activationToken = token;
    InstanceAnswer result{InstanceAnswer::Status::Unknown, {}};
    if (const QByteArray verb = QByteArray::fromPercentEncoding(fields.first()); plausibleVerb(verb)) {
        request.verb = QString::fromLatin1(verb);
        for (qsizetype i = 1; i < fields.size(); ++i)
            request.arguments << QString::fromUtf8(QByteArray::fromPercentEncoding(fields[i]));
        if (const auto handler = handlers_.constFind(request.verb); handler != handlers_.cend())
            result = (*handler)(request);
    }
    if (result.status == InstanceAnswer::Status::NoAnswer)
        result.status = InstanceAnswer::Status::Refused;
    socket->write(answerLine(result));
    // Out now: what the request set off (an end of the program) may end the
    // event loop before it would be written.
    socket->flush();
    socket->disconnectFromServer();
}

}  // namespace kelvaro
