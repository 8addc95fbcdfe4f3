// SPDX-License-Identifier: GPL-3.0-or-later
// The platform part of kelvaro-web: giving the page window the keyboard.
#include "keyboard_focus.h"

#include <QGuiApplication>
#include <QWindow>

#ifdef KELVARO_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace kelvaro {

void takeKeyboardFocus(QWindow *window)
{
#ifdef KELVARO_HAVE_XCB
    // Inside another program's window, Qt's own request carries this
    // program's last X time stamp, older than the program's last focus
    // change, and the X server ignores it. The window sits inside the
    // program's window, so the user's intent is clear: take it now.
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t *c = x11->connection();
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window->winId()),
                            XCB_CURRENT_TIME);
        xcb_flush(c);
        return;
    }
#endif
    window->requestActivate();
}

} // namespace kelvaro
