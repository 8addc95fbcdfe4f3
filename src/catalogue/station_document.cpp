// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_document.h"

#include <QBuffer>
#include <QStringEncoder>

#include <algorithm>

namespace kelvaro {

namespace {

const QByteArray kSeparator = QByteArrayLiteral(";;");

#ifdef Q_OS_WIN
const QByteArray kDefaultNewline = QByteArrayLiteral("\r\n");
#else
const QByteArray kDefaultNewline = QByteArrayLiteral("\n");
#endif

// Fills a plain tree and remembers which row added each key: filling calls
// the tree exactly once for every row up to the table's end, in row order.
class RowRecordingTree : public CategoryTree {
public:
    explicit RowRecordingTree(QHash<QString, int> &rows) : rows_(rows) {}
    bool addTopLevel(const QString &key, const QString &text) override
    {
        return note(key, tree.addTopLevel(key, text));
    }
    bool addChild(const QString &parentKey, const QString &key, const QString &text) override
    {
        return note(key, tree.addChild(parentKey, key, text));
    }
    PlainTree tree;

private:
    bool note(const QString &key, bool added)
    {
        ++row_;
        if (added)
            rows_.insert(key, row_);
        return added;
    }
    QHash<QString, int> &rows_;
    int row_ = 0;
};

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator;
    });
}

const PlainTree::Node *findNode(const QList<PlainTree::Node> &nodes, const QString &key)
{
    const auto it = std::find_if(nodes.cbegin(), nodes.cend(),
                                 [&key](const PlainTree::Node &n) { return n.key == key; });
    return it == nodes.cend() ? nullptr : &*it;
}

qsizetype indexOfKey(const QList<PlainTree::Node> &nodes, const QString &key)
{
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        if (nodes[i].key == key)
            return i;
    }
    return -1;
}

}  // namespace

bool operator==(const PlainTree::Node &a, const PlainTree::Node &b)
{
    return a.key == b.key && a.text == b.text && a.children == b.children;
}

StationDocument::StationDocument() : StationDocument(QByteArray()) {}

StationDocument::StationDocument(const QByteArray &bytes)
{
    parse(bytes);
    rebuild();
}

void StationDocument::parse(const QByteArray &bytes)
{
    // The same byte-order marks and line ends the reader knows.
    qsizetype pos = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        pos = 3;
    else if (bytes.startsWith("\x84\x31\x95\x33"))
        pos = 4;
    prefix_ = bytes.left(pos);
    lines_.clear();
    newline_.clear();
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        Line line{bytes.mid(pos, end - pos), {}};
        if (end < bytes.size()) {
            const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
            line.end = bytes.mid(end, crlf ? 2 : 1);
            if (newline_.isEmpty())
                newline_ = line.end;
        }
        pos = end + line.end.size();
        lines_.append(std::move(line));
    }
    if (newline_.isEmpty())
        newline_ = kDefaultNewline;
}

void StationDocument::rebuild()
{
    bytes_ = prefix_;
    for (const Line &line : std::as_const(lines_))
        bytes_ += line.text + line.end;
    QBuffer buffer(&bytes_);
    buffer.open(QIODevice::ReadOnly);
    read_ = readStationList(buffer);
    rowOfKey_.clear();
    RowRecordingTree recorder(rowOfKey_);
    fillCategoryTree(read_.table, recorder);
    tree_ = recorder.tree.nodes();
}

const PlainTree::Node *StationDocument::category(const QString &name) const
{
    return findNode(tree_, name);
}

const PlainTree::Node *StationDocument::categoryOf(const QString &address, int *index) const
{
    for (const PlainTree::Node &category : tree_) {
        const qsizetype i = indexOfKey(category.children, address);
        if (i >= 0) {
            if (index)
                *index = int(i);
            return &category;
        }
    }
    return nullptr;
}

qsizetype StationDocument::lineOfRow(int row) const
{
    return qsizetype(read_.rowLine[size_t(row)]) - 1;
}

qsizetype StationDocument::insertionLine(const PlainTree::Node &category, int index) const
{
    const auto &children = category.children;
    if (index >= 0 && index < children.size())
        return lineOfRow(rowOfKey_.value(children[index].key));
    const QString &last = children.isEmpty() ? category.key : children.last().key;
    return lineOfRow(rowOfKey_.value(last)) + 1;
}

QByteArray StationDocument::encode(const QString &text) const
{
    // A list that mixes encodings is read line by line, and a line of valid
    // UTF-8 is read as UTF-8 there.
    if (read_.encoding == TextEncoding::Utf8 || read_.mixedEncoding)
        return text.toUtf8();
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid())  // the reader then decodes with the system code page too
        encoder = QStringEncoder(QStringEncoder::System);
    return encoder.encode(text);
}

