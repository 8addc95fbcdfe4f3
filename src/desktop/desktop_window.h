// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// What the desktop side needs to know of the program's window, and no more:
// the desktop never reaches into the window itself.
class DesktopWindow {
public:
    virtual ~DesktopWindow() = default;
    // True while the window is hidden in the notification area.
    virtual bool hiddenInTray() const = 0;
    // The name of the station last chosen; empty before any.
    virtual QString stationName() const = 0;
};

}  // namespace kelvaro
