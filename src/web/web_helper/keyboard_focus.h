// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class QWindow;

namespace kelvaro {

// Gives the window (a child of another program's window) the keyboard.
// eventTime is the window system's time of the user's action that asks for
// it (0: now); a request older than the last focus change is not honoured,
// so a later click elsewhere keeps the keyboard where it sent it.
void takeKeyboardFocus(QWindow *window, quint64 eventTime = 0);

} // namespace kelvaro
