// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "schedule_event.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

#include <limits>
#include <memory>

namespace kelvaro {

// Where the scheduler reads the time: the wall clock, or a test's.
struct ScheduleClock {
    virtual ~ScheduleClock();
    virtual QDateTime now() const = 0;
};

// QDateTime::currentDateTime().
struct SystemScheduleClock final : ScheduleClock {
    QDateTime now() const override;
};

// An occurrence that passed without its event firing: an alarm more than
// ten minutes late, a recording whose time was over.
struct MissedEvent {
    ScheduledEvent event;
    QDateTime occurrence;  // local

    bool operator==(const MissedEvent &) const = default;
};

// Fires the timers from the wall clock.
//
// The scheduler holds the events and looks at the clock at least every 30 s
// and when the next one is due (its timer is only a reminder to look again:
// a timer stands still while the computer sleeps, the wall clock does not).
// Call check() after a resume from sleep or a change of time zone.
//
// On each look, every enabled event's occurrences that came since the look
// before and since it last fired (or since it was made, changed or enabled,
// or, when nothing says, since the scheduler learned of it; never before)
// are handled. Occurrences are read in the time zone of each look, so a
// change of zone moves those still ahead and never brings back hours that
// were already looked at.
// - the latest of them fires when there is still time: an alarm at most ten
//   minutes late rings (alarmDue), a recording whose time is not over starts
//   for what is left of it (recordingDue); otherwise it is missed. Earlier
//   ones are passed over: one look fires or misses an event at most once.
// - each fired or missed occurrence is told by fired(), for the program to
//   keep with ScheduleStore::markFired; a one-off is disabled by it. The
//   scheduler keeps lastFired in its own copy, so nothing fires twice.
// - what was missed is told once a look, by missed().
// So at the program's start, setEvents() with the events as stored reports
// what passed while the program was not running and fires what still can.
//
// The scheduler does not store anything. Answers are emitted from within the
// call that caused them (setEvents, put, check or the timer), after the
// scheduler's own state is updated.
class Scheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int kLookAgainMs = 30 * 1000;
    static constexpr qint64 kAlarmLateSeconds = 10 * 60;

    // `clock` (the system clock when null) must outlive the scheduler.
    explicit Scheduler(const ScheduleClock *clock = nullptr, QObject *parent = nullptr);
    ~Scheduler() override;

    // All events, as loaded from the store; then check().
    void setEvents(const QList<ScheduledEvent> &events);
    // Adds an event (saved, so with its id) or replaces the one with its id;
    // then check(). A changed time, day set or kind, or an event enabled
    // again, counts only from now.
    void put(const ScheduledEvent &event);
    void take(qint64 id);

    // Reads the clock and fires or reports what came due.
    void check();

    // The soonest next occurrence over the enabled events (local); invalid
    // when none is ahead.
    QDateTime nextDue() const;
    // Every event as the scheduler holds it, soonest next occurrence first;
    // those with none ahead (disabled, past) last, in the order given.
    QList<ScheduledEvent> events() const;

signals:
    void alarmDue(const kelvaro::ScheduledEvent &event);
    // `endsAt` (local): when the occurrence's time is over.
    void recordingDue(const kelvaro::ScheduledEvent &event, const QDateTime &endsAt);
    void missed(const QList<kelvaro::MissedEvent> &events);
    // An occurrence fired or passed; `disable` when the event is done with
    // (a one-off).
    void fired(qint64 id, const QDateTime &occurrenceUtc, bool disable);

private:
    struct Entry {
        ScheduledEvent event;
        qint64 sinceMs;  // occurrences at or before this instant do not count
        // When the event was last looked at; none yet for one just learned.
        qint64 lookedMs = std::numeric_limits<qint64>::min();
    };

    qint64 nowMs() const;
    QDateTime nextAfterNow(const Entry &entry, qint64 now) const;
    void remember(const ScheduledEvent &event, qint64 now);
    void lookAgain(qint64 now);

    std::unique_ptr<ScheduleClock> ownClock_;
    const ScheduleClock *clock_;
    QList<Entry> entries_;
    QTimer wake_;
};

}  // namespace kelvaro

Q_DECLARE_METATYPE(kelvaro::MissedEvent)
