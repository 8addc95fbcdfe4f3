// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop_platform.h"

#include <QObject>

#include <memory>

class QLocalServer;

namespace kelvaro {

// One instance per user session. The first instance holds a lock and
// listens on a local socket (both session-scoped, see desktop_platform.h);
// a later start finds the lock taken, asks the running instance through the
// socket to show its window, and exits. A crashed instance's lock goes with
// it, and the socket it left behind is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Call once, before any window is made. True when another instance runs
    // and has acknowledged the request to show itself: the caller exits.
    // False when this process is the instance (or the guard cannot work
    // here, e.g. an unwritable runtime folder): the caller starts normally.
    // `activationToken`, the token this start was launched with (if any),
    // goes with the request: on Wayland it is what lets the running
    // instance's window come to the front.
    bool handOverToRunningInstance(const QByteArray &activationToken = {});

    // Starts answering later starts; call once the window is on the screen.
    // A start in between finds the lock taken and waits for the socket.
    void listen();

signals:
    // Another start asked this instance to bring its window to the front,
    // handing over its activation token (empty when it had none).
    void showRequested(const QByteArray &activationToken);

private:
    bool askRunningInstance(const QByteArray &activationToken);
    void serve();

    std::unique_ptr<platform::InstanceLock> lock_;
    QLocalServer *server_ = nullptr;
};

}  // namespace kelvaro
