// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_file.h"
#include "station_list_check.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace kelvaro {

// The outcome of an edit: refused edits say why, in words for the user; an
// edit that went through may have something to say too.
struct StationEdit {
    bool ok = false;
    QString message;
    static StationEdit done() { return {true, {}}; }
    static StationEdit refused(const QString &why) { return {false, why}; }
};

// A station list as an editable document. It keeps the file's bytes line by
// line, with each line's own ending, so an edit changes only the lines it
// means to: lines the reader skips, blank lines, notes, the byte-order mark,
// the encoding and the line ends all stay as they were. What the lines mean
// is decided by the reader (readStationList) and the tree filling, exactly as
// at start-up; after every edit the document reads its new bytes again and
// the edit is kept only when the resulting tree is the one the edit meant.
//
// Stations are named by their address and categories by their name, the keys
// the tree uses. An edit never touches the file; writing is the saver's job.
class StationDocument {
public:
    StationDocument();  // an empty list
    explicit StationDocument(const QByteArray &bytes);

    const QByteArray &bytes() const { return bytes_; }
    const StationListRead &read() const { return read_; }
    // The tree as the window shows it.
    const QList<PlainTree::Node> &tree() const { return tree_; }

    const PlainTree::Node *category(const QString &name) const;
    // The category holding a station and the station's place in it; null
    // when no shown station has that address.
    const PlainTree::Node *categoryOf(const QString &address, int *index = nullptr) const;

    // Adds a station to a category at `index` (-1: at the end).
    StationEdit addStation(const QString &category, int index, const StationRecord &station);
    // Changes a station's name, address and note.
    StationEdit updateStation(const QString &address, const StationRecord &station);
    StationEdit removeStation(const QString &address);
    // Moves a station to `index` (-1: the end) of a category, which may be its own.
    StationEdit moveStation(const QString &address, const QString &category, int index);
    // A new, empty category after the last one.
    StationEdit addCategory(const QString &name);
    StationEdit renameCategory(const QString &name, const QString &newName);
    // Removes the category's headings and every station line under them.
    StationEdit removeCategory(const QString &name);
    // Moves a category with its stations `step` places up (-1) or down (+1).
    StationEdit moveCategory(const QString &name, int step);

    // Why a name, address or note cannot be written into a line; empty when it can.
    static QString nameProblem(const QString &name);
    static QString addressProblem(const QString &address);
    static QString noteProblem(const QString &note);
    // The first of the three above for a station; empty when it can be written.
    static QString stationProblem(const StationRecord &station);

private:
    struct Line {
        QByteArray text;  // without its ending
        QByteArray end;   // "\r\n", "\n", "\r", or empty for a last line without one
    };

    void parse(const QByteArray &bytes);
    void rebuild();  // bytes_, read_ and tree_ from prefix_ and lines_
    // Index in lines_ of the line that holds a row.
    qsizetype lineOfRow(int row) const;
    // The lines of the rows under a category's headings (its headings
    // included), up to the next heading of another category; in file order.
    QList<qsizetype> categoryLines(const QString &name) const;
    // Where a new station line goes to be station `index` of a category.
    qsizetype insertionLine(const PlainTree::Node &category, int index) const;
    QByteArray encode(const QString &text) const;
    QByteArray stationLine(const StationRecord &station) const;
    // Replaces the document with `lines` when the tree they give is
    // `expected`; otherwise leaves it as it is and refuses.
    StationEdit commit(QList<Line> lines, const QList<PlainTree::Node> &expected);
    StationEdit checkNewKey(const QString &key, const QString &allowed = {}) const;
    StationEdit editable() const;
    // The list can be edited and shows a station with this address: its
    // category and its place there.
    StationEdit findStation(const QString &address, const PlainTree::Node *&holder, int &index) const;

    QByteArray prefix_;   // the byte-order mark, if any
    QByteArray newline_;  // the file's line ending, used for new lines
    QList<Line> lines_;
    QByteArray bytes_;
    StationListRead read_;
    QList<PlainTree::Node> tree_;
    QHash<QString, int> rowOfKey_;  // tree key -> the row that added it
};

bool operator==(const PlainTree::Node &a, const PlainTree::Node &b);

}  // namespace kelvaro
