// SPDX-License-Identifier: GPL-3.0-or-later
#include "history_store.h"

#include "station_search.h"  // PinyinReader
#include "user_database.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <memory>
#include <optional>
#include <utility>

namespace kelvaro {

namespace {

constexpr qint64 kDaySeconds = 24 * 60 * 60;
constexpr qsizetype kPinyinLength = 200;

// A row's text as it is searched: the title or the station name as written,
// else either one read as pinyin.
bool matches(const QString &written, const QString &latin, const QString &title, const QString &station,
             const QString &titlePinyin, const QString &stationPinyin)
{
    if (title.contains(written, Qt::CaseInsensitive) || station.contains(written, Qt::CaseInsensitive))
        return true;
    if (latin.isEmpty())
        return false;
    for (const QString *read : {&titlePinyin, &stationPinyin}) {
        if (!read->isEmpty() && spelledBySyllables(read->split(u' ', Qt::SkipEmptyParts), latin))
            return true;
    }
    return false;
}

}  // namespace

// The connection and everything done with it, on the store's thread only.
// Answers go to the store as calls queued on its thread (the store outlives
// the thread: its destructor waits for it).
class HistoryDatabase : public QObject {
public:
    HistoryDatabase(const QString &path, HistoryStore *store) : path_(path), store_(store) {}

    void open()
    {
        ok_ = openFile();
        if (!ok_ && !locked_ && QFileInfo::exists(path_)) {
            // A file that is not a database (or one broken by a disk fault)
            // is put aside, and the history starts again beside it. One that
            // another connection kept locked (the schedule's) is whole: it
            // stays, and the history is off this time.
            closeFile();
            const QString aside = path_ + QStringLiteral(".broken");
            QFile::remove(aside);
            QFile::rename(path_, aside);
            QFile::remove(path_ + QStringLiteral("-wal"));
            QFile::remove(path_ + QStringLiteral("-shm"));
            ok_ = openFile();
        }
        if (ok_)
            prune();
        else
            closeFile();
        const bool ok = ok_;
        answer([ok](HistoryStore *store) { emit store->opened(ok); });
    }

    void close() { closeFile(); }

    void add(qint64 time, const QString &title, const QString &stationName, const QString &stationAddress)
    {
        if (!ok_ || title.trimmed().isEmpty())
            return;
        QSqlQuery last(file_.db());
        last.prepare(QStringLiteral("SELECT title FROM plays WHERE station_address = ? "
                                    "ORDER BY time DESC, id DESC LIMIT 1"));
        last.addBindValue(stationAddress);
        if (last.exec() && last.next() && last.value(0).toString() == title)
            return;  // the same title again, as a stream sends it on reconnecting
        last.finish();

        if (!reader_)
            reader_.emplace();
        QSqlQuery insert(file_.db());
        insert.prepare(QStringLiteral("INSERT INTO plays (time, title, station_name, station_address, "
                                      "title_pinyin, station_pinyin) VALUES (?, ?, ?, ?, ?, ?)"));
        insert.addBindValue(time);
        insert.addBindValue(title);
        insert.addBindValue(stationName);
        insert.addBindValue(stationAddress);
        // Reading takes time by the length: what is searched by pinyin is
        // the start of a title, where a stream puts what it is.
        insert.addBindValue(reader_->syllables(title.left(kPinyinLength)).join(u' '));
        insert.addBindValue(reader_->syllables(stationName.left(kPinyinLength)).join(u' '));
        if (!insert.exec())
            return;
        const HistoryEntry entry{insert.lastInsertId().toLongLong(), time, title, stationName, stationAddress};
        answer([entry](HistoryStore *store) { emit store->added(entry); });
    }

    void find(int request, const QString &text, int limit)
    {
        QList<HistoryEntry> rows;
        if (ok_ && limit > 0) {
            const QString written = text.trimmed();
            const QString latin = pinyinQuery(written);
            QSqlQuery query(file_.db());
            query.setForwardOnly(true);
            if (written.isEmpty()) {
                query.prepare(QStringLiteral("SELECT id, time, title, station_name, station_address FROM plays "
                                             "ORDER BY time DESC, id DESC LIMIT ?"));
                query.addBindValue(limit);
            } else {
                // Pinyin cannot be matched in SQL: every row is looked at
                // here, newest first, until enough have matched.
                query.prepare(QStringLiteral("SELECT id, time, title, station_name, station_address, "
                                             "title_pinyin, station_pinyin FROM plays ORDER BY time DESC, id DESC"));
            }
            if (query.exec()) {
                while (rows.size() < limit && query.next()) {
                    HistoryEntry row{query.value(0).toLongLong(), query.value(1).toLongLong(),
                                     query.value(2).toString(), query.value(3).toString(), query.value(4).toString()};
                    if (written.isEmpty()
                        || matches(written, latin, row.title, row.stationName, query.value(5).toString(),
                                   query.value(6).toString()))
                        rows.append(std::move(row));
                }
            }
        }
        answer([request, rows](HistoryStore *store) { emit store->found(request, rows); });
    }

