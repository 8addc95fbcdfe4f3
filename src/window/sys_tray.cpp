// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys_tray.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWindow>

#include <algorithm>

namespace kelvaro {

SysTray::SysTray(QObject *parent) : QObject(parent)
{
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this] {
        if (waitingForFocus_)
            update();
    });
}

bool SysTray::shown() const
{
    return icon_ != nullptr && icon_->isVisible();
}

bool SysTray::focusOnHiddenWindow()
{
    const QWindow *focus = QGuiApplication::focusWindow();
    return focus != nullptr && !focus->isVisible();
}

bool SysTray::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SysTray::update()
{
    waitingForFocus_ = false;
    if (!intray_ && !alwaysShown_) {
        if (icon_ != nullptr)
            icon_->hide();
        return;
    }
    // A window just hidden (the main window going into the notification
    // area) still holds the application's focus for a moment: the window
    // system reports the loss a little later (on X11 Qt waits 100 ms for the
    // focus to come to another of the program's windows before it reports
    // that none has it), and later still when the program is kept busy. Once
    // it is reported, the application is inactive, and an application that
    // turns inactive closes its popup menus. The icon's menu opened in
    // between, by a right click on an icon shown at once, would be closed
    // before it was ever drawn. So a new icon waits until the focus has left
    // the hidden window.
    if (!shown() && focusOnHiddenWindow()) {
        waitingForFocus_ = true;
        return;
    }
    if (icon_ == nullptr) {
        icon_ = new QSystemTrayIcon(trayicon_, this);
        icon_->setToolTip(traytip());
        icon_->setContextMenu(menu_);
        // Every activation (click, double click, middle click) is the one
        // icon event; the window's restore is harmless when it comes twice.
        // A right click opens the menu instead, when there is one.
        connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason != QSystemTrayIcon::Context || menu_ == nullptr)
                emit iconEvent();
        });
    }
    icon_->show();
}

void SysTray::setIntray(bool on)
{
    intray_ = on;
    update();
}

void SysTray::setAlwaysShown(bool on)
{
    alwaysShown_ = on;
    update();
}

void SysTray::setMenu(QMenu *menu)
{
    menu_ = menu;
    if (icon_ != nullptr)
        icon_->setContextMenu(menu);
}

void SysTray::setTrayicon(const QIcon &icon)
{
    trayicon_ = icon;
    if (icon_ != nullptr)
        icon_->setIcon(icon);
}

QString SysTray::traytip() const
{
    QString tip = traytip_;
    for (const auto &[name, text] : tipLines_)
        tip += QLatin1Char('\n') + text;
    return tip;
}

void SysTray::setTraytip(const QString &tip)
{
    traytip_ = tip;
    if (icon_ != nullptr)
        icon_->setToolTip(traytip());
}

void SysTray::setTipLine(const QString &name, const QString &text)
{
    const auto line = std::find_if(tipLines_.begin(), tipLines_.end(), [&](const auto &l) { return l.first == name; });
    if (line == tipLines_.end()) {
        if (text.isEmpty())
            return;
        tipLines_.append({name, text});
    } else if (text.isEmpty()) {
        tipLines_.erase(line);
    } else {
        line->second = text;
    }
    if (icon_ != nullptr)
        icon_->setToolTip(traytip());
}

}  // namespace kelvaro
