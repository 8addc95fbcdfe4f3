// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace kelvaro {

class AlarmRinger;

// While an alarm rings, a desktop notification (org.freedesktop.Notifications)
// says what rings, with the actions 停止 and 稍后提醒; it stays until the
// alarm ends, and goes then. Asynchronous: a slow or missing notification
// service never holds anything up.
class AlarmNotification : public QObject {
    Q_OBJECT
public:
    explicit AlarmNotification(AlarmRinger &ringer, QObject *parent = nullptr);

    // Starts following the alarm; false (and nothing is done) without a
    // session bus.
    bool start();

private slots:
    // The notification service's signals (connected by name).
    void onAction(uint id, const QString &action);
    void onClosed(uint id, uint reason);

private:
    void show(const QString &what);
    void close();

    AlarmRinger &ringer_;
    uint shownId_ = 0;
    bool ringing_ = false;
};

}  // namespace kelvaro
