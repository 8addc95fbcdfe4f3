// SPDX-License-Identifier: GPL-3.0-or-later
#include "sleep_inhibitor.h"

#include "desktop_platform.h"
#include "listening.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QVariantMap>

namespace kelvaro {

namespace {

const QString kReason = QStringLiteral("正在播放电台");
// The portal's and the session manager's flag for suspending (idle is 8:
// that would hold off the screen saver too).
constexpr uint kSuspend = 4;

}  // namespace

SleepInhibitor::SleepInhibitor(Listening &listening, QObject *parent) : QObject(parent), listening_(listening) {}

SleepInhibitor::~SleepInhibitor()
{
    wanted_ = false;
    if (held_)
        release();
}

bool SleepInhibitor::start()
{
    if (!platform::sessionBusAvailable() || !QDBusConnection::sessionBus().isConnected())
        return false;
    connect(&listening_, &Listening::keepsAwakeChanged, this, &SleepInhibitor::follow);
    follow(listening_.keepsAwake());
    return true;
}

void SleepInhibitor::follow(bool keepAwake)
{
    wanted_ = keepAwake;
    settle();
}

void SleepInhibitor::settle()
{
    if (asking_)
        return;
    if (wanted_ && !held_ && way_ != Way::None)
        ask(way_);
    else if (!wanted_ && held_)
        release();
}

void SleepInhibitor::ask(Way way)
{
    QDBusMessage call;
    QDBusConnection bus = QDBusConnection::sessionBus();
    switch (way) {
    case Way::Portal:
        call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                              QStringLiteral("/org/freedesktop/portal/desktop"),
                                              QStringLiteral("org.freedesktop.portal.Inhibit"),
                                              QStringLiteral("Inhibit"));
        call << QString() << kSuspend << QVariantMap{{QStringLiteral("reason"), kReason}};
        break;
    case Way::Logind:
        // Only a system bus that is there; the library would not start one.
        bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            way_ = Way::SessionManager;
            settle();
            return;
        }
        call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                              QStringLiteral("/org/freedesktop/login1"),
                                              QStringLiteral("org.freedesktop.login1.Manager"),
                                              QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep") << QGuiApplication::applicationDisplayName() << kReason
             << QStringLiteral("block");
        break;
    case Way::SessionManager:
        call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.SessionManager"),
                                              QStringLiteral("/org/gnome/SessionManager"),
                                              QStringLiteral("org.gnome.SessionManager"), QStringLiteral("Inhibit"));
        call << QGuiApplication::desktopFileName() << uint(0) << kReason << kSuspend;
        break;
    case Way::None:
        return;
    }
    asking_ = true;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, way](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        asking_ = false;
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            // Not offered here (or refused): the next way, for this time and
            // every time after.
            way_ = Way(int(way) + 1);
            settle();
            return;
        }
        const QVariant value = reply.arguments().constFirst();
        held_ = true;
        heldBy_ = way;
        if (way == Way::Portal)
            portalRequest_ = value.value<QDBusObjectPath>().path();
        else if (way == Way::Logind)
            lock_ = value.value<QDBusUnixFileDescriptor>();
        else
            cookie_ = value.toUInt();
        // Playing may have stopped while the call was on its way.
        settle();
    });
}

void SleepInhibitor::release()
{
    switch (heldBy_) {
    case Way::Portal:
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), portalRequest_,
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        portalRequest_.clear();
        break;
    case Way::Logind:
        // Closing our descriptor ends the lock.
        lock_ = QDBusUnixFileDescriptor();
        break;
    case Way::SessionManager: {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("Uninhibit"));
        call << cookie_;
        QDBusConnection::sessionBus().asyncCall(call);
        cookie_ = 0;
        break;
    }
    case Way::None:
        break;
    }
    held_ = false;
    heldBy_ = Way::None;
}

}  // namespace kelvaro
