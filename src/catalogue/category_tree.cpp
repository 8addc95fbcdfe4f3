#include "category_tree.h"

#include <QHash>

namespace kelvaro {

QList<FillProblem> fillCategoryTree(const StationTable &table, CategoryTree &tree)
{
    QList<FillProblem> problems;
    QHash<QString, int> keyRow;  // which row added each key, to explain refusals
    QString currentCategory;

    auto refused = [&](int row, const QString &key) {
        const auto earlier = keyRow.constFind(key);
        if (earlier != keyRow.cend())
            problems.append({row, FillProblem::Kind::DuplicateKey, *earlier});
        else
            problems.append({row, FillProblem::Kind::StationBeforeCategory, 0});
    };

    for (int row = 1; row <= StationTable::kRows; ++row) {
        const StationRecord &record = table.row(row);
        if (record.name.isEmpty())
            break;
        if (record.address == kCategorySentinel) {
            // The current category follows the heading even when its node
            // already exists, so a repeated heading continues that category.
            currentCategory = record.name;
            if (tree.addTopLevel(record.name, record.name))
                keyRow.insert(record.name, row);
            else
                refused(row, record.name);
        } else if (tree.addChild(currentCategory, record.address, record.name)) {
            keyRow.insert(record.address, row);
        } else {
            refused(row, record.address);
        }
    }
    return problems;
}

}  // namespace kelvaro
