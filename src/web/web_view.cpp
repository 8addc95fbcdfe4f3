// SPDX-License-Identifier: GPL-3.0-or-later
#include "web_view.h"

#include "component_folders.h"
#include "page_address.h"
#include "web_engine_surface.h"
#include "web_helper_surface.h"

#include <QCoreApplication>
#include <QDir>
#include <QPalette>
#include <QPluginLoader>
#include <QUrl>

namespace kelvaro {

namespace {

// The empty page: clears the view and silences it without creating the engine.
constexpr char16_t kBlankPage[] = u"about:blank";

constexpr char kPluginBaseName[] = "kelvaro_webengine";

// The engine plugin, from the first of webComponentFolders() that has it.
WebEngineFactory *engineFactory()
{
    static WebEngineFactory *factory = nullptr;
    static bool tried = false;
    if (tried)
        return factory;
    tried = true;

    for (const QString &folder : webComponentFolders()) {
        // Never unloaded: the engine cannot be shut down and started again.
        auto *loader = new QPluginLoader(QDir(folder).filePath(QLatin1String(kPluginBaseName)),
                                         QCoreApplication::instance());
        if (QObject *root = loader->instance()) {
            factory = qobject_cast<WebEngineFactory *>(root);
            if (factory)
                return factory;
        }
        delete loader;
    }
    return nullptr;
}

bool isBlank(const QString &address)
{
    return address == QString::fromUtf16(kBlankPage);
}

} // namespace

void prepareWebViewBeforeApplication()
{
    // See the header: the engine's view draws with the software scene graph.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    // The page's content for screen readers. The engine builds it only while
    // assistive technology is listening, and on Linux (Qt 6.4) even then only
    // where this variable is set. Set here, before any thread runs; the page
    // helper inherits it.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
}

WebView::WebView(QWidget *parent) : QWidget(parent)
{
    // A blank page is white; so is the view before the engine exists, and it
    // covers whatever lies under it (Frame1's border and caption).
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    // The view takes keyboard focus in its place in the window's tab order;
    // once the engine exists, the engine's own widget receives it.
    setFocusPolicy(Qt::TabFocus);

    m_discardTimer.setSingleShot(true);
    m_discardTimer.setInterval(kDefaultDiscardDelay);
    connect(&m_discardTimer, &QTimer::timeout, this, &WebView::discardIfHidden);
}

WebView::~WebView() = default;

bool WebView::isAllowedAddress(const QString &address)
{
    return isBlank(address) || isAllowedPageAddress(address);
}

void WebView::Navigate(const QString &address)
{
    if (!isAllowedAddress(address)) {
        // Not loaded: the view stays (or becomes) blank.
        if (m_surface)
            Navigate(QString::fromUtf16(kBlankPage));
        return;
    }
    if (isBlank(address)) {
        // Nothing to clear before the engine exists; a released renderer shows
        // nothing and plays nothing already.
        if (!m_surface || m_surface->isDiscarded())
            return;
        m_current = address;
        m_surface->load(QUrl(address));
        return;
    }
    if (!ensureEngine())
        return;
    if (m_surface->isDiscarded())
        m_surface->setDiscarded(false);
    if (!isShownInWindow())
        m_discardTimer.start();   // loaded while hidden: released in its turn
    m_current = address;
    m_surface->load(QUrl(address));
}

void WebView::setPageName(const QString &name)
{
    m_pageName = name;
    setAccessibleName(name);
    if (m_surface)
        m_surface->setPageName(name);
}

bool WebView::ensureEngine()
{
    if (m_surface)
        return true;
    if (m_engineFailed)
        return false;
    QPointer<WebView> self(this);
    auto onLoadFinished = [self](bool ok) {
        if (self)
            Q_EMIT self->loadFinished(ok);
    };
    // The engine in a helper program where its window can be embedded, so
    // that its memory goes when the page is released; in this process
    // otherwise.
    m_surface = HelperSurface::create(this, onLoadFinished);
    if (!m_surface) {
        WebEngineFactory *factory = engineFactory();
        if (!factory) {
            m_engineFailed = true;
            qWarning("kelvaro: the web engine plugin %s could not be loaded", kPluginBaseName);
            return false;
        }
        m_surface = factory->createSurface(this, onLoadFinished);
    }
    if (!m_surface) {
        m_engineFailed = true;
        return false;
    }
    m_engineWidget = m_surface->widget();
    if (!m_pageName.isEmpty())
        m_surface->setPageName(m_pageName);
    m_engineWidget->setGeometry(rect());
    setFocusProxy(m_engineWidget);
    m_engineWidget->show();
    Q_EMIT engineCreatedChanged();
    return true;
}

bool WebView::isDiscarded() const
{
    return m_surface && m_surface->isDiscarded();
}

bool WebView::isAudible() const
{
    return m_surface && m_surface->isAudible();
}

qint64 WebView::rendererPid() const
{
    return m_surface ? m_surface->rendererPid() : 0;
}

qint64 WebView::helperPid() const
{
    return m_surface ? m_surface->helperPid() : 0;
}

void WebView::setDiscardDelay(std::chrono::milliseconds delay)
{
    m_discardTimer.setInterval(delay);
}

std::chrono::milliseconds WebView::discardDelay() const
{
    return m_discardTimer.intervalAsDuration();
}

bool WebView::isShownInWindow() const
{
    return window() == this ? isVisible() : isVisibleTo(window());
}

void WebView::discardIfHidden()
{
    if (m_surface && !isShownInWindow() && !isVisible() && !m_surface->isDiscarded())
        m_surface->setDiscarded(true);
}

void WebView::showEvent(QShowEvent *event)
{
    m_discardTimer.stop();
    QWidget::showEvent(event);
}

void WebView::hideEvent(QHideEvent *event)
{
    // Only when the view itself or Frame1 is hidden. A window put away in the
    // notification area keeps its page: it may be the station playing.
    if (m_surface && !m_surface->isDiscarded() && !isShownInWindow())
        m_discardTimer.start();
    QWidget::hideEvent(event);
}

void WebView::resizeEvent(QResizeEvent *event)
{
    if (m_engineWidget)
        m_engineWidget->setGeometry(rect());
    QWidget::resizeEvent(event);
}

} // namespace kelvaro
