// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_list_check.h"  // PlainTree

#include <QList>
#include <QString>
#include <QStringList>

namespace kelvaro {

// Finds the user's own stations by what is typed: a piece of the name as it
// is written, or Latin letters read as the name's pinyin, whole or by
// initials, or a mix ("zhongguo", "zgzs", "zgzhisheng" all find 中国之声).
//
// Making an index reads every name through ICU's Han-to-Latin
// transliteration, which takes a tenth of a second to load: make it off the
// UI thread. A query over it is cheap.
class StationSearch {
public:
    struct Station {
        QString category;
        QString name;
        QString address;
        QStringList syllables;  // the name read as Latin, lower case, one entry a syllable or word
    };

    StationSearch() = default;
    // The stations of a tree as the window shows it (categories at the top).
    static StationSearch index(const QList<PlainTree::Node> &tree);

    // The stations that match, best first: names holding the text as
    // written, then pinyin matches; in list order within each. At most `limit`.
    QList<Station> find(const QString &query, int limit) const;

    qsizetype size() const { return stations_.size(); }

private:
    QList<Station> stations_;
};

}  // namespace kelvaro
