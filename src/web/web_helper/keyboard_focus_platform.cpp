// SPDX-License-Identifier: GPL-3.0-or-later
// The platform part of kelvaro-web: giving the page window the keyboard.
#include "keyboard_focus.h"

#include <QGuiApplication>
#include <QWindow>

#ifdef KELVARO_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace kelvaro {

void takeKeyboardFocus(QWindow *window, quint64 eventTime)
{
#ifdef KELVARO_HAVE_XCB
    // Inside another program's window Qt does not ask the X server at all
    // (it treats the window as embedded). The request carries the time of
    // the user's action that asks for it (a click into the page, or the Tab
    // that moved the keyboard to it): the server then orders it against the
    // program's own requests by when the user acted, not by which process
    // got there first. Without such a time, the program has just decided: now.
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t *c = x11->connection();
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window->winId()),
                            eventTime != 0 ? xcb_timestamp_t(eventTime) : XCB_CURRENT_TIME);
        xcb_flush(c);
        return;
    }
#endif
    Q_UNUSED(eventTime);
    window->requestActivate();
}

} // namespace kelvaro
