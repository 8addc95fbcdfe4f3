// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "web_engine_surface.h"

#include <functional>

class QWidget;

namespace kelvaro {

// Makes one engine view (a child of parent) with every safety rule of the
// program's pages: only http, https and about:blank in the main frame, no
// windows, dialogs, downloads or permissions, an off-the-record profile, and
// sound allowed without a click. The first call sets the engine up; it must
// come after the application object exists.
WebEngineSurface *createEngineSurface(QWidget *parent, std::function<void(bool)> onLoadFinished);

} // namespace kelvaro
