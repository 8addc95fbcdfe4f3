// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist_import.h"

#include "address_check.h"
#include "asx_parser.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace kelvaro {

namespace {

QString suffixOf(const QString &fileName)
{
    return fileName.section(QLatin1Char('.'), -1).toLower();
}

QStringList textLines(const QByteArray &data)
{
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
}

QList<PlaylistEntry> parsePls(const QByteArray &data)
{
    // FileN=address and TitleN=title, in any order; entries by N.
    QMap<int, PlaylistEntry> entries;
    static const QRegularExpression key(QStringLiteral("^\\s*(File|Title)(\\d+)\\s*=(.*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    for (const QString &line : textLines(data)) {
        const QRegularExpressionMatch m = key.match(line);
        if (!m.hasMatch())
            continue;
        PlaylistEntry &entry = entries[m.captured(2).toInt()];
        (m.captured(1).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 ? entry.address : entry.title) =
            m.captured(3).trimmed();
    }
    return entries.values();
}

QList<PlaylistEntry> parseM3u(const QByteArray &data)
{
    QList<PlaylistEntry> entries;
    QString title;
    for (const QString &raw : textLines(data)) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("#EXTINF"), Qt::CaseInsensitive)) {
            // #EXTINF:duration[ attributes],title
            const qsizetype comma = line.indexOf(QLatin1Char(','));
            title = comma >= 0 ? line.mid(comma + 1) : QString();
        } else if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            entries.append({std::exchange(title, {}), line});
        }
    }
    return entries;
}

}  // namespace

bool isPlaylistFileName(const QString &fileName)
{
    static const QStringList kinds = {QStringLiteral("pls"), QStringLiteral("m3u"), QStringLiteral("m3u8"),
                                      QStringLiteral("asx"), QStringLiteral("wax"), QStringLiteral("wvx")};
    return kinds.contains(suffixOf(fileName));
}

QList<PlaylistEntry> parsePlaylist(const QByteArray &data, const QString &fileName)
{
    const QString suffix = suffixOf(fileName);
    const QByteArray head = data.left(512).trimmed().toLower();
    QList<PlaylistEntry> found;
    if (suffix == QLatin1String("pls") || head.startsWith("[playlist]")) {
        found = parsePls(data);
    } else if (isAsxAddress(fileName) || head.startsWith("<asx")) {
        for (const QString &address : parseAsxEntries(data))
            found.append({{}, address});
    } else {
        found = parseM3u(data);
    }
    QList<PlaylistEntry> kept;
    QSet<QString> seen;
    for (PlaylistEntry &entry : found) {
        entry.address = normalizedStreamAddress(entry.address);
        if (!isAllowedStreamAddress(entry.address) || seen.contains(entry.address))
            continue;
        seen.insert(entry.address);
        kept.append(entry);
    }
    return kept;
}

QString stationNameFrom(const QString &title, const QString &address)
{
    QString name;
    for (const QChar c : title) {
        if (c.category() == QChar::Other_Control || c.isSpace())
            name += QLatin1Char(' ');
        else
            name += c;
    }
    name = name.simplified();
    name.replace(QLatin1String(";;"), QLatin1String("; "));
    while (name.endsWith(QLatin1Char(';')))
        name.chop(1);
    name = name.trimmed();
    if (name.isEmpty())
        name = QUrl(address).host();
    return name.isEmpty() ? address.left(60) : name;
}

}  // namespace kelvaro
