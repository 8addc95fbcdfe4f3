// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace kelvaro {

// The program's own icons, compiled in as pixels (the same as
// data/icons/kelvaro-32.png and kelvaro-tray-16.png): making the window
// then needs no image decoder, which would cost about 1.5 ms of start-up
// for pictures the first frame already carries.
QIcon programIcon();  // 32 pixels, for the window and the task bar
QIcon programTrayIcon();  // 16 pixels, for the notification area

}  // namespace kelvaro
