// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_editor.h"

#include "listening.h"

#include "address_check.h"
#include "category_tree.h"
#include "find_window.h"
#include "form1.h"
#include "playlist_import.h"
#include "station_dialog.h"
#include "station_list_location.h"
#include "tree_view.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QThreadPool>
#include <QUrl>

namespace kelvaro {

namespace {

QList<PlainTree::Node> treeOf(const StationTable &table)
{
    PlainTree tree;
    fillCategoryTree(table, tree);
    return tree.nodes();
}

}  // namespace

StationEditor::StationEditor(Form1 &form, const QString &shownPath)
    : QObject(&form), form_(form), shownPath_(shownPath)
{
    TreeView *tree = form_.TreeView1;
    const auto action = [this, tree](const QString &text, const QKeySequence &keys, auto slot) {
        auto *a = new QAction(text, this);
        if (!keys.isEmpty()) {
            a->setShortcut(keys);
            a->setShortcutContext(Qt::WidgetShortcut);
            tree->addAction(a);
        }
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    play_ = action(QStringLiteral("播放"), {}, [this] {
        if (QTreeWidgetItem *item = current())
            emit form_.TreeView1->nodeClick(TreeView::keyOf(item), item->text(0));
    });
    newStation_ = action(QStringLiteral("新建电台…"), QKeySequence(Qt::CTRL | Qt::Key_N), [this] { newStation({}); });
    edit_ = action(QStringLiteral("编辑…"), QKeySequence(Qt::Key_F2), &StationEditor::editCurrent);
    remove_ = action(QStringLiteral("删除"), QKeySequence(QKeySequence::Delete), &StationEditor::removeCurrent);
    up_ = action(QStringLiteral("上移"), QKeySequence(Qt::ALT | Qt::Key_Up), [this] { moveCurrent(-1); });
    down_ = action(QStringLiteral("下移"), QKeySequence(Qt::ALT | Qt::Key_Down), [this] { moveCurrent(1); });
    newCategory_ = action(QStringLiteral("新建分类…"), {}, &StationEditor::newCategory);
    renameCategory_ = action(QStringLiteral("重命名分类…"), {}, &StationEditor::renameCategory);
    removeCategory_ = action(QStringLiteral("删除分类"), {}, &StationEditor::removeCategory);
    undo_ = action(QStringLiteral("撤销"), QKeySequence(QKeySequence::Undo), [this] {
        if (store_) {
            pending_.append(Done());
            store_->undo();
        }
    });
    paste_ = action(QStringLiteral("粘贴地址"), QKeySequence(QKeySequence::Paste), [this] {
        if (const QMimeData *data = QGuiApplication::clipboard()->mimeData())
            take(data);
    });
    import_ = action(QStringLiteral("导入播放列表…"), {}, &StationEditor::importPlaylist);
    // Its key, Ctrl+F, belongs to the whole window.
    find_ = action(QStringLiteral("找电台…"), {}, [this] { form_.openFinder(); });
    auto *menuKey = new QAction(this);
    menuKey->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    menuKey->setShortcutContext(Qt::WidgetShortcut);
    tree->addAction(menuKey);
    connect(menuKey, &QAction::triggered, this, [this, tree] {
        QTreeWidgetItem *item = current();
        showMenu(item ? tree->visualItemRect(item).bottomLeft() : QPoint());
    });

    menu_ = new QMenu(tree);
    menu_->addActions({play_, newStation_, edit_, remove_, up_, down_});
    menu_->addSeparator();
    menu_->addActions({newCategory_, renameCategory_, removeCategory_});
    menu_->addSeparator();
    menu_->addActions({paste_, import_, undo_});
    menu_->addSeparator();
    menu_->addAction(find_);
    connect(menu_, &QMenu::aboutToHide, paste_, [this] { paste_->setEnabled(true); });

    // Right click and the Menu key.
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, [this, tree](const QPoint &pos) {
        if (QTreeWidgetItem *item = tree->itemAt(pos))
            tree->setCurrentItem(item);
        showMenu(pos);
    });
    connect(tree, &QTreeWidget::currentItemChanged, this, &StationEditor::updateActions);
    connect(tree, &TreeView::stationDropped, this, [this](const QString &address, const QString &category, int index) {
        apply([=](StationDocument &d) { return d.moveStation(address, category, index); });
    });
    updateActions();
}

StationEditor::~StationEditor() = default;

QString StationEditor::ownPath() const
{
    const QString personal = personalStationListPath();
    return personal.isEmpty() ? shownPath_ : personal;
}

QTreeWidgetItem *StationEditor::current() const
{
    return form_.TreeView1->currentItem();
}

QString StationEditor::categoryOfCurrent() const
{
    QTreeWidgetItem *item = current();
    if (!item)
        return {};
    return TreeView::keyOf(item->parent() ? item->parent() : item);
}

void StationEditor::updateActions()
{
    QTreeWidgetItem *item = current();
    const bool station = item && item->parent();
    play_->setEnabled(station);
    edit_->setEnabled(item != nullptr);
    remove_->setEnabled(item != nullptr);
    // A station moves within its category, a category among the categories.
    const int place = !item ? -1 : station ? item->parent()->indexOfChild(item) : form_.TreeView1->indexOfTopLevelItem(item);
    const int count = !item ? 0 : station ? item->parent()->childCount() : form_.TreeView1->topLevelItemCount();
    up_->setEnabled(place > 0);
    down_->setEnabled(place >= 0 && place + 1 < count);
    newStation_->setEnabled(form_.TreeView1->topLevelItemCount() > 0);
    renameCategory_->setEnabled(item != nullptr);
    removeCategory_->setEnabled(item != nullptr);
    import_->setEnabled(newStation_->isEnabled());
}

bool StationEditor::canTake(const QMimeData *data) const
{
    return data->hasUrls() || isAllowedStreamAddress(normalizedStreamAddress(data->text()));
}

void StationEditor::take(const QMimeData *data)
{
    QString address;
    if (data->hasUrls() && !data->urls().isEmpty()) {
        const QUrl url = data->urls().constFirst();
        if (url.isLocalFile()) {
            readPlaylistFile(url.toLocalFile());
            return;
        }
        address = url.toString();
    } else {
        address = data->text().trimmed().section(QLatin1Char('\n'), 0, 0);
    }
    address = normalizedStreamAddress(address);
    if (!isAllowedStreamAddress(address)) {
        tell(QStringLiteral("这不是可以收听的网络地址：%1").arg(address.left(200)), true);
        return;
    }
    newStation({stationNameFrom({}, address), address, {}});
}

void StationEditor::importPlaylist()
{
    const QString path = QFileDialog::getOpenFileName(
        &form_, QStringLiteral("导入播放列表"), QString(),
        QStringLiteral("播放列表 (*.pls *.m3u *.m3u8 *.asx *.wax *.wvx);;所有文件 (*)"));
    if (!path.isEmpty())
        readPlaylistFile(path);
}

void StationEditor::readPlaylistFile(const QString &path)
{
    // Read on a worker: the UI thread never waits for the disk.
    QPointer<StationEditor> self(this);
    QThreadPool::globalInstance()->start([self, path] {
        QFile file(path);
        QByteArray data;
        bool ok = file.open(QIODevice::ReadOnly) && file.size() <= kMaxPlaylistBytes;
        if (ok)
            data = file.read(kMaxPlaylistBytes);
        QMetaObject::invokeMethod(
            qApp, [self, path, data, ok] {
                if (!self)
                    return;
                if (!ok)
                    self->tell(QStringLiteral("无法读取播放列表 %1。").arg(path), true);
                else
                    self->addFromPlaylist(path, data);
            },
            Qt::QueuedConnection);
    });
}

void StationEditor::addFromPlaylist(const QString &fileName, const QByteArray &data)
{
    const QList<PlaylistEntry> entries = parsePlaylist(data, fileName);
    if (entries.isEmpty()) {
        tell(QStringLiteral("%1 里没有可以收听的网络地址。").arg(fileName), true);
        return;
    }
    if (entries.size() == 1) {
        const PlaylistEntry &only = entries.constFirst();
        newStation({stationNameFrom(only.title, only.address), only.address, {}});
        return;
    }
    QString category = categoryOfCurrent();
    if (category.isEmpty() && form_.TreeView1->topLevelItemCount() > 0)
        category = TreeView::keyOf(form_.TreeView1->topLevelItem(0));
    if (category.isEmpty()) {
        tell(QStringLiteral("请先新建一个分类。"), true);
        return;
    }
    // One edit, so that one Ctrl+Z takes the whole import back.
    apply([entries, category](StationDocument &d) {
        int added = 0;
        for (const PlaylistEntry &entry : entries)
            added += d.addStation(category, -1, {stationNameFrom(entry.title, entry.address), entry.address, {}}).ok;
        if (added == 0)
            return StationEdit::refused(QStringLiteral("播放列表里的电台都已在列表中，或无法加入。"));
        StationEdit done = StationEdit::done();
        done.message = QStringLiteral("已把 %1 个电台导入分类“%2”").arg(added).arg(category);
        if (added < entries.size())
            done.message += QStringLiteral("，%1 个已在列表中或无法加入").arg(entries.size() - added);
        done.message += QStringLiteral("。");
        return done;
    });
}

void StationEditor::showMenu(const QPoint &where)
{
    updateActions();
    // The clipboard is only asked while the menu opens (asking another
    // program for it may take a moment); Ctrl+V itself is always on.
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    paste_->setEnabled(clip && canTake(clip));
    TreeView *tree = form_.TreeView1;
    const QPoint at = where.isNull() ? QPoint(0, 0) : where;
    menu_->popup(tree->viewport()->mapToGlobal(at));
}

void StationEditor::newStation(const StationRecord &prefill)
{
    QString category = categoryOfCurrent();
    if (category.isEmpty() && form_.TreeView1->topLevelItemCount() > 0)
        category = TreeView::keyOf(form_.TreeView1->topLevelItem(0));
    if (category.isEmpty()) {
        tell(QStringLiteral("请先新建一个分类。"), true);
        return;
    }
    // After the current station, else at the end of its category.
    int index = -1;
    if (QTreeWidgetItem *item = current(); item && item->parent())
        index = item->parent()->indexOfChild(item) + 1;
    StationDialog dialog(QStringLiteral("新建电台（%1）").arg(category), prefill, false, &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const StationRecord station = dialog.station();
    apply([=](StationDocument &d) { return d.addStation(category, index, station); });
}

void StationEditor::editCurrent()
{
    QTreeWidgetItem *item = current();
    if (!item)
        return;
    if (!item->parent()) {
        renameCategory();
        return;
    }
    const QString address = TreeView::keyOf(item);
    StationRecord start{item->text(0), address, {}};
    if (const int row = form_.stations().rowOf(address))
        start.extra = form_.stations().row(row).extra;
    StationDialog dialog(QStringLiteral("编辑电台"), start, false, &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const StationRecord station = dialog.station();
    if (form_.playingKey() == address && station.address != address) {
        playingBefore_ = address;
        playingAfter_ = station.address;
    }
    apply([=](StationDocument &d) { return d.updateStation(address, station); });
}

void StationEditor::removeCurrent()
{
    QTreeWidgetItem *item = current();
    if (!item)
        return;
    if (!item->parent()) {
        removeCategory();
        return;
    }
    const QString address = TreeView::keyOf(item);
    apply([=](StationDocument &d) { return d.removeStation(address); });
}

void StationEditor::moveCurrent(int step)
{
    QTreeWidgetItem *item = current();
    if (!item)
        return;
    if (!item->parent()) {
        const QString category = TreeView::keyOf(item);
        apply([=](StationDocument &d) { return d.moveCategory(category, step); });
        return;
    }
    const int to = item->parent()->indexOfChild(item) + step;
    if (to < 0 || to >= item->parent()->childCount())
        return;
    const QString address = TreeView::keyOf(item);
    const QString category = TreeView::keyOf(item->parent());
    apply([=](StationDocument &d) { return d.moveStation(address, category, to); });
}

void StationEditor::newCategory()
{
    StationDialog dialog(QStringLiteral("新建分类"), {}, true, &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.station().name;
    apply([=](StationDocument &d) { return d.addCategory(name); });
}

void StationEditor::renameCategory()
{
    const QString category = categoryOfCurrent();
    if (category.isEmpty())
        return;
    StationDialog dialog(QStringLiteral("重命名分类"), {category, {}, {}}, true, &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.station().name;
    apply([=](StationDocument &d) { return d.renameCategory(category, name); });
}

void StationEditor::removeCategory()
{
    const QString category = categoryOfCurrent();
    if (category.isEmpty())
        return;
    QTreeWidgetItem *node = form_.TreeView1->nodeByKey(category);
    if (node && node->childCount() > 0) {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("删除分类"),
                        QStringLiteral("分类“%1”里有 %2 个电台，要连同这些电台一起删除吗？（可以用 Ctrl+Z 撤销）")
                            .arg(category)
                            .arg(node->childCount()),
                        QMessageBox::NoButton, &form_);
        QPushButton *yes = ask.addButton(QStringLiteral("删除"), QMessageBox::DestructiveRole);
        ask.setDefaultButton(ask.addButton(QStringLiteral("取消"), QMessageBox::RejectRole));
        ask.exec();
        if (ask.clickedButton() != yes)
            return;
    }
    apply([=](StationDocument &d) { return d.removeCategory(category); });
}

void StationEditor::apply(StationListStore::Edit edit, Done done)
{
    if (!store_) {
        // Made at the first edit, with the tree the window shows, so that a
        // list changed on disk since start-up is noticed before it is written.
        store_ = std::make_unique<StationListStore>(shownPath_, ownPath(), treeOf(form_.stations()));
        connect(store_.get(), &StationListStore::finished, this, &StationEditor::finished);
    }
    pending_.append(std::move(done));
    store_->apply(std::move(edit));
}

void StationEditor::finished(const StationListStore::Outcome &outcome)
{
    using Kind = StationListStore::Outcome::Kind;
    // This outcome's own caller, taken first: nothing below may see another's.
    const Done done = pending_.isEmpty() ? Done() : pending_.takeFirst();
    if (outcome.kind == Kind::Saved)
        form_.listening().stationMoved(playingBefore_, playingAfter_);
    playingBefore_.clear();
    playingAfter_.clear();
    if (outcome.document)
        form_.showStations(outcome.document->read().table);
    updateActions();
    if (!outcome.message.isEmpty())
        tell(outcome.message, outcome.kind != Kind::Saved);
    if (done)
        done(outcome);
    emit editFinished(outcome);
}

void StationEditor::addOptions(const QList<QAction *> &options)
{
    menu_->addSeparator();
    menu_->addActions(options);
}

void StationEditor::tell(const QString &message, bool warning)
{
    // Not modal: the window and what plays go on; a newer message replaces it.
    // Over the find window when the user is working there, so that closing
    // the message leaves the user where they were.
    if (message_)
        message_->close();
    QWidget *over = &form_;
    if (QWidget *finder = form_.finder(); finder && finder->isActiveWindow())
        over = finder;
    auto *box = new QMessageBox(warning ? QMessageBox::Warning : QMessageBox::Information,
                                QStringLiteral("我的电台"), message, QMessageBox::Ok, over);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    message_ = box;
}

}  // namespace kelvaro
