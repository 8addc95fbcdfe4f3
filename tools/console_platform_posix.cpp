// SPDX-License-Identifier: GPL-3.0-or-later
// POSIX half of console_platform.h: a self-pipe written by the signal
// handler and read through a QSocketNotifier on the event loop.
#include "console_platform.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kelvaro {

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onInterruptSignal(int)
{
    // Only async-signal-safe calls here.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

struct InterruptWatcher::Private {
    QSocketNotifier *notifier = nullptr;
};

InterruptWatcher::InterruptWatcher(QObject *parent) : QObject(parent), d(new Private)
{
    if (::pipe(g_pipe) != 0)
        return;
    for (const int fd : g_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    d->notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;  // a second signal ends the program
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

InterruptWatcher::~InterruptWatcher()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete d->notifier;
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    delete d;
}

}  // namespace kelvaro
