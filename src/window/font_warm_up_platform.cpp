// SPDX-License-Identifier: GPL-3.0-or-later
// The font warm-up per platform: fontconfig where Qt uses it (Linux and the
// other Unix desktops), nothing on Windows and macOS, whose font services
// need no such set-up.
#include "font_warm_up.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <fontconfig/fontconfig.h>
#define KELVARO_WARM_FONTCONFIG
#endif

namespace kelvaro {

FontWarmUp::FontWarmUp()
{
#ifdef KELVARO_WARM_FONTCONFIG
    // FcInit() is thread-safe and makes the process-wide configuration that
    // Qt's font database then finds in place.
    thread_ = std::thread([] { FcInit(); });
#endif
}

FontWarmUp::~FontWarmUp()
{
    if (thread_.joinable())
        thread_.join();
}

}  // namespace kelvaro
