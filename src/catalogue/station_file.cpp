// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <optional>
#include <vector>

namespace kelvaro {

namespace {

const QString kSeparator = QStringLiteral(";;");

struct RawLine {
    QByteArray bytes;
    qint64 line;
    bool utf8;      // valid UTF-8
    bool nonAscii;  // holds a byte past ASCII
};

bool hasNonAscii(const QByteArray &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A valid UTF-8 line with a three- or four-byte character (all of Chinese
// text in UTF-8) is UTF-8 text rather than GB18030 bytes that happen to be
// valid UTF-8: that happens easily with one two-byte character ("小" in
// GB18030 is "С" in UTF-8), hardly ever with longer ones.
bool hasLongUtf8Character(const QByteArray &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return static_cast<unsigned char>(c) >= 0xE0; });
}

// Splits a byte stream into lines ended by CR LF, a lone LF or a lone CR. It
// reads in fixed chunks and never takes more than kMaxListBytes from the
// device, so memory and time stay bounded whatever the file holds.
class LineSplitter {
public:
    explicit LineSplitter(QIODevice &device) : device_(device) {}

    // Next line, without its terminator; false at the end of the data (or of
    // what may be read). `tooLong` is set when the line went past
    // kMaxLineBytes; its bytes are then dropped.
    bool next(QByteArray &line, bool &tooLong)
    {
        line.clear();
        tooLong = false;
        bool any = false;
        for (;;) {
            if (pos_ == size_ && !refill()) {
                // A last line without terminator still counts, unless reading
                // was cut off in its middle.
                return any && !truncated_;
            }
            const char *data = chunk_.constData();
            const qsizetype size = size_;
            if (skipLf_) {
                skipLf_ = false;
                if (data[pos_] == '\n') {
                    ++pos_;
                    continue;
                }
            }
            any = true;
            const qsizetype start = pos_;
            while (pos_ < size && data[pos_] != '\n' && data[pos_] != '\r')
                ++pos_;
            if (!tooLong) {
                if (line.size() + (pos_ - start) > kMaxLineBytes) {
                    tooLong = true;
                    line = QByteArray();
                } else {
                    line.append(data + start, pos_ - start);
                }
            }
            if (pos_ < size) {
                skipLf_ = data[pos_] == '\r';
                ++pos_;
                return true;
            }
        }
    }

    // The encoding named by a byte-order mark at the start, if any.
    std::optional<TextEncoding> bom() const { return bom_; }
    // True when the data went on past kMaxListBytes.
    bool truncated() const { return truncated_; }
    qint64 consumed() const { return consumed_; }

private:
    bool refill()
    {
        pos_ = 0;
        size_ = 0;
        if (truncated_)
            return false;
        const qint64 room = kMaxListBytes - consumed_;
        if (room <= 0) {
            // Only look whether anything follows.
            char probe;
            if (device_.read(&probe, 1) == 1) {
                truncated_ = true;
                ++consumed_;
            }
            return false;
        }
        qint64 want = std::min(kChunk, room);
        if (!device_.isSequential())  // a small file needs no big buffer
            want = std::clamp<qint64>(device_.size() - device_.pos(), 1, want);
        if (chunk_.size() < want)
            chunk_.resize(want);
        size_ = readInto(0, want);
        if (first_) {
            first_ = false;
            // A sequential device may hand out fewer bytes than asked for; the
            // byte-order mark is looked for in the first four bytes.
            while (size_ > 0 && size_ < 4 && size_ < room) {
                const qsizetype more = readInto(size_, 4 - size_);
                if (more == 0)
                    break;
                size_ += more;
            }
            // A UTF-8 byte-order mark, or GB18030's own (U+FEFF encoded), is
            // dropped and decides the encoding.
            const QByteArrayView start(chunk_.constData(), size_);
            if (start.startsWith("\xEF\xBB\xBF")) {
                bom_ = TextEncoding::Utf8;
                pos_ = 3;
            } else if (start.startsWith("\x84\x31\x95\x33")) {
                bom_ = TextEncoding::Gb18030;
                pos_ = 4;
            }
        }
        consumed_ += size_;
        return pos_ < size_;
    }

    qsizetype readInto(qsizetype offset, qint64 max)
    {
        const qint64 n = device_.read(chunk_.data() + offset, max);
        return n > 0 ? static_cast<qsizetype>(n) : 0;
    }

    static constexpr qint64 kChunk = 64 * 1024;
    QIODevice &device_;
    QByteArray chunk_;    // read buffer, at most kChunk bytes
    qsizetype size_ = 0;  // bytes of chunk_ that hold data
    qsizetype pos_ = 0;
    qint64 consumed_ = 0;
    bool skipLf_ = false;
    bool first_ = true;
    std::optional<TextEncoding> bom_;
    bool truncated_ = false;
};

bool hasTwoSeparators(const QByteArray &line)
{
    // ';' never occurs inside a multi-byte character in UTF-8 or GB18030, so
    // the separators can be found before the line is decoded.
    const qsizetype p1 = line.indexOf(";;");
    return p1 >= 0 && line.indexOf(";;", p1 + 2) >= 0;
}

class ProblemList {
public:
    explicit ProblemList(StationListRead &read) : read_(read) {}
    // Problems about single lines are listed up to a limit; those that end
    // reading (`always`) are always listed.
    void add(qint64 line, const QString &kind, const QString &message, bool always = false)
    {
        if (always || read_.problems.size() < kMaxListedProblems)
            read_.problems.append({line, kind, message});
        else
            ++read_.problemsNotListed;
    }

private:
    StationListRead &read_;
};

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
        empty.errorString = file.errorString();
        return empty;
    }
    return readStationList(file);
}

