// SPDX-License-Identifier: GPL-3.0-or-later
#include "title_notifications.h"

#include "desktop_platform.h"
#include "listening.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QVariantMap>

namespace kelvaro {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

TitleNotifications::TitleNotifications(DesktopWindow &window, QObject *parent)
    : QObject(parent), window_(window)
{
}

TitleNotifications::~TitleNotifications() = default;

bool TitleNotifications::start()
{
    if (!platform::sessionBusAvailable() || !QDBusConnection::sessionBus().isConnected())
        return false;
    connect(&window_.listening(), &Listening::titleChanged, this, &TitleNotifications::onTitleChanged);
    return true;
}

void TitleNotifications::onTitleChanged(const QString &title)
{
    if (title.isEmpty() || !window_.hiddenInTray())
        return;
    nextSummary_ = window_.listening().station().name;
    nextBody_ = title;
    sendNext();
}

void TitleNotifications::sendNext()
{
    if (callPending_ || nextBody_.isEmpty())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints = {
        {QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName()},
        {QStringLiteral("category"), QStringLiteral("x-kelvaro.title")},
    };
    call << QStringLiteral("Kelvaro") << shownId_ << QGuiApplication::desktopFileName() << nextSummary_ << nextBody_
         << QStringList() << hints << qint32(-1);
    nextSummary_.clear();
    nextBody_.clear();
    callPending_ = true;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        callPending_ = false;
        const QDBusPendingReply<uint> reply = *w;
        // No service (or a failing one): nothing is shown, and the title is
        // not kept; the next title tries again.
        if (!reply.isError())
            shownId_ = reply.value();
        sendNext();
    });
}

}  // namespace kelvaro
