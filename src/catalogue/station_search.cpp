// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_search.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace kelvaro {

namespace {

// Han characters as pinyin without tone marks, lower case. "/Names" reads
// place and family names as names (重庆 is chong qing, not zhong qing).
std::unique_ptr<icu::Transliterator> makeTransliterator()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> latin(icu::Transliterator::createInstance(
        "Han-Latin/Names; Latin-ASCII; Lower", UTRANS_FORWARD, status));
    return U_SUCCESS(status) ? std::move(latin) : nullptr;
}

}  // namespace

struct PinyinReader::Transliteration {
    std::unique_ptr<icu::Transliterator> latin = makeTransliterator();
};

PinyinReader::PinyinReader() : latin_(std::make_unique<Transliteration>()) {}

PinyinReader::~PinyinReader() = default;

QStringList PinyinReader::syllables(const QString &name) const
{
    icu::Transliterator *latin = latin_->latin.get();
    QString read = name.toLower();
    if (latin) {
        icu::UnicodeString text(reinterpret_cast<const UChar *>(name.utf16()), static_cast<int32_t>(name.size()));
        latin->transliterate(text);
        read = QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
    }
    // Syllables come out separated by spaces; anything that is not a Latin
    // letter or digit separates words too.
    QStringList syllables;
    QString word;
    for (const QChar c : std::as_const(read)) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
            word += c;
        } else if (!word.isEmpty()) {
            syllables << word;
            word.clear();
        }
    }
    if (!word.isEmpty())
        syllables << word;
    return syllables;
}

namespace {

// True when `query`, from `at` on, is spelled by syllables `from`, `from+1`, …
// each giving a non-empty prefix of itself (its initial, part of it or all of
// it). `failed` remembers (syllable, position) pairs already known not to
// work, so the search stays linear in practice.
bool spells(const QStringList &syllables, qsizetype from, const QString &query, qsizetype at,
            std::vector<char> &failed)
{
    if (at == query.size())
        return true;
    if (from == syllables.size())
        return false;
    char &known = failed[static_cast<size_t>(from * (query.size() + 1) + at)];
    if (known)
        return false;
    const QString &syllable = syllables[from];
    for (qsizetype n = 1; n <= syllable.size() && at + n <= query.size(); ++n) {
        if (syllable[n - 1] != query[at + n - 1])
            break;
        if (spells(syllables, from + 1, query, at + n, failed))
            return true;
    }
    known = 1;
    return false;
}

}  // namespace

bool spelledBySyllables(const QStringList &syllables, const QString &query)
{
    std::vector<char> failed(static_cast<size_t>((syllables.size() + 1) * (query.size() + 1)), 0);
    for (qsizetype start = 0; start < syllables.size(); ++start) {
        if (spells(syllables, start, query, 0, failed))
            return true;
    }
    return false;
}

QString pinyinQuery(const QString &query)
{
    QString latin;
    for (const QChar c : query) {
        const QChar lower = c.toLower();
        if ((lower >= u'a' && lower <= u'z') || (lower >= u'0' && lower <= u'9'))
            latin += lower;
        else if (c != u' ' && c != u'\'')
            return {};
    }
    return latin;
}

StationSearch StationSearch::index(const QList<PlainTree::Node> &tree)
{
    const PinyinReader latin;
    StationSearch search;
    for (const PlainTree::Node &category : tree) {
        for (const PlainTree::Node &station : category.children)
            search.stations_.append({category.text, station.text, station.key, latin.syllables(station.text)});
    }
    return search;
}

QList<StationSearch::Station> StationSearch::find(const QString &query, int limit) const
{
    const QString written = query.trimmed();
    if (written.isEmpty() || limit <= 0)
        return {};
    const QString latin = pinyinQuery(written);
    QList<Station> byName;
    QList<Station> byPinyin;
    for (const Station &station : stations_) {
        if (station.name.contains(written, Qt::CaseInsensitive))
            byName.append(station);
        else if (!latin.isEmpty() && spelledBySyllables(station.syllables, latin))
            byPinyin.append(station);
        if (byName.size() >= limit)
            break;
    }
    byName += byPinyin;
    return byName.mid(0, limit);
}

}  // namespace kelvaro
