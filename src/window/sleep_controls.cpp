// SPDX-License-Identifier: GPL-3.0-or-later
#include "sleep_controls.h"

#include "mini_controls.h"
#include "sleep_timer.h"
#include "sys_tray.h"

#include <QAction>
#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QWidget>

namespace kelvaro {

namespace {

constexpr int kLengths[] = {15, 30, 45, 60, 90};
constexpr int kLongest = 24 * 60;

}  // namespace

SleepControls::SleepControls(QWidget &window, SleepTimer &timer, MiniControls &player, SysTray &tray)
    : QObject(&window), window_(window), timer_(timer), player_(player), tray_(tray)
{
    menu_ = new QMenu(QStringLiteral("睡眠定时"), &window);
    lengths_ = new QActionGroup(this);
    lengths_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int minutes : kLengths) {
        QAction *item = menu_->addAction(QStringLiteral("%1 分钟").arg(minutes));
        item->setCheckable(true);
        lengths_->addAction(item);
        connect(item, &QAction::triggered, this, [this, minutes] {
            chosenMinutes_ = minutes;
            timer_.start(std::chrono::minutes(minutes));
        });
    }
    custom_ = menu_->addAction(QStringLiteral("自定义…"));
    custom_->setCheckable(true);
    lengths_->addAction(custom_);
    connect(custom_, &QAction::triggered, this, &SleepControls::askLength);
    songEnd_ = menu_->addAction(QStringLiteral("本曲结束后"));
    songEnd_->setCheckable(true);
    lengths_->addAction(songEnd_);
    connect(songEnd_, &QAction::triggered, this, [this] {
        chosenMinutes_ = 0;
        timer_.startAtSongEnd();
    });
    menu_->addSeparator();
    off_ = menu_->addAction(QStringLiteral("关闭睡眠定时"), &timer_, &SleepTimer::cancel);
    inStatus_ = menu_->addAction(QStringLiteral("在状态栏显示剩余时间"));
    inStatus_->setCheckable(true);
    connect(inStatus_, &QAction::toggled, this, &SleepControls::follow);
    connect(&timer_, &SleepTimer::changed, this, &SleepControls::follow);
    follow();
}

QAction *SleepControls::menuAction() const
{
    return menu_->menuAction();
}

void SleepControls::askLength()
{
    // Not modal for the program: what plays, and the window, go on.
    auto *ask = new QInputDialog(&window_);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowTitle(QStringLiteral("睡眠定时"));
    ask->setLabelText(QStringLiteral("多少分钟后停止播放："));
    ask->setInputMode(QInputDialog::IntInput);
    ask->setIntRange(1, kLongest);
    ask->setIntValue(chosenMinutes_ > 0 ? chosenMinutes_ : 20);
    connect(ask, &QInputDialog::intValueSelected, this, [this](int minutes) {
        chosenMinutes_ = -1;  // not one of the menu's lengths
        timer_.start(std::chrono::minutes(minutes));
    });
    connect(ask, &QDialog::rejected, this, &SleepControls::follow);
    ask->open();
}

void SleepControls::follow()
{
    const bool active = timer_.isActive();
    // The menu marks what is set: a length of its own, 自定义, or 本曲结束后.
    QAction *marked = nullptr;
    if (timer_.atSongEnd()) {
        marked = songEnd_;
    } else if (active) {
        marked = custom_;
        const QList<QAction *> items = lengths_->actions();
        for (qsizetype i = 0; i < qsizetype(std::size(kLengths)); ++i) {
            if (kLengths[i] == chosenMinutes_)
                marked = items[i];
        }
    }
    for (QAction *item : lengths_->actions())
        item->setChecked(item == marked);
    off_->setEnabled(active);
    const QString text = timer_.text();
    tray_.setTipLine(QStringLiteral("sleep"), text);
    const bool shown = active && inStatus_->isChecked();
    player_.setTimerText(shown ? text : QString(), shown ? QStringLiteral("睡眠定时") : QString());
}

}  // namespace kelvaro
