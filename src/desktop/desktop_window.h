// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace kelvaro {

class Listening;

// What the desktop side needs of the program's window, and no more: the
// desktop never reaches into the window itself. What plays (the station, the
// player, choosing another) it takes from the listening layer the window
// shows. The window side implements it (src/window/window_for_desktop.*).
class DesktopWindow : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual Listening &listening() = 0;
    // True while the window is hidden in the notification area.
    virtual bool hiddenInTray() const = 0;
    // Brings the window back to the front, from the notification area too.
    virtual void raise() = 0;
    // Ends the program as closing the window does, whatever state the
    // window is in.
    virtual void quit() = 0;
};

}  // namespace kelvaro
