// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// 登录时启动并隐藏到托盘: the program started at login, hidden in the
// notification area, so that its timers fire. On Linux an XDG autostart
// entry (<config folder>/autostart/kelvaro.desktop); on Windows the user's
// Run key. These touch the disk: call them off the UI thread.
//
// `program` is the executable to start, given "--hidden".
bool autostartEnabled();
// Writes (atomically) or removes the entry; false when that failed.
bool setAutostartEnabled(bool on, const QString &program);

// The entry's text for `program` (the Exec line quoted as the desktop entry
// format asks).
QString autostartEntry(const QString &program);

}  // namespace kelvaro
