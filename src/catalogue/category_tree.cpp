// SPDX-License-Identifier: GPL-3.0-or-later
#include "category_tree.h"

#include <QHash>

namespace kelvaro {

QList<FillProblem> fillCategoryTree(const StationTable &table, CategoryTree &tree)
{
    QList<FillProblem> problems;
    // Which row added each key and which keys are categories; only used to
    // explain a refusal, the tree itself decides what it takes.
    QHash<QString, int> keyRow;
    QHash<QString, bool> isCategory;
    QString currentCategory;
    int currentHeadingRow = 0;
    tree.beginFill();

    for (int row = 1; row <= StationTable::kRows; ++row) {
        const StationRecord &record = table.row(row);
        if (record.name.isEmpty())
            break;
        if (record.address == kCategorySentinel) {
            // The current category follows the heading even when its node
            // already exists, so a repeated heading continues that category.
            currentCategory = record.name;
            currentHeadingRow = row;
            if (tree.addTopLevel(record.name, record.name)) {
                keyRow.insert(record.name, row);
                isCategory.insert(record.name, true);
            } else {
                const int earlier = keyRow.value(record.name);
                problems.append({row, earlier ? FillProblem::Kind::DuplicateKey : FillProblem::Kind::Refused,
                                 earlier});
            }
            continue;
        }
        if (tree.addChild(currentCategory, record.address, record.name)) {
            keyRow.insert(record.address, row);
            continue;
        }
        if (currentHeadingRow == 0)
            problems.append({row, FillProblem::Kind::StationBeforeCategory, 0});
        else if (!isCategory.value(currentCategory))
            problems.append({row, FillProblem::Kind::StationBeforeCategory, currentHeadingRow});
        else if (const int earlier = keyRow.value(record.address))
            problems.append({row, FillProblem::Kind::DuplicateKey, earlier});
        else
            problems.append({row, FillProblem::Kind::Refused, 0});
    }
    tree.endFill();
    return problems;
}

}  // namespace kelvaro
