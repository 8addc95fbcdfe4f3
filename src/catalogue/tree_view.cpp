// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree_view.h"

#include <QHelpEvent>
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
    nodes_.insert(key, item);
    return true;
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
