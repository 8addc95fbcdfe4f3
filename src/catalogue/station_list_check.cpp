// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_list_check.h"

#include <algorithm>

namespace kelvaro {

bool PlainTree::addTopLevel(const QString &key, const QString &text)
{
    if (keys_.contains(key))
        return false;
    keys_.insert(key, true);
    categoryIndex_.insert(key, nodes_.size());
    nodes_.append({key, text, {}});
    return true;
}

bool PlainTree::addChild(const QString &parentKey, const QString &key, const QString &text)
{
    const auto parent = categoryIndex_.constFind(parentKey);
    if (parent == categoryIndex_.cend() || keys_.contains(key))
        return false;
    keys_.insert(key, true);
    nodes_[*parent].children.append({key, text, {}});
    return true;
}

int StationListCheck::exitCode() const
{
    if (!readable())
        return 2;
    return problems.isEmpty() && problemsNotListed == 0 ? 0 : 1;
}

bool looksLikeCategorySentinel(const QString &address)
{
    if (address == kCategorySentinel)
        return false;
    QString bare = address;
    if (bare.endsWith(QLatin1Char('/')))
        bare.chop(1);
    return bare.compare(kCategorySentinel, Qt::CaseInsensitive) == 0;
}

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

}  // namespace

StationListCheck checkStationList(StationListRead read)
{
    StationListCheck check;
    check.read = std::move(read);
    const StationListRead &r = check.read;
    check.problems = r.problems;
    check.problemsNotListed = r.problemsNotListed;
    if (!r.opened)
        return check;

    const auto lineOf = [&r](int row) { return r.rowLine[static_cast<size_t>(row)]; };
    const StationTable &table = r.table;

    PlainTree tree;
    const QList<FillProblem> fillProblems = fillCategoryTree(table, tree);
    check.tree = tree.nodes();

    for (const FillProblem &p : fillProblems) {
        const StationRecord &record = table.row(p.row);
        const bool heading = record.address == kCategorySentinel;
        switch (p.kind) {
        case FillProblem::Kind::StationBeforeCategory:
            check.problems.append(
                {lineOf(p.row), QStringLiteral("station-before-category"),
                 p.earlierRow == 0
                     ? QStringLiteral("station %1 comes before any category heading; skipped")
                           .arg(quoted(record.name))
                     : QStringLiteral("station %1 is under the heading on line %2, which could not "
                                      "become a category; skipped")
                           .arg(quoted(record.name))
                           .arg(lineOf(p.earlierRow))});
            break;
        case FillProblem::Kind::DuplicateKey: {
            const qint64 earlierLine = lineOf(p.earlierRow);
            const bool earlierHeading = table.row(p.earlierRow).address == kCategorySentinel;
            QString message;
            if (heading && earlierHeading)
                message = QStringLiteral("category %1 already exists (line %2); no second node is "
                                         "added and the stations below join that category")
                              .arg(quoted(record.name))
                              .arg(earlierLine);
            else if (heading)
                message = QStringLiteral("category name %1 is already the address of the station on "
                                         "line %2; the heading and its stations are skipped")
                              .arg(quoted(record.name))
                              .arg(earlierLine);
            else if (earlierHeading)
                message = QStringLiteral("station address %1 is already the name of the category on "
                                         "line %2; skipped")
                              .arg(quoted(record.address))
                              .arg(earlierLine);
            else
                message = QStringLiteral("station address %1 is already used on line %2; skipped")
                              .arg(quoted(record.address))
                              .arg(earlierLine);
            check.problems.append({lineOf(p.row), QStringLiteral("duplicate-key"), message});
            break;
        }
        case FillProblem::Kind::Refused:
            check.problems.append({lineOf(p.row), QStringLiteral("duplicate-key"),
                                   QStringLiteral("the tree refused this row; skipped")});
            break;
        }
    }

    const int used = table.usedRows();
    for (int row = 1; row <= used; ++row) {
        const QString &address = table.row(row).address;
        if (looksLikeCategorySentinel(address))
            check.problems.append(
                {lineOf(row), QStringLiteral("sentinel-lookalike"),
                 QStringLiteral("address %1 is not the category marker %2 (which must match exactly); "
                                "the line is a station, not a category heading")
                     .arg(quoted(address), quoted(kCategorySentinel))});
    }
    if (used < r.rowsFilled) {
        const int later = r.rowsFilled - used - 1;
        check.problems.append(
            {lineOf(used + 1), QStringLiteral("empty-name"),
             later == 0 ? QStringLiteral("the name is empty, which ends the list here")
                        : QStringLiteral("the name is empty, which ends the list here; the %1 later "
                                         "row(s) are never shown")
                              .arg(later)});
    }

    std::stable_sort(check.problems.begin(), check.problems.end(),
                     [](const ListProblem &a, const ListProblem &b) { return a.line < b.line; });
    return check;
}

