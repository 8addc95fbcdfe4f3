// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "category_tree.h"
#include "station_file.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace kelvaro {

// A widget-free tree with the same rules as the program's tree: unique keys
// across the tree, two levels, nodes kept in the order they were added.
class PlainTree : public CategoryTree {
public:
    struct Node {
        QString key;
        QString text;
        QList<Node> children;  // always empty for a station
    };

    bool addTopLevel(const QString &key, const QString &text) override;
    bool addChild(const QString &parentKey, const QString &key, const QString &text) override;

    const QList<Node> &nodes() const { return nodes_; }

private:
    QList<Node> nodes_;
    QHash<QString, qsizetype> categoryIndex_;  // top-level key -> index in nodes_
    QHash<QString, bool> keys_;
};

// What the program makes of a station list, for people who edit it by hand:
// the rows read, the tree shown, and every problem with its line.
struct StationListCheck {
    StationListRead read;
    QList<PlainTree::Node> tree;
    QList<ListProblem> problems;  // sorted by line
    qint64 problemsNotListed = 0;

    bool readable() const { return read.opened; }
    // 0: no problem, 1: problems, 2: the file cannot be read.
    int exitCode() const;
};

StationListCheck checkStationList(StationListRead read);
StationListCheck checkStationList(const QString &path);

// True for an address that is not the category marker but differs from it
// only in letter case and/or by one trailing slash.
bool looksLikeCategorySentinel(const QString &address);

// Appends `text` as a JSON string: UTF-8, with quotes, backslashes and
// control characters escaped. Shared by the checker's JSON reports.
void appendJsonString(QByteArray &out, const QString &text);

// The checker's two outputs, both UTF-8.
QByteArray checkReportText(const StationListCheck &check, const QString &fileName);
QByteArray checkReportJson(const StationListCheck &check);

}  // namespace kelvaro