QByteArray StationDocument::stationLine(const StationRecord &station) const
{
    return encode(station.name) + kSeparator + encode(station.address) + kSeparator + encode(station.extra);
}

QString StationDocument::nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("名称不能为空。");
    if (name.contains(QLatin1String(";;")) || name.endsWith(QLatin1Char(';')))
        return QStringLiteral("名称中不能有“;;”，也不能以“;”结尾。");
    if (hasControlCharacter(name))
        return QStringLiteral("名称中不能有换行、制表符或其他控制字符。");
    return {};
}

QString StationDocument::addressProblem(const QString &address)
{
    if (address.isEmpty())
        return QStringLiteral("地址不能为空。");
    if (address.contains(QLatin1String(";;")) || address.endsWith(QLatin1Char(';')))
        return QStringLiteral("地址中不能有“;;”，也不能以“;”结尾。");
    if (hasControlCharacter(address) || address.contains(QLatin1Char(' ')))
        return QStringLiteral("地址中不能有空格、换行或控制字符。");
    if (address == kCategorySentinel)
        return QStringLiteral("“%1”是分类的标记，不能用作电台地址。").arg(kCategorySentinel);
    return {};
}

QString StationDocument::noteProblem(const QString &note)
{
    if (hasControlCharacter(note))
        return QStringLiteral("备注中不能有换行、制表符或其他控制字符。");
    return {};
}

