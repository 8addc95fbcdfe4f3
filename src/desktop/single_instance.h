// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop_platform.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace kelvaro {

// A request for the running copy of the program: a verb ("show", "quit",
// ...) and its arguments, as a later start was given them on its command
// line.
struct InstanceRequest {
    QString verb;
    QStringList arguments;
    // The token the later start was launched with (empty when none): on
    // Wayland it is what lets the running copy's window come to the front.
    QByteArray activationToken;
};

// What the running copy made of a request.
struct InstanceAnswer {
    enum class Status {
        Done,      // carried out; `text` may say more
        Refused,   // understood but not carried out; `text` says why
        Unknown,   // the running copy knows no such verb
        NoAnswer,  // no answer came (a copy that knows only older requests)
    };
    Status status = Status::NoAnswer;
    QString text;
};

// One instance per user session. The first instance holds a lock and
// listens on a local socket (both session-scoped, see desktop_platform.h);
// a later start finds the lock taken, hands its request to the running
// instance through the socket, reports the answer and exits. A crashed
// instance's lock goes with it, and the socket it left behind is taken over.
//
// On the socket a request is one line: the verb, then each argument after a
// tab, percent-encoded UTF-8 (after a line "token <activation token>" when
// the start has one). The answer is one line: "ok", "refused" or "unknown",
// then a space and the percent-encoded text when there is one. A request
// to show the window is the line "show" and its answer "ok", as always, so
// that either side may be older than the other.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<InstanceAnswer(const InstanceRequest &)>;

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Call once, before any window is made. True when another instance runs:
    // the request went to it and `answer` says what it made of it; the
    // caller exits. False when this process is the instance (or the guard
    // cannot work here, e.g. an unwritable runtime folder): the caller
    // starts normally.
    bool handOverToRunningInstance(const InstanceRequest &request, InstanceAnswer &answer);

    // What this instance does with a verb that a later start asks for.
    // Called on the UI thread; its answer goes back to the start that asked.
    void handle(const QString &verb, Handler handler);

    // Lets go of the lock taken by handOverToRunningInstance(), so that
    // another process can become the instance (this one will not).
    void release();

    // Starts answering later starts; call once the window is on the screen.
    // A start in between finds the lock taken and waits for the socket.
    void listen();

private:
    enum class Asked { Answered, NotConnected, Unanswered };
    Asked askRunningInstance(const InstanceRequest &request, InstanceAnswer &answer);
    void serve();
    void answer(QLocalSocket *socket, const QByteArray &line, const QByteArray &token);

    std::unique_ptr<platform::InstanceLock> lock_;
    QLocalServer *server_ = nullptr;
    QHash<QString, Handler> handlers_;
};

}  // namespace kelvaro
