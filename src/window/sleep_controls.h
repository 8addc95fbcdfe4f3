// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QWidget;

namespace kelvaro {

class MiniControls;
class SleepTimer;
class SysTray;

// What the window offers of the sleep timer: the 睡眠定时 menu (15 to 90
// minutes, a time of the listener's own, 本曲结束后, off, and whether the
// status line shows the time left), shared by the tray and tree menus, and
// the time left in the tray icon's tooltip and, when asked, the player's
// status line.
class SleepControls : public QObject {
    Q_OBJECT
public:
    SleepControls(QWidget &window, SleepTimer &timer, MiniControls &player, SysTray &tray);

    // The 睡眠定时 item, with its menu.
    QAction *menuAction() const;
    QAction *showInStatusAction() const { return inStatus_; }

private:
    void askLength();
    void follow();

    QWidget &window_;
    SleepTimer &timer_;
    MiniControls &player_;
    SysTray &tray_;
    QMenu *menu_;
    QActionGroup *lengths_;
    QAction *custom_;
    QAction *songEnd_;
    QAction *off_;
    QAction *inStatus_;
    int chosenMinutes_ = 0;  // the length last chosen from the menu (0: another)
};

}  // namespace kelvaro
