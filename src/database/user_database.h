// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kelvaro {

// The user's database: one SQLite file (history.sqlite) that the play history
// and the timers share, each through a connection of its own on a thread of
// its own, each with its own tables.
//
// Opens `path` (making its folder) as the connection `connection`: the same
// settings for every connection, since they share one file. WAL, so a kill
// mid-write loses at most the change under way; synced at checkpoints,
// which keeps the file whole; what is deleted is overwritten; a connection
// waits up to kBusyWaitMs for the other's writes.
class UserDatabase {
public:
    static constexpr int kBusyWaitMs = 5000;

    enum class Opened {
        Yes,
        Locked,  // another connection held the file all the while
        No,      // not a database, or no place for it
    };
    static Opened open(QSqlDatabase &db, const QString &path, const QString &connection);
};

}  // namespace kelvaro
