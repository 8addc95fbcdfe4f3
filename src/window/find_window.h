// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "directory_client.h"
#include "station_search.h"

#include <QFutureWatcher>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelvaro {

class Form1;

// 找电台: finds stations in the user's own list (by name or pinyin) and in the
// station directory, plays one without adding it, and adds it to a category
// of the user's list. Typing searches after a short pause; a newer search
// replaces the one under way; the directory's answers come in pages of 100,
// the next one asked for when the list is scrolled to its end.
class FindWindow : public QWidget {
    Q_OBJECT
public:
    // `directory`: the client to use (made here when none is given).
    explicit FindWindow(Form1 &form, DirectoryClient *directory = nullptr, QWidget *parent = nullptr);
    ~FindWindow() override;

    // Shows the window, raised, with the search field focused.
    void open();

    // The list of results: own matches, then the directory's.
    QTreeWidget *results() const { return results_; }
    QLineEdit *searchField() const { return search_; }

    // Rows of the result list hold what a choice needs in these roles.
    enum Role { AddressRole = Qt::UserRole, UuidRole, OwnRole };

signals:
    // The directory's answer is on screen (for tests and benches).
    void resultsShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void searchSoon();
    void searchNow(bool nextPage);
    void showOwnMatches();
    void ensureIndex();
    void directoryAnswered(int search, const QList<DirectoryStation> &stations, bool more);
    void directoryFailed(int search, const QString &message);
    void filtersReady(DirectoryClient::FilterKind kind, const QList<DirectoryFilter> &filters);
    void listenToCurrent();
    void addCurrent();
    void updateButtons();
    void fillCategories();
    void showStatus(const QString &text);
    QTreeWidgetItem *currentStation() const;

    Form1 &form_;
    DirectoryClient *directory_ = nullptr;
    QLineEdit *search_ = nullptr;
    QComboBox *country_ = nullptr;
    QComboBox *language_ = nullptr;
    QComboBox *tag_ = nullptr;
    QCheckBox *showBroken_ = nullptr;
    QTreeWidget *results_ = nullptr;
    QTreeWidgetItem *ownGroup_ = nullptr;
    QTreeWidgetItem *directoryGroup_ = nullptr;
    QLabel *status_ = nullptr;
    QPushButton *listen_ = nullptr;
    QComboBox *category_ = nullptr;
    QPushButton *add_ = nullptr;
    QTimer *debounce_ = nullptr;

    DirectoryQuery query_;     // the directory search on screen or under way
    int searchNumber_ = 0;     // its number; 0 when none is under way
    bool more_ = false;        // the directory may have another page
    bool filtersAsked_ = false;
    QString lastCategory_;     // where the last station was added

    StationSearch own_;
    quint64 indexedGeneration_ = 0;  // the window's station generation the index was made from
    bool indexing_ = false;
    QFutureWatcher<StationSearch> indexWatcher_;
};

}  // namespace kelvaro
