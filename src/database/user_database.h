// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kelvaro {

// The user's database: one SQLite file (history.sqlite) that the play history
// and the timers share, each through a connection of its own on a thread of
// its own, each with its own tables. One of these is one such connection,
// used on one thread only.
//
// Every connection opens the file with the same settings, since they share
// it: WAL, so a kill mid-write loses at most the change under way; synced at
// checkpoints, which keeps the file whole; what is deleted is overwritten;
// a connection waits up to kBusyWaitMs for the other's writes.
class UserDatabase {
public:
    static constexpr int kBusyWaitMs = 5000;

    enum class Opened {
        Yes,
        Locked,  // another connection held the file all the while
        No,      // not a database, or no place for it
    };

    // `role` names the connections ("history", "schedule").
    explicit UserDatabase(const QString &role) : role_(role) {}
    ~UserDatabase() { close(); }
    UserDatabase(const UserDatabase &) = delete;
    UserDatabase &operator=(const UserDatabase &) = delete;

    // Opens `path`, making its folder; closes whatever was open before.
    Opened open(const QString &path);
    void close();
    // Runs a statement without results; false when it failed.
    bool exec(const QString &statement);
    QSqlDatabase &db() { return db_; }

private:
    const QString role_;
    QString connection_;  // empty while closed
    QSqlDatabase db_;
};

}  // namespace kelvaro
