// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The boundary between the light web view (linked into the program) and the
// web engine, which lives in a plugin loaded on the first real page so that a
// program that never shows a page never maps Qt WebEngine at all.

#include <QtPlugin>
#include <QUrl>

#include <functional>

class QWidget;

namespace kelvaro {

// One engine view with its page and private (off-the-record) profile.
class WebEngineSurface
{
public:
    virtual ~WebEngineSurface() = default;
    // The engine's widget; a child of the parent given to createSurface.
    virtual QWidget *widget() = 0;
    // Loads an address that the caller has already checked.
    virtual void load(const QUrl &url) = 0;
    // Releases the page's renderer (true) or brings it back (false).
    virtual void setDiscarded(bool discarded) = 0;
    virtual bool isDiscarded() const = 0;
    // True while the page plays sound (or did within the last moments).
    virtual bool isAudible() const = 0;
    // Process id of the page's renderer, 0 while there is none.
    virtual qint64 rendererPid() const = 0;
    // What assistive technology calls the page's window where the page lives
    // in a window of its own (the station's name); in this process the web
    // view around the engine carries the name.
    virtual void setPageName(const QString &) {}
    // Process id of the helper program that holds the engine, 0 when the
    // engine lives in this process or the helper has ended.
    virtual qint64 helperPid() const { return 0; }
};

class WebEngineFactory
{
public:
    virtual ~WebEngineFactory() = default;
    // onLoadFinished is called with the result of every finished load.
    virtual WebEngineSurface *createSurface(QWidget *parent,
                                            std::function<void(bool)> onLoadFinished) = 0;
};

} // namespace kelvaro

#define KELVARO_WEBENGINE_FACTORY_IID "org.kelvaro.WebEngineFactory/1"
Q_DECLARE_INTERFACE(kelvaro::WebEngineFactory, KELVARO_WEBENGINE_FACTORY_IID)
