// SPDX-License-Identifier: GPL-3.0-or-later
#include "user_database.h"

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <utility>

namespace kelvaro {

UserDatabase::Opened UserDatabase::open(const QString &path)
{
    close();
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).path()))
        return Opened::No;
    // Qt names every connection of the process; each open a new name.
    static QAtomicInt made;
    connection_ = QStringLiteral("kelvaro-%1-%2").arg(role_).arg(made.fetchAndAddRelaxed(1));
    QSqlDatabase &db = db_;
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyWaitMs));
    if (!db.open())
        return Opened::No;
    // Turning a new file to WAL needs it to itself: while the other
    // connection opens the same file, SQLite answers "busy" at once, without
    // the busy timeout's wait, so this waits and tries again. A file already
    // in WAL mode answers at once.
    const QDeadlineTimer deadline(kBusyWaitMs);
    for (;;) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && query.next()) {
            if (query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
                return Opened::No;
            break;
        }
        if (query.lastError().nativeErrorCode() != QLatin1String("5"))  // SQLITE_BUSY
            return Opened::No;
        if (deadline.hasExpired())
            return Opened::Locked;
        QThread::msleep(20);
    }
    return exec(QStringLiteral("PRAGMA synchronous=NORMAL")) && exec(QStringLiteral("PRAGMA secure_delete=ON"))
               ? Opened::Yes
               : Opened::No;
}

void UserDatabase::close()
{
    if (connection_.isEmpty())
        return;
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(std::exchange(connection_, QString()));
}

bool UserDatabase::exec(const QString &statement)
{
    QSqlQuery query(db_);
    return query.exec(statement);
}

}  // namespace kelvaro