StationListRead readStationList(QIODevice &device)
{
    StationListRead result;
    result.opened = true;
    ProblemList problems(result);

    // First pass over the bytes: find the lines that take rows. The encoding
    // is only known once every line read has been seen, so decoding waits.
    LineSplitter splitter(device);
    std::vector<RawLine> rows;
    qint64 nonUtf8Lines = 0;     // lines that are not valid UTF-8
    qint64 utf8TextLines = 0;    // valid UTF-8 lines with a long character
    QByteArray line;
    bool tooLong = false;
    qint64 lineNo = 0;
    bool full = false;
    while (splitter.next(line, tooLong)) {
        ++lineNo;
        if (line.isEmpty() && !tooLong)
            continue;  // a zero-length line is blank and takes no row
        if (static_cast<int>(rows.size()) == StationTable::kRows) {
            problems.add(lineNo, QStringLiteral("over-capacity"),
                         QStringLiteral("the list already fills all %1 rows; this line and every "
                                        "later one are ignored")
                             .arg(StationTable::kRows),
                         true);
            full = true;
            break;
        }
        if (tooLong) {
            problems.add(lineNo, QStringLiteral("too-long"),
                         QStringLiteral("line is longer than %1 bytes; skipped").arg(kMaxLineBytes));
            continue;
        }
        const bool utf8 = isValidUtf8(line);
        if (!utf8)
            ++nonUtf8Lines;
        else if (hasLongUtf8Character(line))
            ++utf8TextLines;
        if (!hasTwoSeparators(line)) {
            problems.add(lineNo, QStringLiteral("no-separator"),
                         QStringLiteral("line lacks two \";;\" separators (name;;address;;note); "
                                        "skipped"));
            continue;
        }
        const bool nonAscii = hasNonAscii(line);
        rows.push_back({std::move(line), lineNo, utf8, nonAscii});
        line = QByteArray();
    }
    if (!full && splitter.truncated()) {
        problems.add(lineNo + 1, QStringLiteral("too-large"),
                     QStringLiteral("the file is larger than %1 MiB; reading stopped here")
                         .arg(kMaxListBytes / (1024 * 1024)),
                     true);
    }
    result.bytesRead = splitter.consumed();

    // Second pass: decode and split each kept line into its row. A file is
    // one encoding: GB18030 when it says so with its mark, UTF-8 when every
    // line is valid UTF-8, GB18030 when none has UTF-8 text. Otherwise it
    // mixes the two (lists joined, a UTF-8 mark at the start or not) and
    // each line is decoded on its own: UTF-8 when it is valid UTF-8.
    const std::optional<TextEncoding> bom = splitter.bom();
    result.mixedEncoding = bom != TextEncoding::Gb18030 && nonUtf8Lines > 0 && utf8TextLines > 0;
    if (bom == TextEncoding::Gb18030)
        result.encoding = TextEncoding::Gb18030;
    else if (result.mixedEncoding)
        result.encoding = utf8TextLines >= nonUtf8Lines ? TextEncoding::Utf8 : TextEncoding::Gb18030;
    else
        result.encoding = bom.value_or(nonUtf8Lines == 0 ? TextEncoding::Utf8 : TextEncoding::Gb18030);
    TextDecoder wholeFile(result.encoding);
    TextDecoder utf8Decoder(TextEncoding::Utf8);
    TextDecoder gbDecoder(TextEncoding::Gb18030);
    for (RawLine &raw : rows) {
        TextDecoder *decoder = &wholeFile;
        if (result.mixedEncoding) {
            const TextEncoding lineEncoding = raw.utf8 ? TextEncoding::Utf8 : TextEncoding::Gb18030;
            decoder = raw.utf8 ? &utf8Decoder : &gbDecoder;
            if (raw.nonAscii && lineEncoding != result.encoding)
                problems.add(raw.line, QStringLiteral("mixed-encoding"),
                             QStringLiteral("line decoded as %1, unlike the rest of the list (%2)")
                                 .arg(QString::fromLatin1(encodingName(lineEncoding)),
                                      QString::fromLatin1(encodingName(result.encoding))));
        }
        StationRecord record;
        if (!splitStationLine(decoder->decode(raw.bytes), record)) {
            // Cannot happen with the decoders used (';' is never part of a
            // multi-byte character), but a row is only filled from a full split.
            problems.add(raw.line, QStringLiteral("no-separator"),
                         QStringLiteral("line lacks two \";;\" separators once decoded; skipped"));
            continue;
        }
        raw.bytes = QByteArray();
        const int n = ++result.rowsFilled;
        result.table.row(n) = std::move(record);
        result.rowLine[static_cast<size_t>(n)] = raw.line;
    }
    // Problems of the second pass come after those of the first.
    std::stable_sort(result.problems.begin(), result.problems.end(),
                     [](const ListProblem &a, const ListProblem &b) { return a.line < b.line; });
    return result;
}

}  // namespace kelvaro
