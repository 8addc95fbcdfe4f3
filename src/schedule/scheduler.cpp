// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <tuple>

namespace kelvaro {

namespace {

constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;

QDateTime localAt(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms); }
QDateTime utcAt(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }

qint64 msOr(const QDateTime &time, qint64 otherwise)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : otherwise;
}

// What decides when an event comes; a change to any of it counts from the
// time it is made.
bool sameTimes(const ScheduledEvent &a, const ScheduledEvent &b)
{
    return a.kind == b.kind && a.enabled == b.enabled && a.date == b.date && a.time == b.time && a.days == b.days
        && a.minutes == b.minutes;
}

}  // namespace

ScheduleClock::~ScheduleClock() = default;

QDateTime SystemScheduleClock::now() const
{
    return QDateTime::currentDateTime();
}

Scheduler::Scheduler(const ScheduleClock *clock, QObject *parent)
    : QObject(parent), ownClock_(clock ? nullptr : new SystemScheduleClock), clock_(clock ? clock : ownClock_.get())
{
    qRegisterMetaType<ScheduledEvent>();
    qRegisterMetaType<MissedEvent>();
    qRegisterMetaType<QList<MissedEvent>>();
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, &Scheduler::check);
}

Scheduler::~Scheduler() = default;

qint64 Scheduler::nowMs() const
{
    return clock_->now().toMSecsSinceEpoch();
}

void Scheduler::setEvents(const QList<ScheduledEvent> &events)
{
    const qint64 now = nowMs();
    entries_.removeIf([&](const Entry &entry) {
        return std::none_of(events.begin(), events.end(),
                            [&](const ScheduledEvent &event) { return event.id == entry.event.id; });
    });
    for (const ScheduledEvent &event : events)
        remember(event, now);
    check();
}

void Scheduler::put(const ScheduledEvent &event)
{
    remember(event, nowMs());
    check();
}

void Scheduler::take(qint64 id)
{
    entries_.removeIf([id](const Entry &entry) { return entry.event.id == id; });
    lookAgain(nowMs());
}

void Scheduler::remember(const ScheduledEvent &event, qint64 now)
{
    // Occurrences count from the one last fired, and never from before the
    // event was made or last changed.
    const qint64 stated = std::max(msOr(event.lastFired, std::numeric_limits<qint64>::min()),
                                   msOr(event.changed, std::numeric_limits<qint64>::min()));
    const auto known = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const Entry &entry) { return entry.event.id == event.id; });
    if (known == entries_.end()) {
        // Nothing said when it was made: from now, so that an event never
        // fires for a time before the scheduler knew of it.
        entries_.append({event, event.lastFired.isValid() || event.changed.isValid() ? stated : now});
        return;
    }
    const bool retimed = !sameTimes(known->event, event);
    known->sinceMs = std::max({known->sinceMs, stated, retimed ? now : std::numeric_limits<qint64>::min()});
    const QDateTime keptFired = known->event.lastFired;
    known->event = event;
    // A copy made before the latest firing must not bring an older one back.
    if (keptFired.isValid() && (!event.lastFired.isValid() || event.lastFired < keptFired))
        known->event.lastFired = keptFired;
}

void Scheduler::check()
{
    const qint64 now = nowMs();
    QList<std::tuple<qint64, QDateTime, bool>> passed;
    QList<ScheduledEvent> alarms;
    QList<std::pair<ScheduledEvent, QDateTime>> recordings;
    QList<MissedEvent> missedNow;

    for (Entry &entry : entries_) {
        ScheduledEvent &event = entry.event;
        // What came before the last look was seen then, in the time zone of
        // then: the same hours read in a zone changed since must not come
        // again. (After the clock was set back, one look passes with
        // nothing; the new time counts from there on.)
        qint64 from = std::max(entry.sinceMs, entry.lookedMs);
        entry.lookedMs = now;
        if (!event.enabled || from >= now)
            continue;
        // The latest occurrence since then. A repeating event's latest is
        // within the last week, wherever it is looked for from; a one-off has
        // the one.
        if (event.days != 0)
            from = std::max(from, now - 8 * kDayMs);
        std::optional<qint64> latest;
        for (QDateTime next = nextOccurrence(event, localAt(from)); next.isValid();
             next = nextOccurrence(event, next)) {
            const qint64 at = next.toMSecsSinceEpoch();
            if (at > now)
                break;
            latest = at;
        }
        if (!latest)
            continue;

        const bool disable = event.days == 0;
        event.lastFired = utcAt(*latest);
        entry.sinceMs = *latest;
        if (disable)
            event.enabled = false;
        passed.append({event.id, event.lastFired, disable});

        if (event.kind == ScheduledEvent::Kind::Alarm) {
            if (now - *latest <= kAlarmLateSeconds * 1000)
                alarms.append(event);
            else
                missedNow.append({event, localAt(*latest)});
        } else {
            const qint64 ends = *latest + qint64(std::max(event.minutes, 1)) * 60 * 1000;
            if (now < ends)
                recordings.append({event, localAt(ends)});
            else
                missedNow.append({event, localAt(*latest)});
        }
    }
    lookAgain(now);

    // The state is whole before anyone hears of it: a receiver may put,
    // take or check again.
    for (const auto &[id, occurrence, disable] : passed)
        emit fired(id, occurrence, disable);
    for (const ScheduledEvent &event : alarms)
        emit alarmDue(event);
    for (const auto &[event, ends] : recordings)
        emit recordingDue(event, ends);
    if (!missedNow.isEmpty())
        emit missed(missedNow);
}

QDateTime Scheduler::nextAfterNow(const Entry &entry, qint64 now) const
{
    return nextOccurrence(entry.event, localAt(std::max(now, entry.sinceMs)));
}

QDateTime Scheduler::nextDue() const
{
    const qint64 now = nowMs();
    QDateTime soonest;
    for (const Entry &entry : entries_) {
        const QDateTime next = nextAfterNow(entry, now);
        if (next.isValid() && (!soonest.isValid() || next < soonest))
            soonest = next;
    }
    return soonest;
}

QList<ScheduledEvent> Scheduler::events() const
{
    const qint64 now = nowMs();
    QList<std::pair<qint64, ScheduledEvent>> timed;
    for (const Entry &entry : entries_)
        timed.append({msOr(nextAfterNow(entry, now), std::numeric_limits<qint64>::max()), entry.event});
    std::stable_sort(timed.begin(), timed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<ScheduledEvent> sorted;
    for (const auto &[next, event] : timed)
        sorted.append(event);
    return sorted;
}

void Scheduler::lookAgain(qint64 now)
{
    qint64 wait = kLookAgainMs;
    if (const QDateTime next = nextDue(); next.isValid())
        wait = std::clamp(next.toMSecsSinceEpoch() - now, qint64(1), wait);
    wake_.start(int(wait));
}

}  // namespace kelvaro
