// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist_import.h"

#include "address_check.h"

#include <QSet>
#include <QUrl>

namespace kelvaro {

QList<PlaylistEntry> parsePlaylist(const QByteArray &data, const QString &fileName)
{
    QList<PlaylistEntry> found = readPlaylist(data, fileName);
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
