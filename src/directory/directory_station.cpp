// SPDX-License-Identifier: GPL-3.0-or-later
#include "directory_station.h"

#include "address_check.h"
#include "station_document.h"
#include "text_decoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace kelvaro {

namespace {

// A name as a station line can hold it (StationDocument::nameProblem
// accepts it, unless it is empty).
QString lineName(const QString &raw)
{
    QString name = singleLineText(raw);
    name.replace(QLatin1String(";;"), QStringLiteral("；"));
    // "name;" would run into the ";;" that follows it in the line.
    while (name.endsWith(QLatin1Char(';')))
        name.chop(1);
    return name.trimmed();
}

// The address as the player and a station line both take it; empty when
// either would refuse it.
QString usableAddress(const QJsonValue &value)
{
    if (!value.isString())
        return {};
    const QString address = normalizedStreamAddress(value.toString());
    if (!isAllowedStreamAddress(address) || !StationDocument::addressProblem(address).isEmpty())
        return {};
    return address;
}

// A whole number from a JSON number or a numeric string; 0 otherwise.
int wholeNumber(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        return std::isfinite(d) ? int(std::clamp(d, 0.0, 2.0e9)) : 0;
    }
    if (value.isString())
        return std::max(0, value.toString().trimmed().toInt());
    return 0;
}

QString countryCode(const QJsonValue &value)
{
    const QString code = value.toString().trimmed().toUpper();
    if (code.size() != 2)
        return {};
    for (const QChar c : code) {
        if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
            return {};
    }
    return code;
}

// The directory's station ids are UUIDs; anything else is not kept, so an id
// can go into a request path as it is.
QString stationId(const QJsonValue &value)
{
    const QString id = value.toString();
    if (id.isEmpty() || id.size() > 64)
        return {};
    for (const QChar c : id) {
        const bool ok = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('-');
        if (!ok)
            return {};
    }
    return id;
}

std::optional<QJsonArray> arrayOfObjects(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QJsonArray array = doc.array();
    for (const QJsonValue &v : std::as_const(array)) {
        if (!v.isObject())
            return std::nullopt;
    }
    return array;
}

}  // namespace

std::optional<DirectoryStation> cleanStation(const QJsonObject &object)
{
    DirectoryStation s;
    s.address = usableAddress(object.value(QLatin1String("url")));
    if (s.address.isEmpty())
        s.address = usableAddress(object.value(QLatin1String("url_resolved")));
    if (s.address.isEmpty())
        return std::nullopt;
    s.uuid = stationId(object.value(QLatin1String("stationuuid")));
    s.name = lineName(object.value(QLatin1String("name")).toString());
    if (s.name.isEmpty())
        s.name = lineName(QUrl(s.address, QUrl::TolerantMode).host());
    if (s.name.isEmpty())
        return std::nullopt;
    s.countryCode = countryCode(object.value(QLatin1String("countrycode")));
    s.country = singleLineText(object.value(QLatin1String("country")).toString());
    s.language = singleLineText(object.value(QLatin1String("language")).toString());
    s.codec = singleLineText(object.value(QLatin1String("codec")).toString());
    s.bitrate = wholeNumber(object.value(QLatin1String("bitrate")));
    const QStringList tags = object.value(QLatin1String("tags")).toString().split(QLatin1Char(','));
    for (const QString &tag : tags) {
        const QString t = singleLineText(tag);
        if (!t.isEmpty() && !s.tags.contains(t))
            s.tags.append(t);
    }
    const QJsonValue check = object.value(QLatin1String("lastcheckok"));
    s.working = check.isBool() ? check.toBool() : (check.isUndefined() || check.isNull() || wholeNumber(check) == 1);
    s.votes = wholeNumber(object.value(QLatin1String("votes")));
    s.clicks = wholeNumber(object.value(QLatin1String("clickcount")));
    return s;
}

std::optional<StationPage> readStationPage(const QByteArray &json)
{
    const std::optional<QJsonArray> array = arrayOfObjects(json);
    if (!array)
        return std::nullopt;
    StationPage page;
    page.received = int(array->size());
    QSet<QString> uuids;
    QSet<QString> addresses;
    for (const QJsonValue &v : *array) {
        std::optional<DirectoryStation> s = cleanStation(v.toObject());
        if (!s || addresses.contains(s->address) || (!s->uuid.isEmpty() && uuids.contains(s->uuid)))
            continue;
        addresses.insert(s->address);
        if (!s->uuid.isEmpty())
            uuids.insert(s->uuid);
        page.stations.append(std::move(*s));
    }
    return page;
}

std::optional<QList<DirectoryFilter>> readFilterList(DirectoryClient::FilterKind kind, const QByteArray &json)
{
    const std::optional<QJsonArray> array = arrayOfObjects(json);
    if (!array)
        return std::nullopt;
    QList<DirectoryFilter> filters;
    QSet<QString> seen;
    for (const QJsonValue &v : *array) {
        const QJsonObject o = v.toObject();
        DirectoryFilter f;
        f.name = singleLineText(o.value(QLatin1String("name")).toString());
        f.stationCount = wholeNumber(o.value(QLatin1String("stationcount")));
        if (kind == DirectoryClient::FilterKind::Countries) {
            f.code = countryCode(o.value(QLatin1String("iso_3166_1")));
            if (f.code.isEmpty())
                continue;
        }
        const QString key = f.code.isEmpty() ? f.name : f.code;
        if (f.name.isEmpty() || f.stationCount <= 0 || seen.contains(key))
            continue;
        seen.insert(key);
        filters.append(f);
    }
    return filters;
}

}  // namespace kelvaro
