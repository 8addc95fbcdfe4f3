// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace kelvaro {

// Makes the page window the helper's one window for assistive technology.
// The page window lives inside another program's window, so Qt does not
// count it among the application's windows and a screen reader would find
// only the engine's invisible offscreen window. Call once, after the
// application object exists and before the event loop runs.
void exposePageWindow(QWidget *page);

} // namespace kelvaro
