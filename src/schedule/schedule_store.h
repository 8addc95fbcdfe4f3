// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "schedule_event.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

namespace kelvaro {

class ScheduleDatabase;

// The timers, kept in the table "timers" of an SQLite file: the history's
// file (historyFilePath()), beside its table, which is never touched here.
//
// Like HistoryStore, all the file's work runs on a thread of the store's own
// with a connection of its own (WAL, with a wait for the other connection's
// writes); every call returns at once and answers come back as signals on
// the thread that made the store. One transaction a change: a kill at any
// moment leaves every change committed before it.
class ScheduleStore : public QObject {
    Q_OBJECT
public:
    // Opens (or makes) the file at `path` on the store's thread; answered by
    // opened(), then loaded() when it could be opened.
    explicit ScheduleStore(const QString &path, QObject *parent = nullptr);
    // Finishes every change asked for, closes the file and ends the thread.
    ~ScheduleStore() override;

    QString path() const { return path_; }
    // True once the file could not be opened: nothing is kept, no answers
    // but opened(false) come.
    bool failed() const { return failed_; }

    // Keeps a new event (id 0) or the changes to one; its `changed` becomes
    // the time of saving, and its lastFired stays what the file holds
    // (markFired() alone moves it). Answered by saved() with the event as
    // kept (a new one with its id), or by removed() when there is no such
    // event any more.
    void save(const ScheduledEvent &event);
    // Deletes an event. Answered by removed().
    void remove(qint64 id);
    // The event's occurrence at `occurrenceUtc` fired or passed; `disable`
    // turns the event off (a one-off once it is done with). lastFired never
    // moves back. No answer.
    void markFired(qint64 id, const QDateTime &occurrenceUtc, bool disable);

signals:
    // The file is open, or could not be (`ok` false).
    void opened(bool ok);
    // Every event in the file, once it is open.
    void loaded(const QList<kelvaro::ScheduledEvent> &events);
    void saved(const kelvaro::ScheduledEvent &event);
    void removed(qint64 id);

private:
    template <typename Work>
    void post(Work work);

    const QString path_;
    ScheduleDatabase *database_;  // lives on thread_
    QThread thread_;
    bool failed_ = false;
};

}  // namespace kelvaro
