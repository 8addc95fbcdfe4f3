// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "web_engine_surface.h"

#include <QObject>

namespace kelvaro {

// The plugin's root object: makes engine views for WebView.
class WebEnginePlugin : public QObject, public WebEngineFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KELVARO_WEBENGINE_FACTORY_IID)
    Q_INTERFACES(kelvaro::WebEngineFactory)
public:
    WebEngineSurface *createSurface(QWidget *parent,
                                    std::function<void(bool)> onLoadFinished) override;
};

} // namespace kelvaro
