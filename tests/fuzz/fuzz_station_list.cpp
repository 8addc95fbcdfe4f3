// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through the station-list reader, the tree filler and
// the checker's JSON report, and checks what must hold for any input.
#include "category_tree.h"
#include "station_file.h"
#include "station_list_check.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QSet>

#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    kelvaro::StationListRead read = kelvaro::readStationList(buffer);
    require(read.rowsFilled >= 0 && read.rowsFilled <= kelvaro::StationTable::kRows);
    require(read.bytesRead <= static_cast<qint64>(size));
    for (int row = 1; row <= read.rowsFilled; ++row)
        require(read.rowLine[static_cast<size_t>(row)] > read.rowLine[static_cast<size_t>(row - 1)]);
    for (int row = read.rowsFilled + 1; row <= kelvaro::StationTable::kRows; ++row)
        require(read.table.row(row).name.isEmpty() && read.table.row(row).address.isEmpty());

    // Every row up to the table's end becomes exactly one node or one problem,
    // keys stay unique and the tree keeps two levels.
    kelvaro::PlainTree tree;
    const auto problems = kelvaro::fillCategoryTree(read.table, tree);
    QSet<QString> keys;
    qsizetype nodes = 0;
    for (const auto &category : tree.nodes()) {
        keys.insert(category.key);
        ++nodes;
        for (const auto &station : category.children) {
            require(station.children.isEmpty());
            keys.insert(station.key);
            ++nodes;
        }
    }
    require(keys.size() == nodes);
    require(nodes + problems.size() == read.table.usedRows());

    const kelvaro::StationListCheck check = kelvaro::checkStationList(std::move(read));
    for (qsizetype i = 1; i < check.problems.size(); ++i)
        require(check.problems[i - 1].line <= check.problems[i].line);
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(kelvaro::checkReportJson(check), &error);
    require(error.error == QJsonParseError::NoError && json.isObject());
    return 0;
}
