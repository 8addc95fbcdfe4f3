#pragma once

#include <QObject>

#include <memory>

class QLocalServer;
class QLockFile;

namespace kelvaro {

// One instance per user session. The first instance holds a lock file and
// listens on a local socket (both session-scoped, see desktop_platform.h);
// a later start finds the lock taken, asks the running instance through the
// socket to show its window, and exits. A lock or socket left behind by a
// crashed instance is taken over: the lock records its owner's process id.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Call once, before any window is made. True when another instance runs
    // and has acknowledged the request to show itself: the caller exits.
    // False when this process is the instance (or the guard cannot work
    // here, e.g. an unwritable runtime folder): the caller starts normally.
    bool handOverToRunningInstance();

signals:
    // Another start asked this instance to bring its window to the front.
    void showRequested();

private:
    bool askRunningInstance();
    void listen();
    void serve();

    std::unique_ptr<QLockFile> lock_;
    QLocalServer *server_ = nullptr;
};

}  // namespace kelvaro
