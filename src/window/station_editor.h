// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_list_store.h"

#include <QObject>
#include <QPointer>

#include <QList>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QMimeData;
class QTreeWidgetItem;

namespace kelvaro {

class Form1;

// Editing the user's stations from the tree: its context menu (right click,
// the Menu key, Shift+F10), the keys F2, Delete, Alt+Up, Alt+Down, Ctrl+Z,
// and dragging a station to another place or category. The edits go to the
// user's own list through a StationListStore, made at the first edit, and
// the tree is filled again, in place, once an edit is on disk.
class StationEditor : public QObject {
    Q_OBJECT
public:
    // `shownPath`: the list the window shows.
    StationEditor(Form1 &form, const QString &shownPath);
    ~StationEditor() override;

    // The list edits go to: the user's own (made at the first edit), or
    // where there is none (Windows) the list shown.
    QString ownPath() const;

    // Opens the new-station dialog, filled in, for the category of the
    // current node (the first category when there is none).
    void newStation(const StationRecord &prefill);

    QMenu *contextMenu() const { return menu_; }

    // Applies an edit to the user's list (off the UI thread) and fills the
    // tree again once it is on disk; every edit of the menu goes this way.
    // `done`, if given, is called with this edit's own outcome (edits made
    // meanwhile elsewhere have theirs).
    using Done = std::function<void(const StationListStore::Outcome &)>;
    void apply(StationListStore::Edit edit, Done done = {});

    // Something dropped on the window or pasted: an address opens the
    // new-station dialog filled in; a playlist file with one station too,
    // one with several is imported into the current category.
    void take(const QMimeData *data);
    // An option of the program's, at the end of the tree's menu.
    void addOption(QAction *option) { addOptions({option}); }
    void addOptions(const QList<QAction *> &options);
    bool canTake(const QMimeData *data) const;

signals:
    // An edit's outcome has been shown; for tests and benches.
    void editFinished(const kelvaro::StationListStore::Outcome &outcome);

private:
    void showMenu(const QPoint &where);
    void updateActions();
    QTreeWidgetItem *current() const;
    QString categoryOfCurrent() const;
    void editCurrent();
    void removeCurrent();
    void moveCurrent(int step);
    void newCategory();
    void renameCategory();
    void removeCategory();
    void importPlaylist();
    void readPlaylistFile(const QString &path);
    void addFromPlaylist(const QString &fileName, const QByteArray &data);
    void finished(const StationListStore::Outcome &outcome);
    void tell(const QString &message, bool warning);

    Form1 &form_;
    const QString shownPath_;
    std::unique_ptr<StationListStore> store_;
    // One entry for each edit or undo sent to the store and not yet finished,
    // in order: the store finishes them in the order they were sent.
    QList<Done> pending_;
    // The address a pending edit gives the station that plays, if it changes it.
    QString playingBefore_;
    QString playingAfter_;
    QMenu *menu_ = nullptr;
    QAction *play_ = nullptr;
    QAction *newStation_ = nullptr;
    QAction *edit_ = nullptr;
    QAction *remove_ = nullptr;
    QAction *up_ = nullptr;
    QAction *down_ = nullptr;
    QAction *newCategory_ = nullptr;
    QAction *renameCategory_ = nullptr;
    QAction *removeCategory_ = nullptr;
    QAction *undo_ = nullptr;
    QAction *paste_ = nullptr;
    QAction *import_ = nullptr;
    QAction *find_ = nullptr;
    QPointer<QWidget> message_;
};

}  // namespace kelvaro
