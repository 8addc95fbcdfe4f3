// SPDX-License-Identifier: GPL-3.0-or-later
#include "thread_priority.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <QtGlobal>

namespace kelvaro {

void lowerThisThreadsPriority()
{
#ifdef Q_OS_WIN
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#elif defined(Q_OS_LINUX)
    // The nice value is the thread's own on Linux, and new threads start
    // with their creator's.
    constexpr int kBelowNormal = 10;
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), kBelowNormal);
#endif
}

}  // namespace kelvaro
