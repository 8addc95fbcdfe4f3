// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop_session.h"

#include "form1.h"

#ifdef KELVARO_HAVE_DBUS
#include "mpris.h"
#endif

namespace kelvaro {

void joinDesktop([[maybe_unused]] Form1 &form)
{
#ifdef KELVARO_HAVE_DBUS
    auto *service = new MprisService(form);
    if (!service->publish())
        delete service;
#endif
}

}  // namespace kelvaro