QString StationDocument::stationProblem(const StationRecord &station)
{
    for (const QString &problem :
         {nameProblem(station.name), addressProblem(station.address), noteProblem(station.extra)}) {
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

StationEdit StationDocument::editable() const
{
    const bool cutShort = std::any_of(read_.problems.cbegin(), read_.problems.cend(),
                                      [](const ListProblem &p) { return p.kind == QLatin1String("too-large"); });
    if (cutShort)
        return StationEdit::refused(QStringLiteral("电台列表文件太大，无法在程序中修改。"));
    return StationEdit::done();
}

StationEdit StationDocument::findStation(const QString &address, const PlainTree::Node *&holder, int &index) const
{
    if (StationEdit why = editable(); !why.ok)
        return why;
    holder = categoryOf(address, &index);
    return holder ? StationEdit::done() : StationEdit::refused(QStringLiteral("列表中没有这个电台。"));
}

StationEdit StationDocument::checkNewKey(const QString &key, const QString &allowed) const
{
    if (key == allowed || !rowOfKey_.contains(key))
        return StationEdit::done();
    if (category(key))
        return StationEdit::refused(QStringLiteral("已有名为“%1”的分类。").arg(key));
    int index = 0;
    if (const PlainTree::Node *holder = categoryOf(key, &index)) {
        return StationEdit::refused(QStringLiteral("这个地址已是电台“%1”（分类“%2”）的地址。")
                                        .arg(holder->children[index].text, holder->text));
    }
    return StationEdit::refused(QStringLiteral("“%1”已在列表中。").arg(key));
}

StationEdit StationDocument::commit(QList<Line> lines, const QList<PlainTree::Node> &expected)
{
    StationDocument candidate = *this;
    candidate.lines_ = std::move(lines);
    candidate.rebuild();
    QList<PlainTree::Node> seen = candidate.tree_;
    if (read_.rowsFilled == StationTable::kRows) {
        // In a list with more rows than the table holds, a row that goes lets
        // the first one past the limit in: it was in the file all along, and
        // not the edit's doing. Edits only touch lines up to the last row, so
        // the lines after it are the same last lines of the new list.
        const qsizetype tail = lines_.size() - (lineOfRow(StationTable::kRows) + 1);
        const qsizetype firstTailLine = candidate.lines_.size() - tail;
        const auto cameIn = [&](const PlainTree::Node &node) {
            return candidate.lineOfRow(candidate.rowOfKey_.value(node.key)) >= firstTailLine;
        };
        seen.removeIf(cameIn);
        for (PlainTree::Node &category : seen)
            category.children.removeIf(cameIn);
    }
    if (seen == expected) {
        *this = std::move(candidate);
        return StationEdit::done();
    }
    if (candidate.read_.rowsFilled == StationTable::kRows)
        return StationEdit::refused(
            QStringLiteral("列表已满：分类和电台最多共 %1 行。").arg(StationTable::kRows));
    return StationEdit::refused(
        QStringLiteral("这样修改会改变列表中其他行的含义（kelvaro-check 可以显示列表的问题），已取消。"));
}

StationEdit StationDocument::addStation(const QString &categoryName, int index, const StationRecord &station)
{
    if (StationEdit why = editable(); !why.ok)
        return why;
    const PlainTree::Node *target = category(categoryName);
    if (!target)
        return StationEdit::refused(QStringLiteral("没有名为“%1”的分类。").arg(categoryName));
    if (const QString problem = stationProblem(station); !problem.isEmpty())
        return StationEdit::refused(problem);
    if (StationEdit clash = checkNewKey(station.address); !clash.ok)
        return clash;

    const qsizetype at = insertionLine(*target, index);
    QList<Line> lines = lines_;
    if (at == lines.size() && !lines.isEmpty() && lines.last().end.isEmpty())
        lines.last().end = newline_;
    lines.insert(at, Line{stationLine(station), newline_});

    QList<PlainTree::Node> expected = tree_;
    auto &children = expected[indexOfKey(expected, categoryName)].children;
    const qsizetype place = index >= 0 && index < children.size() ? index : children.size();
    children.insert(place, {station.address, station.name, {}});
    return commit(std::move(lines), expected);
}

StationEdit StationDocument::updateStation(const QString &address, const StationRecord &station)
{
    const PlainTree::Node *holder = nullptr;
    int index = 0;
    if (StationEdit why = findStation(address, holder, index); !why.ok)
        return why;
    if (const QString problem = stationProblem(station); !problem.isEmpty())
        return StationEdit::refused(problem);
    if (StationEdit clash = checkNewKey(station.address, address); !clash.ok)
        return clash;

    // A field that did not change keeps its bytes.
    const int row = rowOfKey_.value(address);
    const StationRecord &old = read_.table.row(row);
    QList<Line> lines = lines_;
    QByteArray &text = lines[lineOfRow(row)].text;
    const qsizetype p1 = text.indexOf(kSeparator);
    const qsizetype p2 = text.indexOf(kSeparator, p1 + 2);
    const auto field = [this](const QString &now, const QString &before, const QByteArray &bytes) {
        return now == before ? bytes : encode(now);
    };
    text = field(station.name, old.name, text.left(p1)) + kSeparator
        + field(station.address, old.address, text.mid(p1 + 2, p2 - p1 - 2)) + kSeparator
        + field(station.extra, old.extra, text.mid(p2 + 2));

    QList<PlainTree::Node> expected = tree_;
    expected[indexOfKey(expected, holder->key)].children[index] = {station.address, station.name, {}};
    return commit(std::move(lines), expected);
}

StationEdit StationDocument::removeStation(const QString &address)
{
    const PlainTree::Node *holder = nullptr;
    int index = 0;
    if (StationEdit why = findStation(address, holder, index); !why.ok)
        return why;
    QList<Line> lines = lines_;
    lines.removeAt(lineOfRow(rowOfKey_.value(address)));
    QList<PlainTree::Node> expected = tree_;
    expected[indexOfKey(expected, holder->key)].children.removeAt(index);
    return commit(std::move(lines), expected);
}

StationEdit StationDocument::moveStation(const QString &address, const QString &categoryName, int index)
{
    const PlainTree::Node *holder = nullptr;
    int from = 0;
    if (StationEdit why = findStation(address, holder, from); !why.ok)
        return why;
    if (!category(categoryName))
        return StationEdit::refused(QStringLiteral("没有名为“%1”的分类。").arg(categoryName));

    // The line leaves its place, keeping its bytes, and goes where a new
    // station at `index` would go in the list without it.
    const qsizetype lineIndex = lineOfRow(rowOfKey_.value(address));
    Line moved = lines_[lineIndex];
    if (moved.end.isEmpty())
        moved.end = newline_;
    StationDocument without = *this;
    without.lines_.removeAt(lineIndex);
    without.rebuild();
    const PlainTree::Node *target = without.category(categoryName);
    if (!target)
        return StationEdit::refused(QStringLiteral("这样修改会改变列表中其他行的含义，已取消。"));
    const qsizetype at = without.insertionLine(*target, index);
    QList<Line> lines = without.lines_;
    if (at == lines.size() && !lines.isEmpty() && lines.last().end.isEmpty())
        lines.last().end = newline_;
    lines.insert(at, moved);

    QList<PlainTree::Node> expected = tree_;
    const PlainTree::Node node = holder->children[from];
    expected[indexOfKey(expected, holder->key)].children.removeAt(from);
    auto &children = expected[indexOfKey(expected, categoryName)].children;
    children.insert(index >= 0 && index < children.size() ? index : children.size(), node);
    return commit(std::move(lines), expected);
}

StationEdit StationDocument::addCategory(const QString &name)
{
    if (StationEdit why = editable(); !why.ok)
        return why;
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return StationEdit::refused(problem);
    if (StationEdit clash = checkNewKey(name); !clash.ok)
        return clash;
    // After the last row the tree shows, so before an empty name that ends
    // the list and before lines past it.
    const int used = read_.table.usedRows();
    qsizetype at = lines_.size();
    if (used > 0)
        at = lineOfRow(used) + 1;
    else if (read_.rowsFilled > 0)
        at = lineOfRow(1);
    QList<Line> lines = lines_;
    if (at == lines.size() && !lines.isEmpty() && lines.last().end.isEmpty())
        lines.last().end = newline_;
    lines.insert(at, Line{stationLine({name, kCategorySentinel, {}}), newline_});

    QList<PlainTree::Node> expected = tree_;
    expected.append({name, name, {}});
    return commit(std::move(lines), expected);
}

StationEdit StationDocument::renameCategory(const QString &name, const QString &newName)
{
    if (StationEdit why = editable(); !why.ok)
        return why;
    if (!category(name))
        return StationEdit::refused(QStringLiteral("没有名为“%1”的分类。").arg(name));
    if (const QString problem = nameProblem(newName); !problem.isEmpty())
        return StationEdit::refused(problem);
    if (StationEdit clash = checkNewKey(newName, name); !clash.ok)
        return clash;
    // Every heading with the name: a repeated heading continues the category.
    QList<Line> lines = lines_;
    const int used = read_.table.usedRows();
    for (int row = 1; row <= used; ++row) {
        const StationRecord &record = read_.table.row(row);
        if (record.address != kCategorySentinel || record.name != name)
            continue;
        QByteArray &text = lines[lineOfRow(row)].text;
        text = encode(newName) + text.mid(text.indexOf(kSeparator));
    }
    QList<PlainTree::Node> expected = tree_;
    PlainTree::Node &node = expected[indexOfKey(expected, name)];
    node.key = node.text = newName;
    return commit(std::move(lines), expected);
}

QList<qsizetype> StationDocument::categoryLines(const QString &name) const
{
    QList<qsizetype> lines;
    bool inside = false;
    const int used = read_.table.usedRows();
    for (int row = 1; row <= used; ++row) {
        const StationRecord &record = read_.table.row(row);
        if (record.address == kCategorySentinel)
            inside = record.name == name;
        if (inside)
            lines.append(lineOfRow(row));
    }
    return lines;
}

StationEdit StationDocument::removeCategory(const QString &name)
{
    if (StationEdit why = editable(); !why.ok)
        return why;
    if (!category(name))
        return StationEdit::refused(QStringLiteral("没有名为“%1”的分类。").arg(name));
    // Lines that take no row (blank or skipped lines) stay.
    const QList<qsizetype> gone = categoryLines(name);
    QList<Line> lines = lines_;
    for (auto it = gone.crbegin(); it != gone.crend(); ++it)
        lines.removeAt(*it);
    QList<PlainTree::Node> expected = tree_;
    expected.removeAt(indexOfKey(expected, name));
    return commit(std::move(lines), expected);
}

StationEdit StationDocument::moveCategory(const QString &name, int step)
{
    if (StationEdit why = editable(); !why.ok)
        return why;
    const qsizetype from = indexOfKey(tree_, name);
    const qsizetype to = from + step;
    if (from < 0 || to < 0 || to >= tree_.size() || step == 0)
        return StationEdit::refused(QStringLiteral("分类不能再移动了。"));
    // Its rows leave their places, keeping their bytes. Categories are in
    // the order of their first headings, so the rows go before the first
    // heading of the category it is to come before, or after the list's
    // last row when it is to be the last, in the list without them.
    const QList<qsizetype> moving = categoryLines(name);
    QList<Line> block;
    StationDocument without = *this;
    for (auto it = moving.crbegin(); it != moving.crend(); ++it)
        block.prepend(without.lines_.takeAt(*it));
    if (block.last().end.isEmpty())
        block.last().end = newline_;
    without.rebuild();
    const qsizetype next = step < 0 ? to : to + 1;  // the category to come before
    qsizetype at = -1;
    if (next < tree_.size()) {
        const QList<qsizetype> before = without.categoryLines(tree_[next].key);
        at = before.isEmpty() ? -1 : before.first();
    } else if (const int used = without.read_.table.usedRows(); used > 0) {
        at = without.lineOfRow(used) + 1;
    }
    if (at < 0)
        return StationEdit::refused(QStringLiteral("这样修改会改变列表中其他行的含义，已取消。"));
    QList<Line> lines = without.lines_;
    if (at == lines.size() && !lines.isEmpty() && lines.last().end.isEmpty())
        lines.last().end = newline_;
    for (qsizetype i = 0; i < block.size(); ++i)
        lines.insert(at + i, block[i]);

    QList<PlainTree::Node> expected = tree_;
    expected.move(from, to);
    return commit(std::move(lines), expected);
}

}  // namespace kelvaro
