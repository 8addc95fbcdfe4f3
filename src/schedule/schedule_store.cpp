// SPDX-License-Identifier: GPL-3.0-or-later
#include "schedule_store.h"

#include "user_database.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <utility>

namespace kelvaro {

namespace {


const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH:mm");

QString kindName(ScheduledEvent::Kind kind)
{
    return kind == ScheduledEvent::Kind::Alarm ? QStringLiteral("alarm") : QStringLiteral("recording");
}

// Times are kept as seconds since 1970 (UTC), or NULL for none.
QVariant secondsOrNull(const QDateTime &time)
{
    return time.isValid() ? QVariant(time.toSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong));
}

QDateTime utcOrNone(const QVariant &seconds)
{
    return seconds.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(seconds.toLongLong(), Qt::UTC);
}

}  // namespace

// The connection and everything done with it, on the store's thread only.
class ScheduleDatabase : public QObject {
public:
    ScheduleDatabase(const QString &path, ScheduleStore *store) : path_(path), store_(store) {}

    void open()
    {
        // A file that cannot be opened is left as it is: it is the
        // history's, which puts a broken one aside itself.
        ok_ = openFile();
        if (!ok_)
            closeFile();
        const bool ok = ok_;
        answer([ok](ScheduleStore *store) { emit store->opened(ok); });
        if (ok) {
            const QList<ScheduledEvent> events = load();
            answer([events](ScheduleStore *store) { emit store->loaded(events); });
        }
    }

    void close() { closeFile(); }

