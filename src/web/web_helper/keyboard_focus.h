// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWindow;

namespace kelvaro {

// Gives the window (a child of another program's window) the keyboard.
void takeKeyboardFocus(QWindow *window);

} // namespace kelvaro
