#pragma once

#include <QString>

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

// Whether a session bus can be reached without starting one: its address is
// in the environment, or the per-user bus socket exists. Never true on
// Windows.
bool sessionBusAvailable();

}  // namespace kelvaro::platform
