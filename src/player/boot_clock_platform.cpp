// SPDX-License-Identifier: GPL-3.0-or-later
// The clock that goes on while the computer sleeps: CLOCK_BOOTTIME on Linux,
// the tick count on Windows (it counts sleep too), and elsewhere
// CLOCK_MONOTONIC, which on macOS and the BSDs runs on during sleep.
#include "boot_clock.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <time.h>
#endif

namespace kelvaro {

std::chrono::milliseconds bootClock()
{
#ifdef Q_OS_WIN
    return std::chrono::milliseconds(GetTickCount64());
#else
#ifdef CLOCK_BOOTTIME
    constexpr clockid_t kClock = CLOCK_BOOTTIME;
#else
    constexpr clockid_t kClock = CLOCK_MONOTONIC;
#endif
    timespec ts{};
    clock_gettime(kClock, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::nanoseconds(ts.tv_nsec));
#endif
}

}  // namespace kelvaro
