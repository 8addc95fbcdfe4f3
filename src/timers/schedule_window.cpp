// SPDX-License-Identifier: GPL-3.0-or-later
#include "schedule_window.h"

#include "listening.h"
#include "timer_dialog.h"
#include "timers.h"

#include <QCheckBox>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace kelvaro {

namespace {

// The streams of the list: a page has nothing to wake up to or record.
QList<Station> streamsOf(const Listening &listening)
{
    QList<Station> streams;
    for (const Station &station : listening.listedStations()) {
        if (!station.address.contains(kWebPageMarker))
            streams.append(station);
    }
    return streams;
}

}  // namespace

ScheduleWindow::ScheduleWindow(Timers &timers, Listening &listening, Autostart autostart, QWidget *parent)
    : QWidget(parent, Qt::Window), timers_(timers), listening_(listening), autostart_(std::move(autostart))
{
    setWindowTitle(QStringLiteral("定时任务"));
    resize(560, 320);
    auto *layout = new QVBoxLayout(this);

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("定时任务"));
    list_->setColumnCount(ColumnCount);
    list_->setHeaderLabels({QStringLiteral("下次"), QStringLiteral("类型"), QStringLiteral("时间"), QStringLiteral("电台")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setStretchLastSection(true);
    list_->installEventFilter(this);
    layout->addWidget(list_);

    auto *buttons = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("添加(&A)…"), this);
    auto *kinds = new QMenu(add_);
    kinds->addAction(QStringLiteral("闹钟…"), this, [this] { add(ScheduledEvent::Kind::Alarm); });
    kinds->addAction(QStringLiteral("定时录音…"), this, [this] { add(ScheduledEvent::Kind::Recording); });
    add_->setMenu(kinds);
    edit_ = new QPushButton(QStringLiteral("编辑(&E)…"), this);
    switch_ = new QPushButton(QStringLiteral("停用(&O)"), this);
    remove_ = new QPushButton(QStringLiteral("删除(&D)"), this);
    for (QPushButton *button : {add_, edit_, switch_, remove_})
        buttons->addWidget(button);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(edit_, &QPushButton::clicked, this, &ScheduleWindow::editCurrent);
    connect(switch_, &QPushButton::clicked, this, &ScheduleWindow::switchCurrent);
    connect(remove_, &QPushButton::clicked, this, &ScheduleWindow::removeCurrent);
    connect(list_, &QTreeWidget::itemActivated, this, &ScheduleWindow::editCurrent);
    connect(list_, &QTreeWidget::currentItemChanged, this, &ScheduleWindow::updateButtons);

    atLogin_ = new QCheckBox(QStringLiteral("登录时启动并隐藏到托盘"), this);
    atLogin_->setEnabled(false);  // until what the desktop holds is known
    layout->addWidget(atLogin_);
    // Named by what it says, so a screen reader hears it when it changes.
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setAccessibleDescription(QStringLiteral("提示"));
    layout->addWidget(note_);
    connect(atLogin_, &QCheckBox::clicked, this, &ScheduleWindow::setAutostart);

    connect(&timers_, &Timers::eventsChanged, this, &ScheduleWindow::refresh);
    refresh();
    // Whether the program starts at login is read off the UI thread.
    auto *read = new QFutureWatcher<bool>(this);
    connect(read, &QFutureWatcher<bool>::finished, this, [this, read] {
        read->deleteLater();
        atLogin_->setEnabled(true);
        showAutostart(read->result());
    });
    read->setFuture(QtConcurrent::run([ask = autostart_] { return ask(std::nullopt); }));
}

void ScheduleWindow::open()
{
    refresh();
    show();
    raise();
    activateWindow();
    list_->setFocus();
}

