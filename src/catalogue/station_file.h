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
    int line = 0;  // 1-based physical line in the file
    QString kind;
    QString message;
};

// What reading the station list produced: the table itself plus what the
// checker needs to explain it (where each row came from, what was skipped).
struct StationListRead {
    bool opened = false;
    TextEncoding encoding = TextEncoding::Utf8;
    StationTable table;
    int rowsFilled = 0;                               // rows 1..rowsFilled hold lines
    std::array<int, StationTable::kRows + 1> rowLine{};  // physical line of each row
    QList<ListProblem> problems;
};

// Lines longer than this (in bytes) are skipped rather than held in memory.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;

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
