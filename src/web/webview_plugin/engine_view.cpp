// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_view.h"

#include <QWebEngineDownloadRequest>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QApplication>
#include <QOpenGLContext>
#include <QQuickWindow>

// Qt's global OpenGL share context, which the engine expects to exist (it
// reads its format even when it draws without OpenGL).
Q_DECL_IMPORT QOpenGLContext *qt_gl_global_share_context();
Q_DECL_IMPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

// Sets up that context for the engine; normally run at start when the
// program is linked to the engine, here on first use.
namespace QtWebEngineCore {
Q_DECL_IMPORT void initialize();
}

namespace kelvaro {

namespace {

bool isLoadableScheme(const QUrl &url, bool mainFrame)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return true;
    if (url.toString() == QLatin1String("about:blank"))
        return true;
    // Inner frames of a web page may also use the page's own inline kinds.
    if (!mainFrame)
        return scheme == QLatin1String("about") || scheme == QLatin1String("data")
            || scheme == QLatin1String("blob");
    return false;
}

// A page that only shows: it opens no windows and no dialogs, reads no local
// files and is granted no permission.
class RestrictedPage : public QWebEnginePage
{
public:
    RestrictedPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent)
    {
        connect(this, &QWebEnginePage::featurePermissionRequested, this,
                [this](const QUrl &origin, Feature feature) {
                    setFeaturePermission(origin, feature, PermissionDeniedByUser);
                });
        connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
                [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
                [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::fullScreenRequested, this,
                [](QWebEngineFullScreenRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::newWindowRequested, this,
                [](QWebEngineNewWindowRequest &) { /* not opened */ });
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return isLoadableScheme(url, isMainFrame);
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
    QStringList chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) override
    {
        return {};
    }
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override
    {
        return false;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
    }
};

class EngineView : public QWebEngineView, public WebEngineSurface
{
public:
    EngineView(QWidget *parent, std::function<void(bool)> onLoadFinished)
        : QWebEngineView(parent)
    {
        // Off the record: nothing is written to disk.
        m_profile = new QWebEngineProfile(this);
        m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        m_profile->setSpellCheckEnabled(false);
        connect(m_profile, &QWebEngineProfile::downloadRequested, this,
                [](QWebEngineDownloadRequest *download) { download->cancel(); });

        QWebEngineSettings *s = m_profile->settings();
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
        s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
        s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
        s->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
        s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
        s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        s->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
        // Many stations' pages are players: let them start without a click.
        s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);

        m_page = new RestrictedPage(m_profile, this);
        setPage(m_page);
        setContextMenuPolicy(Qt::NoContextMenu);
        setAcceptDrops(false);
        connect(m_page, &QWebEnginePage::loadFinished, this,
                [cb = std::move(onLoadFinished)](bool ok) {
                    if (cb)
                        cb(ok);
                });
    }

    ~EngineView() override
    {
        // The page must go before its profile.
        setPage(nullptr);
        delete m_page;
        delete m_profile;
    }

    QWidget *widget() override { return this; }
    void load(const QUrl &url) override { m_page->load(url); }
    void setDiscarded(bool discarded) override
    {
        m_page->setLifecycleState(discarded ? QWebEnginePage::LifecycleState::Discarded
                                            : QWebEnginePage::LifecycleState::Active);
    }
    bool isDiscarded() const override
    {
        return m_page->lifecycleState() == QWebEnginePage::LifecycleState::Discarded;
    }
    bool isAudible() const override { return m_page->recentlyAudible(); }
    qint64 rendererPid() const override { return m_page->renderProcessPid(); }

private:
    QWebEngineProfile *m_profile = nullptr;
    RestrictedPage *m_page = nullptr;
};

} // namespace

WebEngineSurface *createEngineSurface(QWidget *parent, std::function<void(bool)> onLoadFinished)
{
    static const bool initialized = [] {
        if (!qt_gl_global_share_context()) {
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
            // Loaded after the application object exists, the engine has no
            // OpenGL context to share: its views draw with Qt Quick's software
            // scene graph, and Chromium composites in software. The engine
            // still asks the global share context for its format; one that is
            // never created answers without making a context nobody uses.
            qt_gl_set_global_share_context(new QOpenGLContext(qApp));
        } else {
            QtWebEngineCore::initialize();
        }
        return true;
    }();
    Q_UNUSED(initialized);
    return new EngineView(parent, std::move(onLoadFinished));
}

} // namespace kelvaro
