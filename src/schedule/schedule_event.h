// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QTime>

namespace kelvaro {

// A timer: an alarm that starts a station, or a recording of one, at a time
// of day, once or on some weekdays.
struct ScheduledEvent {
    enum class Kind { Alarm, Recording };

    qint64 id = 0;  // the row in the schedule's table; 0 for one not saved yet
    Kind kind = Kind::Alarm;
    bool enabled = true;
    QString stationAddress;
    QString stationName;
    // The day of a one-off event, and the first day of a repeating one.
    QDate date;
    // Local time of day, minute precision.
    QTime time;
    // The weekdays it repeats on: bit 0 Monday ... bit 6 Sunday; 0 = once,
    // on `date`.
    quint8 days = 0;
    int minutes = 0;       // a recording's length
    int volume = 70;       // an alarm's final volume, 0..100
    int riseSeconds = 60;  // how long an alarm takes to rise from quiet to `volume`
    // UTC: the occurrence last fired or passed; invalid if none.
    QDateTime lastFired;
    // UTC: when the event was made or last changed (set by ScheduleStore on
    // every save). No occurrence before it fires or counts as missed.
    QDateTime changed;

    bool operator==(const ScheduledEvent &) const = default;
};

inline constexpr quint8 kEveryDay = 0x7f;  // Monday to Sunday
inline constexpr quint8 kWeekdays = 0x1f;  // Monday to Friday
inline constexpr quint8 kWeekend = 0x60;   // Saturday and Sunday

// The bit of `days` for an ISO weekday (1 = Monday ... 7 = Sunday).
constexpr quint8 dayBit(int isoWeekday) { return quint8(1u << (isoWeekday - 1)); }

// The first occurrence of `event` strictly after `after`, as a local
// date-time; invalid when there is none (a one-off that is past, a disabled
// event). Occurrences are local wall-clock times, so they move with a change
// of time zone or of daylight saving. A time that does not exist on a day
// (the hour skipped in spring) comes at the first minute after it that does
// exist that day; a time that happens twice (the hour repeated in autumn)
// comes once, the first time. A repeating event's first day is its `date`.
QDateTime nextOccurrence(const ScheduledEvent &event, const QDateTime &after);

// When the event comes, for lists: "每天 07:30", "工作日 07:30", "周末 09:00",
// "每周三 20:00", "周一、周三、周五 07:00", "一次 2026-12-24 20:00".
QString scheduleText(const ScheduledEvent &event);

// "闹钟" or "录音".
QString kindText(ScheduledEvent::Kind kind);

}  // namespace kelvaro

Q_DECLARE_METATYPE(kelvaro::ScheduledEvent)
