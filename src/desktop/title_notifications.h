// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop_window.h"

#include <QObject>
#include <QString>

#include <memory>

namespace kelvaro {

// Tells the user of a new stream title while the window is hidden in the
// notification area, and only then: a desktop notification
// (org.freedesktop.Notifications on the session bus) with the station's name
// as its summary and the title as its body. Each one replaces the one
// before instead of piling up. Every call is asynchronous, so a slow or
// missing notification service never holds up the window; without one,
// nothing is shown and nothing is kept for later.
class TitleNotifications : public QObject {
    Q_OBJECT
public:
    explicit TitleNotifications(DesktopWindow &window, QObject *parent = nullptr);
    ~TitleNotifications() override;

    // Starts watching the titles. False (and nothing is done) without a
    // session bus.
    bool start();

private:
    void onTitleChanged(const QString &title);
    void sendNext();

    DesktopWindow &window_;
    // The notification on the screen (0: none yet), replaced by the next.
    uint shownId_ = 0;
    // At most one call on its way; a newer title waits for its answer (so
    // that it can replace what that call showed), and only the newest waits.
    bool callPending_ = false;
    QString nextSummary_;
    QString nextBody_;
};

}  // namespace kelvaro
