// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_list_check.h"  // PlainTree

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace kelvaro {

// Reads text as the station search does: Han characters as pinyin without
// tones, everything lower case, split into syllables and words. Made once and
// used for many texts; loading ICU's transliteration takes a tenth of a
// second, so make it off the UI thread. One reader belongs to one thread.
class PinyinReader {
public:
    PinyinReader();
    ~PinyinReader();
    QStringList syllables(const QString &text) const;

private:
    struct Transliteration;
    std::unique_ptr<Transliteration> latin_;
};

// What is typed, as pinyin is typed: letters and digits only, lower case;
// empty when it holds anything else (Chinese, punctuation).
QString pinyinQuery(const QString &typed);
// True when `latinQuery` (from pinyinQuery()) is spelled by consecutive
// syllables, each giving its initial, part of itself or all of itself.
bool spelledBySyllables(const QStringList &syllables, const QString &latinQuery);

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
