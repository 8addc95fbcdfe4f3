// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree_view.h"

#include <QDropEvent>
#include <QKeyEvent>

#include <utility>

namespace kelvaro {

namespace {
constexpr int kKeyRole = Qt::UserRole;
}

TreeView::TreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    // A single click on a category opens or closes it (see report()), so a
    // double click must not toggle it a second time.
    setExpandsOnDoubleClick(false);
    // Stations can be dragged to another place or category (see dropEvent).
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { report(item); });
}

TreeView::~TreeView()
{
    qDeleteAll(pending_);  // only left by a fill that never ended
}

bool TreeView::addTopLevel(const QString &key, const QString &text)
{
    if (nodes_.contains(key))
        return false;
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kKeyRole, key);
    item->setFlags(item->flags() & ~Qt::ItemIsDragEnabled);  // categories stay in place
    if (filling_)
        pending_.append(item);
    else
        addTopLevelItem(item);
    nodes_.insert(key, item);
    return true;
}

void TreeView::beginFill()
{
    filling_ = true;
}

void TreeView::endFill()
{
    filling_ = false;
    addTopLevelItems(std::exchange(pending_, {}));
}

bool TreeView::addChild(const QString &parentKey, const QString &key, const QString &text)
{
    QTreeWidgetItem *parent = nodes_.value(parentKey);
    // Only categories take children: the tree has two levels.
    if (parent == nullptr || parent->parent() != nullptr || nodes_.contains(key))
        return false;
    auto *item = new QTreeWidgetItem(parent, QStringList{text});
    item->setData(0, kKeyRole, key);
    item->setFlags(item->flags() & ~Qt::ItemIsDropEnabled);  // dropped beside, never into
    nodes_.insert(key, item);
    return true;
}

void TreeView::clearNodes()
{
    clear();
    nodes_.clear();
}

void TreeView::dropEvent(QDropEvent *event)
{
    QTreeWidgetItem *dragged = currentItem();
    QTreeWidgetItem *target = itemAt(event->position().toPoint());
    // Whatever happens, the widget moves nothing itself.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (event->source() != this || !dragged || !dragged->parent() || !target || target == dragged)
        return;
    QTreeWidgetItem *category = target->parent() ? target->parent() : target;
    int index = -1;  // onto a category: its last station
    if (target->parent()) {
        index = category->indexOfChild(target) + (dropIndicatorPosition() == BelowItem ? 1 : 0);
        // Counted without the station itself, which leaves its old place.
        if (dragged->parent() == category && category->indexOfChild(dragged) < index)
            --index;
    }
    emit stationDropped(keyOf(dragged), keyOf(category), index);
}

QString TreeView::keyOf(const QTreeWidgetItem *item)
{
    return item->data(0, kKeyRole).toString();
}

void TreeView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        report(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TreeView::report(QTreeWidgetItem *item)
{
    if (item->childCount() > 0)
        item->setExpanded(!item->isExpanded());
    emit nodeClick(keyOf(item), item->text(0));
}

}  // namespace kelvaro
