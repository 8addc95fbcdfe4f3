// Feeds arbitrary bytes through the station-list reader and the tree filler.
// The tree here checks the invariants the real tree keeps: unique keys and
// two levels, with every child under an existing category.
#include "category_tree.h"
#include "station_file.h"

#include <QBuffer>
#include <QHash>

#include <cstdlib>

namespace {

class CheckingTree : public kelvaro::CategoryTree {
public:
    bool addTopLevel(const QString &key, const QString &) override
    {
        if (level_.contains(key))
            return false;
        level_.insert(key, 1);
        return true;
    }
    bool addChild(const QString &parentKey, const QString &key, const QString &) override
    {
        if (level_.value(parentKey) != 1 || level_.contains(key))
            return false;
        level_.insert(key, 2);
        return true;
    }
    qsizetype size() const { return level_.size(); }

private:
    QHash<QString, int> level_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const kelvaro::StationListRead read = kelvaro::readStationList(buffer);
    if (read.rowsFilled > kelvaro::StationTable::kRows)
        std::abort();
    CheckingTree tree;
    const auto problems = kelvaro::fillCategoryTree(read.table, tree);
    // Every row up to the table's end either became a node or was reported.
    if (tree.size() + problems.size() != read.table.usedRows())
        std::abort();
    return 0;
}
