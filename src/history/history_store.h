// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

namespace kelvaro {

class HistoryDatabase;

// One title heard: when it came (seconds since 1970, UTC), what it was and on
// which station.
struct HistoryEntry {
    qint64 id = 0;  // the row's number in the file; later rows have larger ones
    qint64 time = 0;
    QString title;
    QString stationName;
    QString stationAddress;

    bool operator==(const HistoryEntry &) const = default;
};

// The history file: <data folder>/kelvaro/history.sqlite ($XDG_DATA_HOME, else
// ~/.local/share); on Windows beside the program, as its other files are.
// Empty when there is no folder to keep it in.
QString historyFilePath(const QString &executableFolder);

// 播放记录: every title heard, kept in an SQLite file for a year.
//
// All the file's work runs on a thread of the store's own, which owns the
// connection; every call here returns at once and answers come back as
// signals on the thread that made the store. The file is written in WAL mode,
// one transaction a change: a crash or a kill at any moment leaves every row
// committed before it readable and the file whole.
class HistoryStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kKeptDays = 365;
    static constexpr int kShownRows = 500;

    // Opens (or makes) the file at `path` on the store's thread, and drops
    // rows older than kKeptDays then and once a day after.
    explicit HistoryStore(const QString &path, QObject *parent = nullptr);
    // Finishes every change asked for, closes the file and ends the thread.
    ~HistoryStore() override;

    QString path() const { return path_; }
    // False once the file could not be opened (no answers will list rows).
    bool failed() const { return failed_; }

    // Keeps `title`, heard now on the station; an empty title, or the one
    // the station's latest row already holds (sent again on reconnecting),
    // is not kept.
    void add(const QString &title, const QString &stationName, const QString &stationAddress);
    // The same with the time it was heard (seconds since 1970, UTC).
    void addAt(qint64 time, const QString &title, const QString &stationName, const QString &stationAddress);

    // Asks for at most `limit` rows, newest first, whose title or station
    // name holds `text` (any case), or reads as it in pinyin, whole or by
    // initials ("zgzs" finds 中国之声); all rows when `text` is empty.
    // Answered by found() with the number returned here.
    int find(const QString &text, int limit = kShownRows);

    // Deletes every row. Answered by cleared().
    void clear();
    // Deletes rows older than kKeptDays.
    void prune();

signals:
    // The file is open, or could not be (`ok` false).
    void opened(bool ok);
    // A row was kept.
    void added(const kelvaro::HistoryEntry &entry);
    void found(int request, const QList<kelvaro::HistoryEntry> &entries);
    void cleared();

private:
    template <typename Work>
    void post(Work work);

    const QString path_;
    HistoryDatabase *database_;  // lives on thread_
    QThread thread_;
    QTimer daily_;
    int requests_ = 0;
    bool failed_ = false;
};

}  // namespace kelvaro

Q_DECLARE_METATYPE(kelvaro::HistoryEntry)
