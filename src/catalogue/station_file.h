// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_table.h"
#include "text_decoding.h"

#include <QList>
#include <QString>

#include <array>

class QIODevice;

namespace kelvaro {

// Something in the station list that the program skips or cannot reach.
// `kind` is one of the short words the checker prints.
struct ListProblem {
    qint64 line = 0;  // 1-based physical line in the file
    QString kind;
    QString message;
};

// Limits that keep a hostile file from costing unbounded memory or time.
// A real station list is a few hundred short lines.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;          // longer lines are skipped
inline constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;      // reading stops after this
inline constexpr qsizetype kMaxListedProblems = 1000;          // later ones are only counted

// What reading the station list produced: the table itself plus what the
// checker needs to explain it (where each row came from, what was skipped).
struct StationListRead {
    bool opened = false;
    QString errorString;  // why the file could not be opened
    // The file's encoding; for a list that mixes UTF-8 and GB18030 lines
    // (two lists joined), the one most of its non-ASCII lines are in. Each
    // line of such a list is decoded on its own, and every line decoded in
    // the other encoding is listed as a "mixed-encoding" problem.
    TextEncoding encoding = TextEncoding::Utf8;
    bool mixedEncoding = false;
    StationTable table;
    int rowsFilled = 0;                                    // rows 1..rowsFilled hold lines
    std::array<qint64, StationTable::kRows + 1> rowLine{};  // physical line of each row
    QList<ListProblem> problems;                           // in line order
    qint64 problemsNotListed = 0;  // problems past kMaxListedProblems
    qint64 bytesRead = 0;          // bytes taken from the file
};

// The station list's file name, looked for in the executable's folder.
inline const QString kStationFileName = QStringLiteral("电台.ini");

// Path of the station list beside the executable.
QString stationListPath(const QString &executableFolder);

// Reads a station list. A missing or unreadable file gives an empty table
// with `opened` false. Reading stops once the last row is filled.
StationListRead readStationList(const QString &path);
StationListRead readStationList(QIODevice &device);

// Splits one decoded line into its three fields. False when the line lacks
// one of the two ";;" separators.
bool splitStationLine(const QString &line, StationRecord &out);

}  // namespace kelvaro
