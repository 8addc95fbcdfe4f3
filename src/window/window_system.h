// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace kelvaro {

// Chooses Qt's window system where the user has not (QT_QPA_PLATFORM): in a
// Wayland session that also offers an X server (XWayland) the program runs
// through X11, where its fixed geometry, hiding in the notification area on
// minimising and the embedded page window work; native Wayland only where
// there is no X server. What is chosen is left in the environment, so that
// the page helper the program starts runs on the same one. Call before the
// application is made.
void chooseWindowSystem();

// The activation token the program was started with (XDG_ACTIVATION_TOKEN,
// from the launcher), taken out of the environment: Qt would spend a token
// found there on the next activation request, long after it has expired, and
// programs started later would inherit it. Call before the application is
// made.
QByteArray takeLaunchActivationToken();

// True when the program runs as a native Wayland client. Such a program is
// never told that its window was minimised, and its window is brought to the
// front only through an activation token (xdg-activation).
bool nativeWayland();

// Native Wayland: readies Qt's next activation request (QWindow::
// requestActivate reads XDG_ACTIVATION_TOKEN) with `token` when one was
// handed over (a later start's launcher token), else with the token a tray
// host left there, else with one the program asks the compositor for. The
// compositor decides what the request brings: the window in front with the
// keyboard, or only a sign that it wants attention. Elsewhere it does nothing.
void prepareActivation(const QByteArray &token);

}  // namespace kelvaro