StationListCheck checkStationList(const QString &path)
{
    return checkStationList(readStationList(path));
}

QByteArray checkReportText(const StationListCheck &check, const QString &fileName)
{
    QString out;
    if (!check.readable()) {
        out += QStringLiteral("%1: cannot be read: %2\n").arg(fileName, check.read.errorString);
        return out.toUtf8();
    }
    int stations = 0;
    for (const auto &category : check.tree)
        stations += static_cast<int>(category.children.size());
    const QString encoding = QString::fromLatin1(encodingName(check.read.encoding));
    out += QStringLiteral("%1 (%2, %3 rows)\n")
               .arg(fileName,
                    check.read.mixedEncoding
                        ? QStringLiteral("mixed: %1, some lines %2")
                              .arg(encoding, QString::fromLatin1(encodingName(
                                                 check.read.encoding == TextEncoding::Utf8 ? TextEncoding::Gb18030
                                                                                           : TextEncoding::Utf8)))
                        : encoding)
               .arg(check.read.rowsFilled);
    out += QStringLiteral("Tree: %1 categories, %2 stations\n").arg(check.tree.size()).arg(stations);
    for (const auto &category : check.tree) {
        out += QStringLiteral("  %1\n").arg(category.text);
        for (const auto &station : category.children)
            out += QStringLiteral("    %1  <%2>\n").arg(station.text, station.key);
    }
    if (check.problems.isEmpty() && check.problemsNotListed == 0) {
        out += QStringLiteral("No problems.\n");
    } else {
        out += QStringLiteral("Problems: %1\n").arg(check.problems.size() + check.problemsNotListed);
        for (const ListProblem &p : check.problems)
            out += QStringLiteral("  line %1: %2: %3\n").arg(p.line).arg(p.kind, p.message);
        if (check.problemsNotListed > 0)
            out += QStringLiteral("  ... and %1 more, not listed\n").arg(check.problemsNotListed);
    }
    return out.toUtf8();
}

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        switch (u) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                out += QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0');
            } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                out += text.mid(i, 2).toUtf8();
                ++i;
            } else if (c.isSurrogate()) {
                // A surrogate without its partner is written escaped so the
                // output stays valid UTF-8.
                out += QByteArray("\\u") + QByteArray::number(u, 16).rightJustified(4, '0');
            } else {
                out += QString(c).toUtf8();
            }
        }
    }
    out += '"';
}

namespace {

void appendKeyValue(QByteArray &out, const char *key, const QString &value)
{
    appendJsonString(out, QString::fromLatin1(key));
    out += ": ";
    appendJsonString(out, value);
}

}  // namespace

QByteArray checkReportJson(const StationListCheck &check)
{
    const StationListRead &r = check.read;
    QByteArray out;
    out += "{\"encoding\": ";
    appendJsonString(out, QString::fromLatin1(encodingName(r.encoding)));

    out += ",\n \"rows\": [";
    for (int row = 1; row <= r.rowsFilled; ++row) {
        const StationRecord &record = r.table.row(row);
        out += row == 1 ? "\n  {" : ",\n  {";
        out += "\"row\": " + QByteArray::number(row) + ", ";
        appendKeyValue(out, "name", record.name);
        out += ", ";
        appendKeyValue(out, "address", record.address);
        out += ", ";
        appendKeyValue(out, "extra", record.extra);
        out += '}';
    }
    out += "],\n \"tree\": [";
    bool firstCategory = true;
    for (const auto &category : check.tree) {
        out += firstCategory ? "\n  {" : ",\n  {";
        firstCategory = false;
        appendKeyValue(out, "key", category.key);
        out += ", ";
        appendKeyValue(out, "text", category.text);
        out += ", \"children\": [";
        bool firstStation = true;
        for (const auto &station : category.children) {
            out += firstStation ? "\n    {" : ",\n    {";
            firstStation = false;
            appendKeyValue(out, "key", station.key);
            out += ", ";
            appendKeyValue(out, "text", station.text);
            out += '}';
        }
        out += "]}";
    }
    out += "],\n \"problems\": [";
    bool firstProblem = true;
    for (const ListProblem &p : check.problems) {
        out += firstProblem ? "\n  {" : ",\n  {";
        firstProblem = false;
        out += "\"line\": " + QByteArray::number(p.line) + ", ";
        appendKeyValue(out, "kind", p.kind);
        out += ", ";
        appendKeyValue(out, "message", p.message);
        out += '}';
    }
    out += ']';
    if (check.problemsNotListed > 0)
        out += ",\n \"problems_not_listed\": " + QByteArray::number(check.problemsNotListed);
    out += "}\n";
    return out;
}

}  // namespace kelvaro