    void clear()
    {
        if (ok_) {
            exec(QStringLiteral("DELETE FROM plays"));
            // The deleted rows leave the write-ahead log as well.
            exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        answer([](HistoryStore *store) { emit store->cleared(); });
    }

    void prune()
    {
        if (!ok_)
            return;
        QSqlQuery query(file_.db());
        query.prepare(QStringLiteral("DELETE FROM plays WHERE time < ?"));
        query.addBindValue(QDateTime::currentSecsSinceEpoch() - HistoryStore::kKeptDays * kDaySeconds);
        query.exec();
    }

private:
    bool openFile()
    {
        const UserDatabase::Opened opened = file_.open(path_);
        locked_ = opened == UserDatabase::Opened::Locked;
        return opened == UserDatabase::Opened::Yes
            && exec(QStringLiteral("CREATE TABLE IF NOT EXISTS plays ("
                                   "id INTEGER PRIMARY KEY, "
                                   "time INTEGER NOT NULL, "  // seconds since 1970, UTC
                                   "title TEXT NOT NULL, "
                                   "station_name TEXT NOT NULL, "
                                   "station_address TEXT NOT NULL, "
                                   // The title and the station name read as
                                   // pinyin syllables, for searching.
                                   "title_pinyin TEXT NOT NULL DEFAULT '', "
                                   "station_pinyin TEXT NOT NULL DEFAULT '')"))
            && exec(QStringLiteral("CREATE INDEX IF NOT EXISTS plays_by_time ON plays (time)"))
            && exec(QStringLiteral("CREATE INDEX IF NOT EXISTS plays_by_station ON plays (station_address, time)"));
    }

    void closeFile()
    {
        file_.close();
        ok_ = false;
    }

    bool exec(const QString &statement) { return file_.exec(statement); }

    template <typename Answer>
    void answer(Answer deliver)
    {
        QMetaObject::invokeMethod(
            store_, [store = store_, deliver] { deliver(store); }, Qt::QueuedConnection);
    }

    const QString path_;
    HistoryStore *const store_;
    UserDatabase file_{QStringLiteral("history")};
    bool ok_ = false;
    bool locked_ = false;  // the schedule's connection held the file all the while
    std::optional<PinyinReader> reader_;  // made at the first row kept
};

HistoryStore::HistoryStore(const QString &path, QObject *parent)
    : QObject(parent), path_(path), database_(new HistoryDatabase(path, this))
{
    qRegisterMetaType<HistoryEntry>();
    connect(this, &HistoryStore::opened, this, [this](bool ok) { failed_ = !ok; });
    thread_.setObjectName(QStringLiteral("history"));
    database_->moveToThread(&thread_);
    thread_.start();
    post([](HistoryDatabase &db) { db.open(); });
    daily_.setInterval(int(kDaySeconds * 1000));
    connect(&daily_, &QTimer::timeout, this, &HistoryStore::prune);
    daily_.start();
}

HistoryStore::~HistoryStore()
{
    // After everything asked before: the calls queued on the thread run in
    // order.
    QMetaObject::invokeMethod(database_, [db = database_] { db->close(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete database_;
}

template <typename Work>
void HistoryStore::post(Work work)
{
    QMetaObject::invokeMethod(database_, [db = database_, work] { work(*db); }, Qt::QueuedConnection);
}

void HistoryStore::add(const QString &title, const QString &stationName, const QString &stationAddress)
{
    addAt(QDateTime::currentSecsSinceEpoch(), title, stationName, stationAddress);
}

void HistoryStore::addAt(qint64 time, const QString &title, const QString &stationName, const QString &stationAddress)
{
    if (title.trimmed().isEmpty())
        return;
    post([=](HistoryDatabase &db) { db.add(time, title, stationName, stationAddress); });
}

int HistoryStore::find(const QString &text, int limit)
{
    const int request = ++requests_;
    post([=](HistoryDatabase &db) { db.find(request, text, limit); });
    return request;
}

void HistoryStore::clear()
{
    post([](HistoryDatabase &db) { db.clear(); });
}

void HistoryStore::prune()
{
    post([](HistoryDatabase &db) { db.prune(); });
}

}  // namespace kelvaro
