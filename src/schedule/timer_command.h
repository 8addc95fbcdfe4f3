// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "schedule_event.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

namespace kelvaro {

// What a timer verb on the command line asks for. `args` are the words after
// the verb, as InstanceRequest::arguments holds them. Nothing here keeps
// anything: the caller saves the event or sets the sleep timer.
struct TimerCommand {
    QString error;          // in Chinese, for standard error; empty when the arguments are fine
    int sleepSeconds = 0;   // --sleep: 0 cancels
    ScheduledEvent event;   // --alarm, --record-at: the event to save (id 0, `changed` = now)
};

// The station of the list named by its exact name or address: (address, name).
using StationFinder = std::function<std::optional<std::pair<QString, QString>>(const QString &nameOrAddress)>;

// --sleep MINUTES: 0 cancels, else up to 1440; a fraction ("0.5") to the
// second, at least one.
TimerCommand parseSleep(const QStringList &args);

// --alarm HH:MM [--days DAYS] --station NAME [--volume N]
// DAYS are ISO weekday numbers (1 = Monday ... 7 = Sunday), ranges and
// commas: "1-5", "1,3,5", "6-7", "1-3,6". Without --days the alarm rings
// once: today if HH:MM is still ahead of `now`, else tomorrow. N is 0..100,
// 70 when not given.
TimerCommand parseAlarm(const QStringList &args, const QDateTime &now, const StationFinder &findStation);

// --record-at "YYYY-MM-DD HH:MM" --minutes N [--repeat daily|weekdays|weekly] --station NAME
// The date and time may also be two words. N is 1..1440; weekly repeats on
// the start's weekday. A start that is not after `now` is refused.
TimerCommand parseRecordAt(const QStringList &args, const QDateTime &now, const StationFinder &findStation);

// --timers: one line per event, soonest first (give them as
// Scheduler::events() has them), fields apart by two spaces:
//   next time ("yyyy-MM-dd HH:mm", local; "已停用" for a disabled event,
//   "已过" for one that will not come again), the kind ("闹钟", or "录音 N 分钟"), when it comes
//   (scheduleText()), the station's name. For example
//   2026-12-10 07:30  闹钟  工作日 07:30  中国之声
//   2026-12-24 20:00  录音 90 分钟  一次 2026-12-24 20:00  音乐之声
// "没有定时的闹钟或录音" when there are none.
QString timersText(const QList<ScheduledEvent> &events, const QDateTime &now);

}  // namespace kelvaro
