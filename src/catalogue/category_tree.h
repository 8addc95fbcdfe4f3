// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_table.h"

#include <QList>
#include <QString>

namespace kelvaro {

// The tree operations that filling needs. Keys are unique across the tree;
// both calls refuse (return false, add nothing) a key that is already there,
// and addChild also refuses a parent key that is not a top-level node.
class CategoryTree {
public:
    virtual ~CategoryTree() = default;
    virtual bool addTopLevel(const QString &key, const QString &text) = 0;
    virtual bool addChild(const QString &parentKey, const QString &key, const QString &text) = 0;
    // Bracket a run of additions, so that a tree that shows its nodes can
    // build them out of sight and show them all at once.
    virtual void beginFill() {}
    virtual void endFill() {}
};

// A row that filling could not add to the tree; it was skipped.
struct FillProblem {
    enum class Kind {
        // A station with no category to go in: no heading before it, or the
        // heading above it could not become a category (earlierRow is then
        // that heading's row).
        StationBeforeCategory,
        // The row's key is already in the tree, added by earlierRow. For a
        // heading whose name is already a category the stations below still
        // join that category.
        DuplicateKey,
        // The tree refused the row for a reason filling cannot tell.
        Refused,
    };
    int row = 0;
    Kind kind = Kind::Refused;
    int earlierRow = 0;
};

// Fills the tree from the table up to its end: a row whose address is the
// category marker adds a top-level node (key = text = name) and becomes the
// current category; any other row adds a station (key = address, text =
// name) under the current category. Rows the tree refuses are skipped and
// reported, in row order.
QList<FillProblem> fillCategoryTree(const StationTable &table, CategoryTree &tree);

}  // namespace kelvaro
