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
        // Every activation (click, double click, middle click) is the one
        // icon event; the window's restore is harmless when it comes twice.
        connect(icon_, &QSystemTrayIcon::activated, this, [this] { emit iconEvent(); });
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