    void save(ScheduledEvent event)
    {
        if (!ok_)
            return;
        event.changed = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
        bool gone = false;
        const bool done = inTransaction([&] {
            QSqlQuery query(file_.db());
            if (event.id == 0) {
                query.prepare(QStringLiteral(
                    "INSERT INTO timers (kind, enabled, station_address, station_name, date, time, days, "
                    "minutes, volume, rise_seconds, last_fired, changed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
                bindFields(query, event);
                query.addBindValue(secondsOrNull(event.lastFired));
                query.addBindValue(secondsOrNull(event.changed));
                if (!query.exec())
                    return false;
                event.id = query.lastInsertId().toLongLong();
                return event.id != 0;
            }
            query.prepare(QStringLiteral(
                "UPDATE timers SET kind = ?, enabled = ?, station_address = ?, station_name = ?, date = ?, "
                "time = ?, days = ?, minutes = ?, volume = ?, rise_seconds = ?, changed = ? WHERE id = ?"));
            bindFields(query, event);
            query.addBindValue(secondsOrNull(event.changed));
            query.addBindValue(event.id);
            if (!query.exec())
                return false;
            if (query.numRowsAffected() == 0) {
                gone = true;
                return false;
            }
            QSqlQuery fired(file_.db());
            fired.prepare(QStringLiteral("SELECT last_fired FROM timers WHERE id = ?"));
            fired.addBindValue(event.id);
            if (!fired.exec() || !fired.next())
                return false;
            event.lastFired = utcOrNone(fired.value(0));
            return true;
        });
        if (done)
            answer([event](ScheduleStore *store) { emit store->saved(event); });
        else if (gone)
            answer([id = event.id](ScheduleStore *store) { emit store->removed(id); });
    }

    void remove(qint64 id)
    {
        if (!ok_)
            return;
        const bool done = inTransaction([&] {
            QSqlQuery query(file_.db());
            query.prepare(QStringLiteral("DELETE FROM timers WHERE id = ?"));
            query.addBindValue(id);
            return query.exec();
        });
        if (done)
            answer([id](ScheduleStore *store) { emit store->removed(id); });
    }

    void markFired(qint64 id, const QDateTime &occurrence, bool disable)
    {
        if (!ok_ || !occurrence.isValid())
            return;
        inTransaction([&] {
            QSqlQuery query(file_.db());
            query.prepare(QStringLiteral("UPDATE timers SET last_fired = MAX(COALESCE(last_fired, ?), ?), "
                                         "enabled = CASE WHEN ? THEN 0 ELSE enabled END WHERE id = ?"));
            query.addBindValue(occurrence.toSecsSinceEpoch());
            query.addBindValue(occurrence.toSecsSinceEpoch());
            query.addBindValue(disable ? 1 : 0);
            query.addBindValue(id);
            return query.exec();
        });
    }

private:
    bool openFile()
    {
        if (file_.open(path_) != UserDatabase::Opened::Yes)
            return false;
        return exec(QStringLiteral("CREATE TABLE IF NOT EXISTS timers ("
                                   "id INTEGER PRIMARY KEY, "
                                   "kind TEXT NOT NULL, "  // 'alarm' or 'recording'
                                   "enabled INTEGER NOT NULL, "
                                   "station_address TEXT NOT NULL, "
                                   "station_name TEXT NOT NULL, "
                                   "date TEXT NOT NULL, "  // yyyy-MM-dd
                                   "time TEXT NOT NULL, "  // HH:mm, local
                                   "days INTEGER NOT NULL, "  // bit 0 Monday ... bit 6 Sunday
                                   "minutes INTEGER NOT NULL, "
                                   "volume INTEGER NOT NULL, "
                                   "rise_seconds INTEGER NOT NULL, "
                                   // seconds since 1970, UTC; NULL for none
                                   "last_fired INTEGER, "
                                   "changed INTEGER)"));
    }

    void closeFile()
    {
        file_.close();
        ok_ = false;
    }

    QList<ScheduledEvent> load()
    {
        QList<ScheduledEvent> events;
        QSqlQuery query(file_.db());
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT id, kind, enabled, station_address, station_name, date, time, days, "
                                       "minutes, volume, rise_seconds, last_fired, changed FROM timers ORDER BY id")))
            return events;
        while (query.next()) {
            ScheduledEvent event;
            event.id = query.value(0).toLongLong();
            const QString kind = query.value(1).toString();
            if (kind == kindName(ScheduledEvent::Kind::Alarm))
                event.kind = ScheduledEvent::Kind::Alarm;
            else if (kind == kindName(ScheduledEvent::Kind::Recording))
                event.kind = ScheduledEvent::Kind::Recording;
            else
                continue;  // a kind this version does not know
            event.enabled = query.value(2).toBool();
            event.stationAddress = query.value(3).toString();
            event.stationName = query.value(4).toString();
            event.date = QDate::fromString(query.value(5).toString(), kDateFormat);
            event.time = QTime::fromString(query.value(6).toString(), kTimeFormat);
            event.days = quint8(query.value(7).toUInt() & kEveryDay);
            event.minutes = query.value(8).toInt();
            event.volume = query.value(9).toInt();
            event.riseSeconds = query.value(10).toInt();
            event.lastFired = utcOrNone(query.value(11));
            event.changed = utcOrNone(query.value(12));
            if (event.date.isValid() && event.time.isValid())
                events.append(std::move(event));
        }
        return events;
    }

    static void bindFields(QSqlQuery &query, const ScheduledEvent &event)
    {
        query.addBindValue(kindName(event.kind));
        query.addBindValue(event.enabled ? 1 : 0);
        query.addBindValue(event.stationAddress);
        query.addBindValue(event.stationName);
        query.addBindValue(event.date.toString(kDateFormat));
        query.addBindValue(event.time.toString(kTimeFormat));
        query.addBindValue(int(event.days & kEveryDay));
        query.addBindValue(event.minutes);
        query.addBindValue(event.volume);
        query.addBindValue(event.riseSeconds);
    }

    // Runs `change` in a transaction of its own, committed when it returns
    // true. IMMEDIATE takes the write lock at the start, waiting for the
    // history's connection if it holds it, so the change never fails halfway
    // on a lock.
    template <typename Change>
    bool inTransaction(Change change)
    {
        if (!exec(QStringLiteral("BEGIN IMMEDIATE")))
            return false;
        if (change() && exec(QStringLiteral("COMMIT")))
            return true;
        exec(QStringLiteral("ROLLBACK"));
        return false;
    }

    bool exec(const QString &statement) { return file_.exec(statement); }

    template <typename Answer>
    void answer(Answer deliver)
    {
        QMetaObject::invokeMethod(
            store_, [store = store_, deliver] { deliver(store); }, Qt::QueuedConnection);
    }

    const QString path_;
    ScheduleStore *const store_;
    UserDatabase file_{QStringLiteral("schedule")};
    bool ok_ = false;
};

ScheduleStore::ScheduleStore(const QString &path, QObject *parent)
    : QObject(parent), path_(path), database_(new ScheduleDatabase(path, this))
{
    qRegisterMetaType<ScheduledEvent>();
    qRegisterMetaType<QList<ScheduledEvent>>();
    connect(this, &ScheduleStore::opened, this, [this](bool ok) { failed_ = !ok; });
    thread_.setObjectName(QStringLiteral("schedule"));
    database_->moveToThread(&thread_);
    thread_.start();
    post([](ScheduleDatabase &db) { db.open(); });
}

ScheduleStore::~ScheduleStore()
{
    // After everything asked before: the calls queued on the thread run in
    // order.
    QMetaObject::invokeMethod(database_, [db = database_] { db->close(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete database_;
}

template <typename Work>
void ScheduleStore::post(Work work)
{
    QMetaObject::invokeMethod(database_, [db = database_, work] { work(*db); }, Qt::QueuedConnection);
}

void ScheduleStore::save(const ScheduledEvent &event)
{
    post([event](ScheduleDatabase &db) { db.save(event); });
}

void ScheduleStore::remove(qint64 id)
{
    post([id](ScheduleDatabase &db) { db.remove(id); });
}

void ScheduleStore::markFired(qint64 id, const QDateTime &occurrenceUtc, bool disable)
{
    post([=](ScheduleDatabase &db) { db.markFired(id, occurrenceUtc, disable); });
}

}  // namespace kelvaro
