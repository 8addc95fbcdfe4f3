// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "schedule_event.h"

#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace kelvaro {

class Listening;
class Timers;

// 定时任务: the alarms and recordings, soonest first, with their next time;
// adding (Insert), editing (Enter), switching off and on (Space) and
// removing (Delete) them, keyboard first. Below the list, the option to
// start at login hidden in the tray, and without it the plain word that
// timers fire only while Kelvaro runs.
class ScheduleWindow : public QWidget {
    Q_OBJECT
public:
    // `autostart` reads (and, given a value, sets) whether the program
    // starts at login; it is called off the UI thread.
    using Autostart = std::function<bool(std::optional<bool> set)>;

    ScheduleWindow(Timers &timers, Listening &listening, Autostart autostart, QWidget *parent = nullptr);

    void open();
    // Asks for a new timer (the dialog), for `kind`.
    void add(ScheduledEvent::Kind kind = ScheduledEvent::Kind::Alarm);
    void editCurrent();
    void switchCurrent();
    void removeCurrent();

    QTreeWidget *list() const { return list_; }

    enum Column { NextColumn, KindColumn, WhenColumn, StationColumn, ColumnCount };

    // The first timer set in this window while the program does not start
    // at login offers to start it so.
    void setOfferAutostart(bool offer) { offerAutostart_ = offer; }

signals:
    // Starting at login was offered (once is enough).
    void autostartOffered();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void updateButtons();
    void offerAutostart();
    void showAutostart(bool on);
    void setAutostart(bool on);
    const ScheduledEvent *current() const;

    Timers &timers_;
    Listening &listening_;
    Autostart autostart_;
    QList<ScheduledEvent> shown_;
    QTreeWidget *list_;
    QPushButton *add_;
    QPushButton *edit_;
    QPushButton *switch_;
    QPushButton *remove_;
    QCheckBox *atLogin_;
    QLabel *note_;
    bool offerAutostart_ = false;
};

}  // namespace kelvaro
