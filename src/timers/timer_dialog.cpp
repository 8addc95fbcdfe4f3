// SPDX-License-Identifier: GPL-3.0-or-later
#include "timer_dialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>

namespace kelvaro {

namespace {

const QString kDayNames[] = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"), QStringLiteral("四"),
                             QStringLiteral("五"), QStringLiteral("六"), QStringLiteral("日")};

}  // namespace

TimerDialog::TimerDialog(const QString &title, const ScheduledEvent &start, const QList<Station> &stations,
                         QWidget *parent)
    : QDialog(parent), start_(start), stations_(stations)
{
    setWindowTitle(title);
    auto *form = new QFormLayout(this);

    kind_ = new QComboBox(this);
    kind_->addItems({QStringLiteral("闹钟"), QStringLiteral("定时录音")});
    kind_->setCurrentIndex(start.kind == ScheduledEvent::Kind::Recording ? 1 : 0);
    form->addRow(QStringLiteral("类型(&K)："), kind_);

    // Typed or picked: a name completes from the list, any case, anywhere.
    station_ = new QComboBox(this);
    station_->setEditable(true);
    station_->setInsertPolicy(QComboBox::NoInsert);
    for (const Station &station : stations_)
        station_->addItem(station.name, station.address);
    station_->completer()->setFilterMode(Qt::MatchContains);
    station_->completer()->setCompletionMode(QCompleter::PopupCompletion);
    const int at = station_->findData(start.stationAddress);
    if (at >= 0)
        station_->setCurrentIndex(at);
    else
        station_->setEditText(start.stationName);
    form->addRow(QStringLiteral("电台(&S)："), station_);

    const QDateTime now = QDateTime::currentDateTime();
    date_ = new QDateEdit(start.date.isValid() ? start.date : now.date(), this);
    date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    date_->setCalendarPopup(true);
    form->addRow(QStringLiteral("日期(&D)："), date_);
    time_ = new QTimeEdit(start.time.isValid() ? start.time : QTime(7, 0), this);
    time_->setDisplayFormat(QStringLiteral("HH:mm"));
    form->addRow(QStringLiteral("时间(&T)："), time_);

    repeat_ = new QComboBox(this);
    repeat_->addItems({QStringLiteral("一次"), QStringLiteral("每天"), QStringLiteral("工作日"), QStringLiteral("每周"),
                       QStringLiteral("自选星期")});
    if (start.days == 0)
        repeat_->setCurrentIndex(Once);
    else if (start.days == kEveryDay)
        repeat_->setCurrentIndex(Daily);
    else if (start.days == kWeekdays)
        repeat_->setCurrentIndex(Weekdays);
    else if (start.date.isValid() && start.days == dayBit(start.date.dayOfWeek()))
        repeat_->setCurrentIndex(Weekly);
    else
        repeat_->setCurrentIndex(ChosenDays);
    form->addRow(QStringLiteral("重复(&R)："), repeat_);
    dayRow_ = new QWidget(this);
    auto *dayLayout = new QHBoxLayout(dayRow_);
    dayLayout->setContentsMargins(0, 0, 0, 0);
    for (int d = 1; d <= 7; ++d) {
        auto *box = new QCheckBox(kDayNames[d - 1], dayRow_);
        box->setAccessibleName(QStringLiteral("星期") + kDayNames[d - 1]);
        box->setChecked(start.days & dayBit(d));
        dayLayout->addWidget(box);
        days_.append(box);
        connect(box, &QCheckBox::toggled, this, &TimerDialog::follow);
    }
    form->addRow(QStringLiteral("星期："), dayRow_);

    minutes_ = new QSpinBox(this);
    minutes_->setRange(1, 24 * 60);
    minutes_->setSuffix(QStringLiteral(" 分钟"));
    minutes_->setValue(start.minutes > 0 ? start.minutes : 60);
    form->addRow(QStringLiteral("时长(&L)："), minutes_);
    volume_ = new QSpinBox(this);
    volume_->setRange(1, 100);
    volume_->setValue(start.volume > 0 ? start.volume : 70);
    form->addRow(QStringLiteral("音量(&V)："), volume_);
    rise_ = new QSpinBox(this);
    rise_->setRange(0, 30 * 60);
    rise_->setSuffix(QStringLiteral(" 秒"));
    rise_->setValue(start.riseSeconds);
    form->addRow(QStringLiteral("渐强(&I)："), rise_);

    // Named by the reason it shows (no name of its own), so that a screen
    // reader hears each new reason as it comes.
    problem_ = new QLabel(this);
    problem_->setWordWrap(true);
    problem_->setAccessibleDescription(QStringLiteral("提示"));
    form->addRow(problem_);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    form->addRow(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (QComboBox *box : {kind_, repeat_})
        connect(box, &QComboBox::currentIndexChanged, this, &TimerDialog::follow);
    connect(station_, &QComboBox::editTextChanged, this, &TimerDialog::follow);
    connect(date_, &QDateEdit::dateChanged, this, &TimerDialog::follow);
    connect(time_, &QTimeEdit::timeChanged, this, &TimerDialog::follow);
    follow();
    station_->setFocus();
}

ScheduledEvent TimerDialog::event() const
{
    ScheduledEvent event = start_;
    event.kind = kind_->currentIndex() == 1 ? ScheduledEvent::Kind::Recording : ScheduledEvent::Kind::Alarm;
    // The text typed is what counts: a station of the list by its name.
    const int at = station_->findText(station_->currentText().trimmed(), Qt::MatchFixedString);
    event.stationAddress = at >= 0 ? station_->itemData(at).toString() : QString();
    event.stationName = at >= 0 ? station_->itemText(at) : station_->currentText().trimmed();
    event.date = date_->date();
    event.time = QTime(time_->time().hour(), time_->time().minute());
    switch (repeat_->currentIndex()) {
    case Once:
        event.days = 0;
        break;
    case Daily:
        event.days = kEveryDay;
        break;
    case Weekdays:
        event.days = kWeekdays;
        break;
    case Weekly:
        event.days = dayBit(event.date.dayOfWeek());
        break;
    default:
        event.days = 0;
        for (int d = 1; d <= 7; ++d) {
            if (days_[d - 1]->isChecked())
                event.days |= dayBit(d);
        }
    }
    event.minutes = minutes_->value();
    event.volume = volume_->value();
    event.riseSeconds = rise_->value();
    return event;
}

QString TimerDialog::problem() const
{
    const ScheduledEvent e = event();
    if (e.stationAddress.isEmpty())
        return station_->currentText().trimmed().isEmpty() ? QStringLiteral("请选择电台。")
                                                           : QStringLiteral("列表中没有这个电台。");
    if (repeat_->currentIndex() == ChosenDays && e.days == 0)
        return QStringLiteral("请至少选择一天。");
    if (e.days == 0 && QDateTime(e.date, e.time) <= QDateTime::currentDateTime())
        return QStringLiteral("这个时间已经过去了。");
    return {};
}

void TimerDialog::follow()
{
    const bool recording = kind_->currentIndex() == 1;
    const int repeat = repeat_->currentIndex();
    // Only what the kind and the repeat use can be changed.
    minutes_->setEnabled(recording);
    volume_->setEnabled(!recording);
    rise_->setEnabled(!recording);
    date_->setEnabled(repeat == Once || repeat == Weekly);
    dayRow_->setEnabled(repeat == ChosenDays);
    const QString why = problem();
    if (problem_->text() != why)
        problem_->setText(why);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
}

}  // namespace kelvaro
