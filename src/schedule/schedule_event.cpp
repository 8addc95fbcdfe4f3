// SPDX-License-Identifier: GPL-3.0-or-later
#include "schedule_event.h"

#include <QStringList>

#include <algorithm>
#include <limits>
#include <optional>

namespace kelvaro {

namespace {

constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kAroundMs = 36 * 60 * 60 * 1000;  // past any offset from UTC (at most 14 h)
// A repeating event's days are looked at this far ahead: a week, and again
// for a day a time zone skipped whole.
constexpr int kDaysAhead = 15;

// The first instant at which the local clock shows `day` `time`, or none when
// the clock skips it. The clock shows a wall time at the wall time less the
// offset from UTC in force then; that offset is one of those in force around
// it, so each is tried, and the earliest that reads back as the wall time is
// the first time the clock shows it.
std::optional<qint64> firstInstantShowing(QDate day, QTime time)
{
    const qint64 wall = QDateTime(day, time, Qt::UTC).toMSecsSinceEpoch();
    std::optional<qint64> first;
    for (const qint64 probe : {wall - kAroundMs, wall, wall + kAroundMs}) {
        const qint64 instant = wall - qint64(QDateTime::fromMSecsSinceEpoch(probe).offsetFromUtc()) * 1000;
        const QDateTime shown = QDateTime::fromMSecsSinceEpoch(instant);
        if (shown.date() == day && shown.time() == time && (!first || instant < *first))
            first = instant;
    }
    return first;
}

// When an event at `time` comes on `day`: at that time, or when the clock
// skips it, at the first later minute of the day that the clock shows.
std::optional<qint64> occurrenceOn(QDate day, QTime time)
{
    for (QTime at(time.hour(), time.minute()); at.isValid();) {
        if (const auto instant = firstInstantShowing(day, at))
            return instant;
        const QTime later = at.addSecs(60);
        if (later < at)
            break;  // past midnight: the day has no such time left
        at = later;
    }
    return std::nullopt;
}

QString weekdayName(int isoWeekday)
{
    static const QString names[] = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"),
                                    QStringLiteral("四"), QStringLiteral("五"), QStringLiteral("六"),
                                    QStringLiteral("日")};
    return names[isoWeekday - 1];
}

}  // namespace

QDateTime nextOccurrence(const ScheduledEvent &event, const QDateTime &after)
{
    if (!event.enabled || !event.date.isValid() || !event.time.isValid())
        return {};
    const qint64 afterMs = after.isValid() ? after.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    if (event.days == 0) {
        const auto at = occurrenceOn(event.date, event.time);
        return at && *at > afterMs ? QDateTime::fromMSecsSinceEpoch(*at) : QDateTime();
    }
    // An occurrence is on its own local day, so none on a day before the
    // one `after` falls on can be later than it.
    QDate day = event.date;
    if (after.isValid())
        day = std::max(day, QDateTime::fromMSecsSinceEpoch(afterMs).date());
    for (int i = 0; i < kDaysAhead; ++i, day = day.addDays(1)) {
        if (!(event.days & dayBit(day.dayOfWeek())))
            continue;
        if (const auto at = occurrenceOn(day, event.time); at && *at > afterMs)
            return QDateTime::fromMSecsSinceEpoch(*at);
    }
    return {};
}

QString scheduleText(const ScheduledEvent &event)
{
    const QString time = event.time.toString(QStringLiteral("HH:mm"));
    const quint8 days = event.days & kEveryDay;
    if (days == 0)
        return QStringLiteral("一次 %1 %2").arg(event.date.toString(Qt::ISODate), time);
    if (days == kEveryDay)
        return QStringLiteral("每天 ") + time;
    if (days == kWeekdays)
        return QStringLiteral("工作日 ") + time;
    if (days == kWeekend)
        return QStringLiteral("周末 ") + time;
    QStringList names;
    for (int day = 1; day <= 7; ++day) {
        if (days & dayBit(day))
            names << QStringLiteral("周") + weekdayName(day);
    }
    if (names.size() == 1)
        return QStringLiteral("每") + names.first() + u' ' + time;
    return names.join(QStringLiteral("、")) + u' ' + time;
}

QString kindText(ScheduledEvent::Kind kind)
{
    return kind == ScheduledEvent::Kind::Alarm ? QStringLiteral("闹钟") : QStringLiteral("录音");
}

}  // namespace kelvaro
