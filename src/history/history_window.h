// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history_store.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelvaro {

class Listening;

// 播放记录: the titles heard, newest first, with their time and station. The
// search field narrows the list as the find window does (text or pinyin);
// a row's title can be copied and its station played again (double-click or
// Enter). The list follows new rows while the window is shown.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    HistoryWindow(HistoryStore &store, Listening &listening, QWidget *parent = nullptr);

    // Shows the window, raised, with the search field focused, and reads the
    // list afresh.
    void open();

    QLineEdit *searchField() const { return search_; }
    QTreeWidget *list() const { return list_; }

    // The row chosen in the list: its title to the clipboard, its station
    // played again (by the list's name when the list still has it).
    void copyTitle();
    void playAgain();
    // Asks, then deletes every row.
    void clearAll();

    enum Column { TimeColumn, TitleColumn, StationColumn, ColumnCount };

signals:
    // An answer of the store is on screen (for tests).
    void listShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    void showEntries(int request, const QList<HistoryEntry> &entries);
    void updateButtons();
    const HistoryEntry *current() const;

    HistoryStore &store_;
    Listening &listening_;
    QLineEdit *search_ = nullptr;
    QTreeWidget *list_ = nullptr;
    QLabel *status_ = nullptr;
    QPushButton *copy_ = nullptr;
    QPushButton *play_ = nullptr;
    QPushButton *clear_ = nullptr;
    QTimer *pause_ = nullptr;
    QList<HistoryEntry> shown_;  // the rows of the list, in its order
    int request_ = 0;            // the answer awaited
};

}  // namespace kelvaro
