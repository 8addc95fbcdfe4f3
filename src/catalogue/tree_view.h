// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "category_tree.h"

#include <QHash>
#include <QTreeWidget>

namespace kelvaro {

// The station tree: a Qt tree widget holding categories at the top level and
// their stations below, addressed by key. A single click on a node, or
// Enter/Return on the current node, reports the node's key and text.
class TreeView : public QTreeWidget, public CategoryTree {
    Q_OBJECT
public:
    explicit TreeView(QWidget *parent = nullptr);
    ~TreeView() override;

    bool addTopLevel(const QString &key, const QString &text) override;
    bool addChild(const QString &parentKey, const QString &key, const QString &text) override;
    void beginFill() override;
    void endFill() override;

    // The key a node was added with.
    static QString keyOf(const QTreeWidgetItem *item);
    QTreeWidgetItem *nodeByKey(const QString &key) const { return nodes_.value(key); }
    // Whether the node's text is cut short ("…") at the tree's width.
    bool isTextCut(const QTreeWidgetItem *item) const;

    // Removes every node, to fill the tree again.
    void clearNodes();

signals:
    void nodeClick(const QString &key, const QString &text);
    // A station dragged within the tree and dropped: it asks to become
    // station `index` of `category` (-1: the last), counted without itself.
    // The tree itself moves nothing; whoever keeps the list does.
    void stationDropped(const QString &address, const QString &category, int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;
    // A node whose text is cut short shows the whole of it as its tooltip;
    // others show none.
    bool viewportEvent(QEvent *event) override;

private:
    void report(QTreeWidgetItem *item);
    // The station a drag from this tree carries; null for anything else.
    QTreeWidgetItem *draggedStation(const QMimeData *data) const;
    // A drag over the tree is taken only when it carries one of its stations.
    void takeOnlyStations(QDragMoveEvent *event) const;

    QHash<QString, QTreeWidgetItem *> nodes_;
    // Categories made during a fill, shown at its end: stations added to a
    // category not yet in the widget cost no model updates (900 stations
    // fill in under half the time).
    bool filling_ = false;
    QList<QTreeWidgetItem *> pending_;
};

}  // namespace kelvaro
