// SPDX-License-Identifier: GPL-3.0-or-later
// Windows half of console_platform.h: the console control handler runs on a
// thread of its own and hands the event to the watcher's thread.
#include "console_platform.h"

#include <QMetaObject>

#include <atomic>
#include <cstdio>
#include <io.h>
#include <windows.h>

namespace kelvaro {

namespace {

InterruptWatcher *g_watcher = nullptr;
std::atomic_bool g_seen{false};

BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    // The second Ctrl-C gets the default handling (the process ends).
    if (g_seen.exchange(true) || !g_watcher)
        return FALSE;
    QMetaObject::invokeMethod(g_watcher, "interrupted", Qt::QueuedConnection);
    return TRUE;
}

}  // namespace

bool stdoutIsTerminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

struct InterruptWatcher::Private {};

InterruptWatcher::InterruptWatcher(QObject *parent) : QObject(parent), d(nullptr)
{
    g_watcher = this;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptWatcher::~InterruptWatcher()
{
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_watcher = nullptr;
}

}  // namespace kelvaro
