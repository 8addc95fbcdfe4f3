// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop_session.h"

#include "form1.h"

#ifdef KELVARO_HAVE_DBUS
#include "mpris.h"
#include "sleep_inhibitor.h"
#include "title_notifications.h"
#endif

namespace kelvaro {

#ifdef KELVARO_HAVE_DBUS
namespace {

// The window as the desktop side sees it.
class WindowForDesktop : public DesktopWindow {
public:
    explicit WindowForDesktop(const Form1 &form) : form_(form) {}
    bool hiddenInTray() const override { return form_.hiddenInTray(); }
    QString stationName() const override { return form_.stationName(); }

private:
    const Form1 &form_;
};

}  // namespace
#endif

void joinDesktop([[maybe_unused]] Form1 &form)
{
#ifdef KELVARO_HAVE_DBUS
    auto *service = new MprisService(form);
    if (!service->publish())
        delete service;
    auto *notifications = new TitleNotifications(*form.Wmp1, std::make_unique<WindowForDesktop>(form), &form);
    if (!notifications->start())
        delete notifications;
    auto *inhibitor = new SleepInhibitor(*form.Wmp1, &form);
    if (!inhibitor->start())
        delete inhibitor;
#endif
}

}  // namespace kelvaro
