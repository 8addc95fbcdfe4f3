#include "station_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <vector>

namespace kelvaro {

namespace {

const QString kSeparator = QStringLiteral(";;");

struct RawLine {
    QByteArray bytes;
    int line;
};

// Splits a byte stream into lines ended by CR LF, a lone LF or a lone CR,
// reading in fixed chunks so memory stays bounded whatever the file holds.
class LineSplitter {
public:
    explicit LineSplitter(QIODevice &device) : device_(device) {}

    // Next line; false at the end of the data. `tooLong` is set when the line
    // went past kMaxLineBytes; its bytes are then dropped.
    bool next(QByteArray &line, bool &tooLong)
    {
        line.clear();
        tooLong = false;
        bool any = false;
        for (;;) {
            if (pos_ == chunk_.size()) {
                chunk_ = device_.read(kChunk);
                pos_ = 0;
                if (chunk_.isEmpty())
                    return any;  // a last line without terminator still counts
            }
            if (skipLf_) {
                skipLf_ = false;
                if (chunk_[pos_] == '\n') {
                    ++pos_;
                    continue;
                }
            }
            any = true;
            const qsizetype start = pos_;
            while (pos_ < chunk_.size() && chunk_[pos_] != '\n' && chunk_[pos_] != '\r')
                ++pos_;
            if (!tooLong) {
                if (line.size() + (pos_ - start) > kMaxLineBytes) {
                    tooLong = true;
                    line.clear();
                    line.squeeze();
                } else {
                    line.append(chunk_.constData() + start, pos_ - start);
                }
            }
            if (pos_ < chunk_.size()) {
                skipLf_ = chunk_[pos_] == '\r';
                ++pos_;
                return true;
            }
        }
    }

private:
    static constexpr qint64 kChunk = 64 * 1024;
    QIODevice &device_;
    QByteArray chunk_;
    qsizetype pos_ = 0;
    bool skipLf_ = false;
};

bool hasTwoSeparators(const QByteArray &line)
{
    // ';' never occurs inside a multi-byte character in UTF-8 or GB18030, so
    // the separators can be found before the line is decoded.
    const qsizetype p1 = line.indexOf(";;");
    return p1 >= 0 && line.indexOf(";;", p1 + 2) >= 0;
}

}  // namespace

QString stationListPath(const QString &executableFolder)
{
    return QDir(executableFolder).filePath(kStationFileName);
}

bool splitStationLine(const QString &line, StationRecord &out)
{
    const qsizetype p1 = line.indexOf(kSeparator);
    if (p1 < 0)
        return false;
    const qsizetype p2 = line.indexOf(kSeparator, p1 + 2);
    if (p2 < 0)
        return false;
    out.name = line.left(p1);
    out.address = line.mid(p1 + 2, p2 - p1 - 2);
    out.extra = line.mid(p2 + 2);
    return true;
}

StationListRead readStationList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        StationListRead empty;
        empty.problems.append({0, QStringLiteral("unreadable"), file.errorString()});
        return empty;
    }
    return readStationList(file);
}

StationListRead readStationList(QIODevice &device)
{
    StationListRead result;
    result.opened = true;

    LineSplitter splitter(device);
    std::vector<RawLine> rows;
    rows.reserve(64);
    bool bom = false;
    bool allUtf8 = true;
    QByteArray line;
    bool tooLong = false;
    int lineNo = 0;
    while (splitter.next(line, tooLong)) {
        ++lineNo;
        if (lineNo == 1 && line.startsWith("\xEF\xBB\xBF")) {
            bom = true;
            line.remove(0, 3);
        }
        if (line.isEmpty() && !tooLong)
            continue;  // a zero-length line is blank and takes no row
        if (static_cast<int>(rows.size()) == StationTable::kRows) {
            result.problems.append({lineNo, QStringLiteral("over-capacity"),
                                    QStringLiteral("the list already fills all %1 rows; this line "
                                                   "and every later one are ignored")
                                        .arg(StationTable::kRows)});
            break;
        }
        if (tooLong) {
            result.problems.append({lineNo, QStringLiteral("too-long"),
                                    QStringLiteral("line is longer than %1 bytes; skipped")
                                        .arg(kMaxLineBytes)});
            continue;
        }
        allUtf8 = allUtf8 && isValidUtf8(line);
        if (!hasTwoSeparators(line)) {
            result.problems.append({lineNo, QStringLiteral("no-separator"),
                                    QStringLiteral("line lacks two \";;\" separators "
                                                   "(name;;address;;note); skipped")});
            continue;
        }
        rows.push_back({line, lineNo});
    }

    result.encoding = (bom || allUtf8) ? TextEncoding::Utf8 : TextEncoding::Gb18030;
    for (const RawLine &raw : rows) {
        StationRecord record;
        if (!splitStationLine(decode(raw.bytes, result.encoding), record)) {
            // A broken multi-byte character swallowed a separator.
            result.problems.append({raw.line, QStringLiteral("no-separator"),
                                    QStringLiteral("line lacks two \";;\" separators once decoded; "
                                                   "skipped")});
            continue;
        }
        const int n = ++result.rowsFilled;
        result.table.row(n) = std::move(record);
        result.rowLine[static_cast<size_t>(n)] = raw.line;
    }
    return result;
}

}  // namespace kelvaro
