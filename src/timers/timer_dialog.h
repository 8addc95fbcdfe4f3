// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening.h"
#include "schedule_event.h"

#include <QCheckBox>
#include <QDialog>
#include <QList>

class QComboBox;
class QDateEdit;
class QDialogButtonBox;
class QLabel;
class QSpinBox;
class QTimeEdit;

namespace kelvaro {

// The small dialog for one timer: an alarm (闹钟) or a recording (定时录音),
// its station (typed or picked from the list), day and time, how it repeats,
// and the alarm's volume and rise or the recording's length. What cannot be
// kept is said under the fields as they are changed, and 确定 stays off
// until they are fine, as in the station dialog.
class TimerDialog : public QDialog {
    Q_OBJECT
public:
    TimerDialog(const QString &title, const ScheduledEvent &start, const QList<Station> &stations,
                QWidget *parent = nullptr);

    // The fields as an event (the id, enabled state and history of `start`).
    ScheduledEvent event() const;
    // Why the fields cannot be kept; empty when they can.
    QString problem() const;

private:
    enum Repeat { Once, Daily, Weekdays, Weekly, ChosenDays };
    void follow();

    ScheduledEvent start_;
    QList<Station> stations_;
    QComboBox *kind_;
    QComboBox *station_;
    QDateEdit *date_;
    QTimeEdit *time_;
    QComboBox *repeat_;
    QList<QCheckBox *> days_;
    QWidget *dayRow_;
    QSpinBox *minutes_;
    QSpinBox *volume_;
    QSpinBox *rise_;
    QLabel *problem_;
    QDialogButtonBox *buttons_;
};

}  // namespace kelvaro
