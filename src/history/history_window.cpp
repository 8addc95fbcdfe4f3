// SPDX-License-Identifier: GPL-3.0-or-later
#include "history_window.h"

#include "listening.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvaro {

namespace {

const QString kTitle = QStringLiteral("播放记录");
constexpr int kPause = 200;  // ms of no typing before the list is searched
constexpr int kRowRole = Qt::UserRole;  // the row's place in shown_

}  // namespace

HistoryWindow::HistoryWindow(HistoryStore &store, Listening &listening, QWidget *parent)
    : QWidget(parent, Qt::Window), store_(store), listening_(listening)
{
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    resize(640, 440);

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("按标题或电台查找，可用拼音"));
    search_->setAccessibleName(QStringLiteral("查找记录"));
    search_->setClearButtonEnabled(true);
    search_->installEventFilter(this);

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(kTitle);
    list_->setColumnCount(ColumnCount);
    list_->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("标题"), QStringLiteral("电台")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(TitleColumn, QHeaderView::Stretch);
    list_->setColumnWidth(TimeColumn, 140);
    list_->setColumnWidth(StationColumn, 150);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    list_->installEventFilter(this);

    // Named by its message, so that screen readers hear each new one (see
    // the find window's status line).
    status_ = new QLabel(this);
    status_->setAccessibleDescription(QStringLiteral("状态"));
    copy_ = new QPushButton(QStringLiteral("复制标题"), this);
    copy_->setToolTip(QStringLiteral("Ctrl+C"));
    play_ = new QPushButton(QStringLiteral("重新播放"), this);
    play_->setToolTip(QStringLiteral("Enter"));
    clear_ = new QPushButton(QStringLiteral("清空记录…"), this);

    // The list's menu does what the buttons do.
    auto *copyAction = new QAction(copy_->text(), list_);
    auto *playAction = new QAction(play_->text(), list_);
    auto *clearAction = new QAction(clear_->text(), list_);
    list_->addActions({playAction, copyAction, clearAction});
    connect(copyAction, &QAction::triggered, this, &HistoryWindow::copyTitle);
    connect(playAction, &QAction::triggered, this, &HistoryWindow::playAgain);
    connect(clearAction, &QAction::triggered, this, &HistoryWindow::clearAll);

    auto *actions = new QHBoxLayout;
    actions->addWidget(status_, 1);
    actions->addWidget(copy_);
    actions->addWidget(play_);
    actions->addWidget(clear_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(list_, 1);
    layout->addLayout(actions);

    pause_ = new QTimer(this);
    pause_->setSingleShot(true);
    pause_->setInterval(kPause);
    connect(pause_, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(search_, &QLineEdit::textChanged, pause_, qOverload<>(&QTimer::start));
    connect(search_, &QLineEdit::returnPressed, this, &HistoryWindow::refresh);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &HistoryWindow::playAgain);
    connect(list_, &QTreeWidget::currentItemChanged, this, &HistoryWindow::updateButtons);
    connect(copy_, &QPushButton::clicked, this, &HistoryWindow::copyTitle);
    connect(play_, &QPushButton::clicked, this, &HistoryWindow::playAgain);
    connect(clear_, &QPushButton::clicked, this, &HistoryWindow::clearAll);

    connect(&store_, &HistoryStore::found, this, &HistoryWindow::showEntries);
    // New rows, and none after clearing: the list is read again (a window
    // closed keeps its list current too; reading 500 rows is cheap and
    // titles come minutes apart).
    connect(&store_, &HistoryStore::added, this, &HistoryWindow::refresh);
    connect(&store_, &HistoryStore::cleared, this, &HistoryWindow::refresh);
    connect(&store_, &HistoryStore::opened, this, &HistoryWindow::refresh);
    updateButtons();
}

void HistoryWindow::open()
{
    QWidget::show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    search_->setFocus(Qt::OtherFocusReason);
    search_->selectAll();
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void HistoryWindow::refresh()
{
    pause_->stop();
    request_ = store_.find(search_->text());
}

void HistoryWindow::showEntries(int request, const QList<HistoryEntry> &entries)
{
    if (request != request_)
        return;  // a newer search is under way
    // The row chosen stays chosen when rows come or go around it.
    const HistoryEntry *chosen = current();
    const qint64 chosenId = chosen ? chosen->id : 0;
    shown_ = entries;
    list_->setUpdatesEnabled(false);
    list_->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(entries.size());
    QTreeWidgetItem *again = nullptr;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const HistoryEntry &entry = entries[i];
        const QString time = QDateTime::fromSecsSinceEpoch(entry.time).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        auto *row = new QTreeWidgetItem({time, entry.title, entry.stationName});
        row->setData(0, kRowRole, int(i));
        row->setToolTip(TitleColumn, entry.title);
        row->setToolTip(StationColumn, entry.stationName + u'\n' + entry.stationAddress);
        if (entry.id == chosenId)
            again = row;
        rows.append(row);
    }
    list_->addTopLevelItems(rows);
    if (again)
        list_->setCurrentItem(again);
    list_->setUpdatesEnabled(true);

    if (store_.failed())
        status_->setText(QStringLiteral("无法打开播放记录文件 %1").arg(store_.path()));
    else if (entries.isEmpty())
        status_->setText(search_->text().trimmed().isEmpty() ? QStringLiteral("还没有播放记录")
                                                             : QStringLiteral("没有找到符合的记录"));
    else if (entries.size() >= HistoryStore::kShownRows)
        status_->setText(QStringLiteral("显示最近的 %1 条").arg(entries.size()));
    else
        status_->setText(QStringLiteral("共 %1 条").arg(entries.size()));
    updateButtons();
    emit listShown();
}

const HistoryEntry *HistoryWindow::current() const
{
    const QTreeWidgetItem *item = list_->currentItem();
    if (!item)
        return nullptr;
    const int at = item->data(0, kRowRole).toInt();
    return at >= 0 && at < shown_.size() ? &shown_[at] : nullptr;
}

void HistoryWindow::copyTitle()
{
    if (const HistoryEntry *entry = current())
        QApplication::clipboard()->setText(entry->title);
}

void HistoryWindow::playAgain()
{
    const HistoryEntry *entry = current();
    if (!entry)
        return;
    // As the find window plays: the list's own station when it has this
    // address, else the station as it was heard, in no category.
    if (!listening_.chooseListed(entry->stationAddress))
        listening_.choose({entry->stationAddress, entry->stationName, {}});
}

void HistoryWindow::clearAll()
{
    const auto answer = QMessageBox::question(this, QStringLiteral("清空记录"),
                                              QStringLiteral("删除全部播放记录？删除后无法恢复。"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        store_.clear();
}

void HistoryWindow::updateButtons()
{
    const bool chosen = current() != nullptr;
    copy_->setEnabled(chosen);
    play_->setEnabled(chosen);
    clear_->setEnabled(!shown_.isEmpty() || !search_->text().trimmed().isEmpty());
    for (QAction *action : list_->actions()) {
        if (action->text() != clear_->text())
            action->setEnabled(chosen);
    }
}

bool HistoryWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (watched == search_ && key->key() == Qt::Key_Down && list_->topLevelItemCount() > 0) {
        // Down from the search field goes to the newest row.
        if (!list_->currentItem())
            list_->setCurrentItem(list_->topLevelItem(0));
        list_->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == list_ && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        playAgain();
        return true;
    }
    if (watched == list_ && key->matches(QKeySequence::Copy)) {
        // The title, not the cell the list would copy.
        copyTitle();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvaro
