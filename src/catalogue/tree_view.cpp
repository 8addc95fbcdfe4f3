// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree_view.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <utility>

namespace kelvaro {

namespace {
constexpr int kKeyRole = Qt::UserRole;

// A node that tells assistive technology what it is: a category, a station
// or a web page. Worked out when asked, so filling the tree costs nothing more.
class Node : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    QVariant data(int column, int role) const override
    {
        if (role != Qt::AccessibleDescriptionRole)
            return QTreeWidgetItem::data(column, role);
        if (parent() == nullptr)
            return QStringLiteral("分类");
        return TreeView::keyOf(this).contains(kWebPageMarker) ? QStringLiteral("网页频道") : QStringLiteral("频道");
    }
};
}  // namespace

TreeView::TreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    // Never shown, but read out as the column's name.
    setHeaderLabel(QStringLiteral("频道"));
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
    auto *item = new Node(QStringList{text});
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
    auto *item = new Node(parent, QStringList{text});
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

// A station dragged from this tree names itself and the process it was
// dragged in, so that a drop never takes a drag from elsewhere for a move.
const QString kStationMime = QStringLiteral("application/x-kelvaro-station");

QMimeData *TreeView::mimeData(const QList<QTreeWidgetItem *> &items) const
{
    QMimeData *data = QTreeWidget::mimeData(items);
    if (data && items.size() == 1 && items.first()->parent()) {
        data->setData(kStationMime, QByteArray::number(QCoreApplication::applicationPid()) + '\n'
                                        + keyOf(items.first()).toUtf8());
    }
    return data;
}

QTreeWidgetItem *TreeView::draggedStation(const QMimeData *data) const
{
    const QList<QByteArray> station = data->data(kStationMime).split('\n');
    if (station.size() != 2 || station[0].toLongLong() != QCoreApplication::applicationPid())
        return nullptr;
    QTreeWidgetItem *item = nodeByKey(QString::fromUtf8(station[1]));
    return item && item->parent() ? item : nullptr;
}

void TreeView::dragEnterEvent(QDragEnterEvent *event)
{
    takeOnlyStations(event);
}

void TreeView::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeWidget::dragMoveEvent(event);  // the drop indicator and scrolling
    takeOnlyStations(event);
}

void TreeView::takeOnlyStations(QDragMoveEvent *event) const
{
    if (draggedStation(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TreeView::dropEvent(QDropEvent *event)
{
    // The widget never moves a node itself; whoever keeps the list does.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    QTreeWidgetItem *dragged = draggedStation(event->mimeData());
    const QPoint at = event->position().toPoint();
    QTreeWidgetItem *target = itemAt(at);
    if (!dragged || !target || target == dragged)
        return;
    QTreeWidgetItem *category = target->parent() ? target->parent() : target;
    int index = -1;  // onto a category: after its last station
    if (target->parent()) {
        // Before the station dropped on, or after it in its lower half.
        const bool below = at.y() > visualItemRect(target).center().y();
        index = category->indexOfChild(target) + (below ? 1 : 0);
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

bool TreeView::isTextCut(const QTreeWidgetItem *item) const
{
    const QModelIndex index = indexFromItem(item);
    if (!index.isValid())
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    // The part of the row the text may use, as far as the viewport shows it.
    option.rect = visualRect(index).intersected(viewport()->rect());
    return itemDelegateForIndex(index)->sizeHint(option, index).width() > option.rect.width();
}

bool TreeView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeWidget::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QTreeWidgetItem *item = itemAt(help->pos());
    if (item != nullptr && isTextCut(item))
        QToolTip::showText(help->globalPos(), item->text(0), viewport(), visualItemRect(item));
    else
        QToolTip::hideText();
    return true;
}

void TreeView::report(QTreeWidgetItem *item)
{
    if (item->childCount() > 0)
        item->setExpanded(!item->isExpanded());
    emit nodeClick(keyOf(item), item->text(0));
}

}  // namespace kelvaro
