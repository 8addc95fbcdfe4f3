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

signals:
    void nodeClick(const QString &key, const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // A node whose text is cut short shows the whole of it as its tooltip;
    // others show none.
    bool viewportEvent(QEvent *event) override;

private:
    void report(QTreeWidgetItem *item);

    QHash<QString, QTreeWidgetItem *> nodes_;
    // Categories made during a fill, shown at its end: stations added to a
    // category not yet in the widget cost no model updates (900 stations
    // fill in under half the time).
    bool filling_ = false;
    QList<QTreeWidgetItem *> pending_;
};

}  // namespace kelvaro
