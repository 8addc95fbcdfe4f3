// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <utility>

// The few things about the user's session that differ between platforms.
namespace kelvaro::platform {

// Name of the local socket that the running instance listens on, scoped to
// the user's session: on Unix a full path in $XDG_RUNTIME_DIR (or a per-user
// name in the temporary folder when that is unset), on Windows a pipe name
// carrying the user and the session id.
QString instanceSocketName();

// Whether the socket lives in a folder only the user can enter (the runtime
// folder), so that it needs no access limit of its own.
bool instanceSocketInPrivateFolder();

// The lock file held by the running instance, beside its socket.
QString instanceLockPath();

// The running instance's lock: a lock the system holds on an open file for
// this process, so it is never stale (it goes with the process, even one
// that crashes) and taking it writes nothing to disk. The file is removed
// when the lock is released.
class InstanceLock {
public:
    enum class Result {
        Taken,     // this process holds the lock now
        Held,      // another process holds it
        Unusable,  // no lock can be made at this path (say, no such folder)
    };
    explicit InstanceLock(QString path) : path_(std::move(path)) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Does not wait.
    Result tryLock();

private:
    QString path_;
    qintptr handle_ = -1;  // the open lock file while taken
};

// Whether a session bus can be reached without starting one: its address is
// in the environment, or the per-user bus socket exists. Never true on
// Windows.
bool sessionBusAvailable();

}  // namespace kelvaro::platform
