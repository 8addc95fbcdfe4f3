// SPDX-License-Identifier: GPL-3.0-or-later
#include "user_database.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

namespace kelvaro {

UserDatabase::Opened UserDatabase::open(QSqlDatabase &db, const QString &path, const QString &connection)
{
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).path()))
        return Opened::No;
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
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
    QSqlQuery query(db);
    return query.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) && query.exec(QStringLiteral("PRAGMA secure_delete=ON"))
               ? Opened::Yes
               : Opened::No;
}

}  // namespace kelvaro
