// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop_session.h"

#include "desktop_window.h"

#ifdef KELVARO_HAVE_DBUS
#include "alarm_notification.h"
#include "alarm_ringer.h"
#include "mpris.h"
#include "sleep_inhibitor.h"
#include "sleep_resume.h"
#include "title_notifications.h"
#endif

namespace kelvaro {

void joinDesktop([[maybe_unused]] DesktopWindow &window)
{
#ifdef KELVARO_HAVE_DBUS
    auto *service = new MprisService(window);
    if (!service->publish())
        delete service;
    auto *notifications = new TitleNotifications(window, &window);
    if (!notifications->start())
        delete notifications;
    auto *inhibitor = new SleepInhibitor(window.listening(), &window);
    if (!inhibitor->start())
        delete inhibitor;
    auto *resume = new SleepResume(window.listening(), &window);
    if (!resume->start())
        delete resume;
#endif
}

void announceAlarms([[maybe_unused]] AlarmRinger &ringer)
{
#ifdef KELVARO_HAVE_DBUS
    auto *notification = new AlarmNotification(ringer, &ringer);
    if (!notification->start())
        delete notification;
#endif
}

}  // namespace kelvaro
