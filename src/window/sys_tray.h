// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <utility>

class QMenu;
class QSystemTrayIcon;

namespace kelvaro {

// The notification-area icon (`cSysTray1`): `intray` puts the icon there or
// takes it away; `iconEvent` is raised when the user activates the icon.
// With `alwaysShown` the icon stays there whatever `intray` says.
//
// The icon appears only once the application's focus has left any window
// that is no longer shown (see update()): asked for while the window going
// into the notification area still holds the focus, it comes a moment later.
class SysTray : public QObject {
    Q_OBJECT
public:
    explicit SysTray(QObject *parent = nullptr);

    bool intray() const { return intray_; }
    void setIntray(bool on);

    bool alwaysShown() const { return alwaysShown_; }
    void setAlwaysShown(bool on);

    QIcon trayicon() const { return trayicon_; }
    void setTrayicon(const QIcon &icon);
    // The tooltip: its first line, then any lines added by name, in the
    // order they were first added (an empty text takes a line away).
    QString traytip() const;
    void setTraytip(const QString &tip);
    void setTipLine(const QString &name, const QString &text);

    // The menu the icon offers on a right click (the icon keeps no ownership).
    void setMenu(QMenu *menu);

    // Whether the icon is in the notification area now.
    bool shown() const;

    // Whether the desktop has a notification area at all.
    static bool available();

signals:
    void iconEvent();

private:
    void update();
    static bool focusOnHiddenWindow();

    bool intray_ = false;
    bool waitingForFocus_ = false;  // wanted, held back until the focus moves
    bool alwaysShown_ = false;
    QIcon trayicon_;
    QString traytip_;
    QList<std::pair<QString, QString>> tipLines_;
    QSystemTrayIcon *icon_ = nullptr;  // made on first use
    QMenu *menu_ = nullptr;
};

}  // namespace kelvaro
