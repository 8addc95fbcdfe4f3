// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm_notification.h"

#include "alarm_ringer.h"
#include "desktop_platform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QVariantMap>

namespace kelvaro {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kStop = QStringLiteral("stop");
const QString kSnooze = QStringLiteral("snooze");

}  // namespace

AlarmNotification::AlarmNotification(AlarmRinger &ringer, QObject *parent) : QObject(parent), ringer_(ringer) {}

bool AlarmNotification::start()
{
    if (!platform::sessionBusAvailable() || !QDBusConnection::sessionBus().isConnected())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                SLOT(onAction(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                SLOT(onClosed(uint, uint)));
    connect(&ringer_, &AlarmRinger::ringing, this, &AlarmNotification::show);
    connect(&ringer_, &AlarmRinger::ended, this, &AlarmNotification::close);
    return true;
}

void AlarmNotification::show(const QString &what)
{
    ringing_ = true;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints = {
        {QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName()},
        {QStringLiteral("category"), QStringLiteral("x-kelvaro.alarm")},
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(2))},
        {QStringLiteral("resident"), true},
    };
    call << QStringLiteral("Kelvaro") << shownId_ << QGuiApplication::desktopFileName() << QStringLiteral("闹钟")
         << what << QStringList{kStop, QStringLiteral("停止"), kSnooze, QStringLiteral("稍后提醒")} << hints
         << qint32(0);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return;
        shownId_ = reply.value();
        if (!ringing_)
            close();  // it ended while the call was on its way
    });
}

void AlarmNotification::close()
{
    ringing_ = false;
    if (shownId_ == 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("CloseNotification"));
    call << std::exchange(shownId_, 0u);
    QDBusConnection::sessionBus().asyncCall(call);
}

void AlarmNotification::onAction(uint id, const QString &action)
{
    if (id == 0 || id != shownId_)
        return;
    if (action == kStop)
        ringer_.stop();
    else if (action == kSnooze)
        ringer_.snooze();
}

void AlarmNotification::onClosed(uint id, uint)
{
    if (id != 0 && id == shownId_)
        shownId_ = 0;
}

}  // namespace kelvaro