void ScheduleWindow::refresh()
{
    const qint64 was = current() ? current()->id : 0;
    shown_ = timers_.events();
    const QDateTime now = QDateTime::currentDateTime();
    list_->clear();
    for (const ScheduledEvent &event : std::as_const(shown_)) {
        const QDateTime next = nextOccurrence(event, now);
        QString nextText = next.isValid() ? next.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("已过");
        if (!event.enabled)
            nextText = QStringLiteral("已停用");
        QString kind = kindText(event.kind);
        if (event.kind == ScheduledEvent::Kind::Recording)
            kind += QStringLiteral(" %1 分钟").arg(event.minutes);
        auto *item = new QTreeWidgetItem(list_, {nextText, kind, scheduleText(event), event.stationName});
        item->setData(NextColumn, Qt::UserRole, event.id);
        if (event.id == was)
            list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    for (int c = 0; c < ColumnCount - 1; ++c)
        list_->resizeColumnToContents(c);
    updateButtons();
}

const ScheduledEvent *ScheduleWindow::current() const
{
    const QTreeWidgetItem *item = list_->currentItem();
    if (!item)
        return nullptr;
    const qint64 id = item->data(NextColumn, Qt::UserRole).toLongLong();
    for (const ScheduledEvent &event : shown_) {
        if (event.id == id)
            return &event;
    }
    return nullptr;
}

void ScheduleWindow::updateButtons()
{
    const ScheduledEvent *event = current();
    edit_->setEnabled(event);
    remove_->setEnabled(event);
    switch_->setEnabled(event);
    switch_->setText(event && !event->enabled ? QStringLiteral("启用(&O)") : QStringLiteral("停用(&O)"));
}

void ScheduleWindow::add(ScheduledEvent::Kind kind)
{
    ScheduledEvent start;
    start.kind = kind;
    if (!listening_.station().address.contains(kWebPageMarker)) {
        start.stationAddress = listening_.station().address;
        start.stationName = listening_.station().name;
    }
    // A one-off at the next whole hour by default.
    const QDateTime next = QDateTime::currentDateTime().addSecs(3600);
    start.date = next.date();
    start.time = QTime(next.time().hour(), 0);
    auto *dialog = new TimerDialog(kind == ScheduledEvent::Kind::Alarm ? QStringLiteral("添加闹钟")
                                                                       : QStringLiteral("添加定时录音"),
                                   start, streamsOf(listening_), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        timers_.save(dialog->event());
        offerAutostart();
    });
    dialog->open();
}

void ScheduleWindow::editCurrent()
{
    const ScheduledEvent *event = current();
    if (!event)
        return;
    auto *dialog = new TimerDialog(QStringLiteral("编辑定时任务"), *event, streamsOf(listening_), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        ScheduledEvent changed = dialog->event();
        changed.enabled = true;  // edited to come again
        timers_.save(changed);
        offerAutostart();
    });
    dialog->open();
}

void ScheduleWindow::switchCurrent()
{
    const ScheduledEvent *event = current();
    if (!event)
        return;
    ScheduledEvent changed = *event;
    changed.enabled = !changed.enabled;
    // A one-off that is past cannot come back on: it would ring at once.
    if (changed.enabled && changed.days == 0 && QDateTime(changed.date, changed.time) <= QDateTime::currentDateTime()) {
        editCurrent();
        return;
    }
    timers_.save(changed);
}

void ScheduleWindow::removeCurrent()
{
    const ScheduledEvent *event = current();
    if (!event)
        return;
    const qint64 id = event->id;
    auto *ask = new QMessageBox(QMessageBox::Question, QStringLiteral("删除定时任务"),
                                QStringLiteral("删除“%1 %2 %3”？").arg(kindText(event->kind), scheduleText(*event),
                                                                     event->stationName),
                                QMessageBox::Yes | QMessageBox::No, this);
    ask->button(QMessageBox::Yes)->setText(QStringLiteral("删除"));
    ask->button(QMessageBox::No)->setText(QStringLiteral("取消"));
    ask->setDefaultButton(QMessageBox::No);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask->button(QMessageBox::Yes), &QAbstractButton::clicked, this, [this, id] { timers_.remove(id); });
    ask->open();
}

void ScheduleWindow::offerAutostart()
{
    if (!offerAutostart_ || !atLogin_->isEnabled() || atLogin_->isChecked())
        return;
    offerAutostart_ = false;
    emit autostartOffered();
    auto *ask = new QMessageBox(QMessageBox::Question, QStringLiteral("定时任务"),
                                QStringLiteral("定时任务只在 Kelvaro 运行时执行。要在登录时启动 Kelvaro 并隐藏到托盘吗？"),
                                QMessageBox::Yes | QMessageBox::No, this);
    ask->button(QMessageBox::Yes)->setText(QStringLiteral("登录时启动"));
    ask->button(QMessageBox::No)->setText(QStringLiteral("不用"));
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask->button(QMessageBox::Yes), &QAbstractButton::clicked, this, [this] { setAutostart(true); });
    ask->open();
}

void ScheduleWindow::showAutostart(bool on)
{
    atLogin_->setChecked(on);
    const QString text = on ? QString() : QStringLiteral("定时任务只在 Kelvaro 运行时执行：关掉 Kelvaro 后，闹钟不会响，录音不会开始。");
    if (note_->text() != text)
        note_->setText(text);
    note_->setVisible(!on);
}

void ScheduleWindow::setAutostart(bool on)
{
    atLogin_->setEnabled(false);
    auto *write = new QFutureWatcher<bool>(this);
    connect(write, &QFutureWatcher<bool>::finished, this, [this, write] {
        write->deleteLater();
        atLogin_->setEnabled(true);
        showAutostart(write->result());
    });
    write->setFuture(QtConcurrent::run([ask = autostart_, on] {
        ask(on);
        return ask(std::nullopt);
    }));
}

bool ScheduleWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Insert:
            add();
            return true;
        case Qt::Key_Delete:
            removeCurrent();
            return true;
        case Qt::Key_Space:
            switchCurrent();
            return true;
        case Qt::Key_F2:
            editCurrent();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvaro
