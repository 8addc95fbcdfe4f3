// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace kelvaro {

class MediaPlayer;

// What the desktop side needs of the program's window, and no more: the
// desktop never reaches into the window itself. The window side implements
// it (src/window/window_for_desktop.*).
class DesktopWindow : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual MediaPlayer &player() = 0;
    // True while the window is hidden in the notification area.
    virtual bool hiddenInTray() const = 0;
    // The station last chosen: its address and name (as the tree shows it
    // now); empty before any.
    virtual QString stationKey() const = 0;
    virtual QString stationName() const = 0;
    // A number for the station last chosen, the same while it stays where it is.
    virtual int stationNumber() const = 0;
    // The address of the station `step` places from the last chosen one in
    // its category, in the tree's order now; empty when there is none.
    virtual QString stationBeside(int step) const = 0;
    // Chooses a station as a click on it does.
    virtual void chooseStation(const QString &key) = 0;
    // Brings the window back to the front, from the notification area too.
    virtual void raise() = 0;
    // Closes the window, which stops what plays.
    virtual void close() = 0;

signals:
    // A station was chosen (not a category).
    void stationChosen();
};

}  // namespace kelvaro
