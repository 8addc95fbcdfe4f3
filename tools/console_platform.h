// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The few console services kelvaro-check needs that differ between POSIX
// systems and Windows: telling whether standard output is a terminal, and
// turning Ctrl-C into a Qt signal on the event loop. One source file per
// platform: console_platform_posix.cpp, console_platform_win.cpp.

#include <QObject>

namespace kelvaro {

// True when standard output goes to a terminal (not a file or a pipe).
bool stdoutIsTerminal();

// Reports Ctrl-C (and, on POSIX, SIGTERM) as `interrupted`, emitted on the
// thread of the event loop that owns this object. Only one may exist at a
// time. After the first interruption the default handling is back, so a
// second Ctrl-C ends the program the usual way if the first one is not
// acted on.
class InterruptWatcher : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

signals:
    void interrupted();

private:
    struct Private;
    Private *d;
};

}  // namespace kelvaro
