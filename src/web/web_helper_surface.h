// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "web_engine_surface.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

class QProcess;

namespace kelvaro {

// The web engine in the helper program kelvaro-web: this widget is a native
// child window that the helper's page window is placed into, so the page
// shows in it exactly as an in-process view would, clipped by the windows
// around it. The helper is started with the first page and ended when the
// page is released (setDiscarded(true)); all of the engine's memory goes with
// it. Messages to and from the helper never make the event loop wait.
class HelperSurface : public QWidget, public WebEngineSurface
{
    Q_OBJECT
public:
    // Null when no helper can be used here (see available()).
    static HelperSurface *create(QWidget *parent, std::function<void(bool)> onLoadFinished);
    // True when the helper program exists and the window system lets another
    // program's window live inside ours (X11 and Windows; not Wayland, not
    // offscreen), and KELVARO_WEB_IN_PROCESS is not set.
    static bool available();

    ~HelperSurface() override;

    QWidget *widget() override { return this; }
    void load(const QUrl &url) override;
    void setDiscarded(bool discarded) override;
    bool isDiscarded() const override;
    bool isAudible() const override { return m_audible; }
    qint64 rendererPid() const override { return m_rendererPid; }
    void setPageName(const QString &name) override;
    qint64 helperPid() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    HelperSurface(QWidget *parent, std::function<void(bool)> onLoadFinished);
    bool start();
    void send(const QByteArray &line);
    void sendPageName();
    void readMessages(QProcess *process);
    void ended(QProcess *process);

    std::function<void(bool)> m_onLoadFinished;
    QProcess *m_process = nullptr;     // the running helper, null while released
    QList<QPointer<QProcess>> m_ending; // helpers asked to end, not yet gone
    QString m_pageName;
    bool m_audible = false;
    qint64 m_rendererPid = 0;
    bool m_focusFromHelper = false;
    // Window system time of the last mouse press in this window outside the
    // page (the page's own go to the helper); 0 before the first.
    quint64 m_lastPressInWindow = 0;
    // Window system time of the key press in this window being handled now
    // (a Tab that moves the keyboard to the page); 0 between keys.
    quint64 m_keyTime = 0;
};

} // namespace kelvaro
