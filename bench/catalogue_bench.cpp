// SPDX-License-Identifier: GPL-3.0-or-later
// Times reading a 900-row station list and filling it into the program's
// tree widget, next to a reference: a bare QTreeWidget filled with the same
// 900 items straight from memory. Prints medians of 20 runs and the ratio.
#include "category_tree.h"
#include "station_file.h"
#include "tree_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 20;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
}

// 30 categories of 29 stations each: 900 rows, Chinese names, CR LF.
QByteArray nineHundredRows()
{
    QByteArray out;
    for (int c = 1; c <= 30; ++c) {
        out += QStringLiteral("分类%1;;mms://127.0.0.1;;\r\n").arg(c).toUtf8();
        for (int s = 1; s <= 29; ++s)
            out += QStringLiteral("电台%1-%2;;http://radio.example/%1/%2/stream.mp3;;备注 %1-%2\r\n")
                       .arg(c)
                       .arg(s)
                       .toUtf8();
    }
    return out;
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = kelvaro::stationListPath(dir.path());
    QFile file(path);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(nineHundredRows()) < 0)
        return 1;
    file.close();

    // The same items for the reference, already in memory.
    const kelvaro::StationListRead sample = kelvaro::readStationList(path);
    if (sample.table.usedRows() != kelvaro::StationTable::kRows)
        return 1;

    std::vector<double> readOnly, readAndFill, reference;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;

        timer.start();
        const auto read = kelvaro::readStationList(path);
        readOnly.push_back(timer.nsecsElapsed() / 1e6);

        {
            timer.start();
            const auto read2 = kelvaro::readStationList(path);
            kelvaro::TreeView tree;
            kelvaro::fillCategoryTree(read2.table, tree);
            readAndFill.push_back(timer.nsecsElapsed() / 1e6);
            if (tree.topLevelItemCount() != 30)
                return 1;
        }
        {
            timer.start();
            QTreeWidget tree;
            QTreeWidgetItem *category = nullptr;
            for (int row = 1; row <= kelvaro::StationTable::kRows; ++row) {
                const kelvaro::StationRecord &r = sample.table.row(row);
                if (r.address == kelvaro::kCategorySentinel) {
                    category = new QTreeWidgetItem(QStringList{r.name});
                    tree.addTopLevelItem(category);
                } else {
                    new QTreeWidgetItem(category, QStringList{r.name});
                }
            }
            reference.push_back(timer.nsecsElapsed() / 1e6);
        }
    }

    const double mine = median(readAndFill), ref = median(reference);
    std::printf("900-row station list, median of %d runs\n", kRuns);
    std::printf("  read only                         %8.3f ms\n", median(readOnly));
    std::printf("  read + fill TreeView1 (program)   %8.3f ms\n", mine);
    std::printf("  bare QTreeWidget fill (reference) %8.3f ms\n", ref);
    std::printf("  ratio program / reference         %8.2f\n", mine / ref);
    return 0;
}
