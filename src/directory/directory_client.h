// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace kelvaro {

// One station as the directory lists it, cleaned for this program: the name
// is one line that fits a station list line, the address is one the player
// accepts.
struct DirectoryStation {
    QString uuid;         // the directory's stationuuid
    QString name;
    QString address;      // `url`, or `url_resolved` where `url` is refused
    QString countryCode;  // ISO 3166-1 alpha-2, upper case; may be empty
    QString country;
    QString language;
    QString codec;
    int bitrate = 0;      // kbit/s; 0 when unknown
    QStringList tags;
    bool working = true;  // the directory's last check found it playing
    int votes = 0;
    int clicks = 0;
};

// What the user searches for. Empty fields do not filter.
struct DirectoryQuery {
    QString name;
    QString countryCode = QStringLiteral("CN");  // empty: all countries
    QString language;
    QString tag;
    bool hideBroken = true;
    int offset = 0;
    int limit = 100;

    bool operator==(const DirectoryQuery &) const = default;
};

// One entry of a filter list (countries, languages, tags).
struct DirectoryFilter {
    QString name;  // as the directory spells it (a country's name, a language, a tag)
    QString code;  // countries: the ISO code; otherwise empty
    int stationCount = 0;
};

// The station directory (Radio Browser) over its JSON API, asynchronous and on
// the caller's thread: nothing here ever waits. Servers are found through DNS
// when first needed (nothing is sent before the first request), tried in a
// shuffled order, each with a time limit before the next. Answers are parsed
// off the caller's thread and checked whole: a malformed, oversized or late
// answer gives a message, never part of a list.
class DirectoryClient : public QObject {
    Q_OBJECT
public:
    explicit DirectoryClient(QObject *parent = nullptr);
    ~DirectoryClient() override;

    // Starts a search and returns its number; a search in flight is
    // cancelled (it will not be answered).
    int search(const DirectoryQuery &query);
    void cancelSearch();

    // Tells the directory the user listens to a station (how it counts
    // popularity). Fire and forget.
    void countListen(const QString &uuid);

    enum class FilterKind { Countries, Languages, Tags };
    Q_ENUM(FilterKind)
    // Asks for a filter list; answered from the cache after the first time
    // (kept while the program runs).
    void requestFilters(FilterKind kind);

signals:
    // `stations` in the directory's order; `more`: a further page may exist.
    void searchFinished(int search, const QList<kelvaro::DirectoryStation> &stations, bool more);
    // `message` is for the user, in Chinese.
    void searchFailed(int search, const QString &message);
    void filtersReady(kelvaro::DirectoryClient::FilterKind kind, const QList<kelvaro::DirectoryFilter> &filters);
    void filtersFailed(kelvaro::DirectoryClient::FilterKind kind, const QString &message);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kelvaro

Q_DECLARE_METATYPE(kelvaro::DirectoryStation)
