// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alarm_ringer.h"
#include "background_recordings.h"
#include "schedule_event.h"
#include "schedule_store.h"
#include "scheduler.h"
#include "sleep_timer.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelvaro {

class Listening;

// The program's timers as a whole: the sleep timer, and the alarms and
// scheduled recordings kept in the schedule (an SQLite file, worked on a
// thread of its own) and fired by the scheduler from the wall clock. An
// alarm rings through the alarm ringer on what is heard; a recording runs
// in the background, beside it. What passed while the program was not
// running, or the computer slept, is told once by missed().
class Timers : public QObject {
    Q_OBJECT
public:
    // What a timer request from the command line came to.
    struct Answer {
        bool done = false;
        QString text;  // for standard output when done, standard error when not
    };

    Timers(Listening &listening, const QString &schedulePath, Listening::EngineMaker makeEngine,
           const QString &alarmSound, QObject *parent = nullptr);
    ~Timers() override;

    SleepTimer &sleep() { return sleep_; }
    AlarmRinger &alarm() { return alarm_; }
    BackgroundRecordings &recordings() { return recordings_; }

    // The schedule is read (or could not be): events() is what it holds.
    bool isLoaded() const { return loaded_; }
    // Every alarm and recording, the soonest first.
    QList<ScheduledEvent> events() const { return scheduler_.events(); }
    // When the next one comes (local); invalid when none is ahead.
    QDateTime nextDue() const { return scheduler_.nextDue(); }
    // Keeps a new event (id 0) or the changes to one; it counts from now.
    void save(const ScheduledEvent &event);
    void remove(qint64 id);
    // Looks at the clock now (after the computer woke, or the time zone
    // changed).
    void check() { scheduler_.check(); }

    // The command line's timer verbs: "sleep", "alarm", "record-at",
    // "timers"; none for any other verb.
    std::optional<Answer> handle(const QString &verb, const QStringList &arguments);

signals:
    void loaded();
    // The list of events changed (saved, removed, fired).
    void eventsChanged();
    // Occurrences that passed without firing, told once.
    void missed(const QList<kelvaro::MissedEvent> &events);
    // An alarm rings (also again after 稍后提醒).
    void alarmRinging(const kelvaro::ScheduledEvent &event);

private:
    void onLoaded(const QList<ScheduledEvent> &events);
    void ringAlarm(const ScheduledEvent &event);

    Listening &listening_;
    ScheduleStore store_;
    Scheduler scheduler_;
    SleepTimer sleep_;
    AlarmRinger alarm_;
    BackgroundRecordings recordings_;
    bool loaded_ = false;
};

}  // namespace kelvaro
