// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>

namespace kelvaro {

// Address that marks a station-list line as a category heading.
inline const QString kCategorySentinel = QStringLiteral("mms://127.0.0.1");
// Marker anywhere in an address that makes the station a web page.
inline const QString kWebPageMarker = QStringLiteral("html#1");

// One line of the station list.
struct StationRecord {
    QString name;
    QString address;
    QString extra;  // everything after the second separator; kept, never read
};

// The fixed table the station list is read into. Rows are numbered from 1
// to kRows; the table's end, for every reader, is the first row whose name is
// empty, even if later rows hold data.
class StationTable {
public:
    static constexpr int kRows = 900;

    StationRecord &row(int n) { return rows_.at(static_cast<size_t>(n - 1)); }
    const StationRecord &row(int n) const { return rows_.at(static_cast<size_t>(n - 1)); }

    // The first row before the table's end with this address; 0 when none.
    int rowOf(const QString &address) const
    {
        for (int n = 1, used = usedRows(); n <= used; ++n) {
            if (row(n).address == address)
                return n;
        }
        return 0;
    }

    // Number of rows before the table's end.
    int usedRows() const
    {
        int n = 0;
        while (n < kRows && !rows_[static_cast<size_t>(n)].name.isEmpty())
            ++n;
        return n;
    }

private:
    std::array<StationRecord, kRows> rows_{};
};

}  // namespace kelvaro
