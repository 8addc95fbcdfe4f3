// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

namespace kelvaro {

class WebEngineSurface;

// Must be called by main() before the QApplication is created. The engine is
// loaded from a plugin on the first page, after the application exists, so no
// OpenGL context is shared with it and its view draws with Qt Quick's software
// scene graph. This picks that scene graph for the whole program from the
// start (unless QT_QUICK_BACKEND is set), so that Qt Quick content made before
// the first page agrees with the engine's. Deliberately not set:
// Qt::AA_ShareOpenGLContexts, which would make an OpenGL context (and load the
// OpenGL driver) at start-up, the cost the plugin avoids. It also asks the
// engine for the page's content for screen readers.
void prepareWebViewBeforeApplication();

// The web view (WebBrowser1). Until the first navigation to a real page it is
// a plain white widget: the web engine is created only then. On X11 and
// Windows it runs in the helper program kelvaro-web, whose page window is
// embedded in the view; elsewhere (or with KELVARO_WEB_IN_PROCESS set) it is
// loaded into this process from the kelvaro_webengine plugin. Only http and
// https addresses and "about:blank" are loaded. While the view (or Frame1
// around it) is hidden for longer than the discard delay, the page is
// released: the helper ends (or, in process, the renderer is released); the
// next page brings it back. Hiding the whole window does not release it.
class WebView : public QWidget
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultDiscardDelay{30000};

    explicit WebView(QWidget *parent = nullptr);
    ~WebView() override;

    // Loads the address exactly as given ("html#1" included). "about:blank"
    // clears the view and silences the page; refused addresses blank it.
    void Navigate(const QString &address);

    // What assistive technology calls the view and the page's window (the
    // station's name while its page shows).
    void setPageName(const QString &name);

    // True when address is one the view will load.
    static bool isAllowedAddress(const QString &address);

    // Creates the engine now instead of on the first page (for comparison
    // runs); false when the engine plugin cannot be loaded.
    bool preloadEngine() { return ensureEngine(); }

    bool engineCreated() const { return m_surface != nullptr; }
    bool isDiscarded() const;
    qint64 rendererPid() const;
    // The helper program's process id; 0 while there is none (or the engine
    // lives in this process).
    qint64 helperPid() const;
    // True while the page plays sound (the engine's "recently audible").
    bool isAudible() const;
    // The last address loaded into the engine ("" before the engine exists).
    QString currentAddress() const { return m_current; }

    void setDiscardDelay(std::chrono::milliseconds delay);
    std::chrono::milliseconds discardDelay() const;

Q_SIGNALS:
    void loadFinished(bool ok);
    void engineCreatedChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool ensureEngine();
    // False while the view or a container below its window (Frame1) is hidden.
    bool isShownInWindow() const;
    void discardIfHidden();

    WebEngineSurface *m_surface = nullptr; // owned through its widget (our child)
    QPointer<QWidget> m_engineWidget;
    QTimer m_discardTimer;
    QString m_current;
    QString m_pageName;
    bool m_engineFailed = false;
};

} // namespace kelvaro
