// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup_trace.h"

#include <QElapsedTimer>
#include <QtGlobal>

#include <cstdio>

namespace kelvaro {

void startupMark(const char *what)
{
    static const bool on = !qEnvironmentVariableIsEmpty("KELVARO_STARTUP_TRACE");
    if (!on)
        return;
    static QElapsedTimer clock;
    static qint64 last = 0;
    if (!clock.isValid())
        clock.start();
    const qint64 now = clock.nsecsElapsed();
    std::fprintf(stderr, "startup %8.2f ms  +%7.2f ms  %s\n", now / 1e6, (now - last) / 1e6, what);
    last = now;
}

} // namespace kelvaro
