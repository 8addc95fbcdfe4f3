// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys_tray.h"

#include <QSystemTrayIcon>

namespace kelvaro {

SysTray::SysTray(QObject *parent) : QObject(parent) {}

bool SysTray::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SysTray::update()
{
    if (!intray_ && !alwaysShown_) {
        if (icon_ != nullptr)
            icon_->hide();
        return;
    }
    if (icon_ == nullptr) {
        icon_ = new QSystemTrayIcon(trayicon_, this);
        icon_->setToolTip(traytip_);
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

void SysTray::setTraytip(const QString &tip)
{
    traytip_ = tip;
    if (icon_ != nullptr)
        icon_->setToolTip(tip);
}

}  // namespace kelvaro
