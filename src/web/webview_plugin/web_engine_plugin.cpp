// SPDX-License-Identifier: GPL-3.0-or-later
#include "web_engine_plugin.h"

#include "engine_view.h"

namespace kelvaro {

WebEngineSurface *WebEnginePlugin::createSurface(QWidget *parent,
                                                 std::function<void(bool)> onLoadFinished)
{
    return createEngineSurface(parent, std::move(onLoadFinished));
}

} // namespace kelvaro
