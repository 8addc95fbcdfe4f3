// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Waits that end on time by the clock on the wall.
//
// Qt Test's QTRY_*_WITH_TIMEOUT counts only the time it sleeps between two
// looks at its expression, not the time the expression itself takes, and when
// its timeout is spent it looks on for twice as long again to report how much
// longer would have been enough. An expression that runs a program (a
// screenshot, xdotool, playerctl) can keep such a wait going for many times
// its timeout, on a loaded machine past Qt Test's watchdog, which then aborts
// the whole program without saying what was awaited. These waits end when
// their time has passed on the clock, and fail naming what they waited for.

#include <QDeadlineTimer>
#include <QString>
#include <QTest>

namespace kelvaro::testing {

// Runs the event loop until done() is true or timeoutMs have passed; true
// when done. done() is looked at least once more after the time is up.
template <typename Done>
bool waitUntil(Done done, int timeoutMs, int stepMs = 50)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QTest::qWait(int(qBound(qint64(1), deadline.remainingTime(), qint64(stepMs))));
    }
    return true;
}

} // namespace kelvaro::testing

// QTRY_VERIFY_WITH_TIMEOUT and QTRY_COMPARE_WITH_TIMEOUT, bounded by the clock.
#define WALL_TRY_VERIFY(expr, timeoutMs)                                                          \
    do {                                                                                          \
        if (!::kelvaro::testing::waitUntil([&] { return bool(expr); }, (timeoutMs)))              \
            QFAIL(qPrintable(QStringLiteral("still false after %1 ms: %2")                        \
                                 .arg(timeoutMs)                                                  \
                                 .arg(QLatin1String(#expr))));                                    \
    } while (false)

#define WALL_TRY_VERIFY2(expr, message, timeoutMs)                                                \
    do {                                                                                          \
        if (!::kelvaro::testing::waitUntil([&] { return bool(expr); }, (timeoutMs)))              \
            QVERIFY2(false, qPrintable(QStringLiteral("still false after %1 ms: %2 (%3)")         \
                                           .arg(timeoutMs)                                        \
                                           .arg(QLatin1String(#expr), QString(message))));        \
    } while (false)

#define WALL_TRY_COMPARE(actual, expected, timeoutMs)                                             \
    do {                                                                                          \
        if (!::kelvaro::testing::waitUntil([&] { return (actual) == (expected); }, (timeoutMs)))  \
            qWarning("still different after %d ms: %s", int(timeoutMs), #actual);                \
        QCOMPARE(actual, expected);                                                               \
    } while (false)
