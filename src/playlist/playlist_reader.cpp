// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist_reader.h"

#include "asx_reader.h"
#include "m3u_reader.h"
#include "pls_reader.h"

namespace kelvaro {

namespace {

QString suffixOf(const QString &fileName)
{
    return fileName.section(QLatin1Char('.'), -1).toLower();
}

}  // namespace

bool isPlaylistFileName(const QString &fileName)
{
    static const QStringList kinds = {QStringLiteral("pls"), QStringLiteral("m3u"), QStringLiteral("m3u8"),
                                      QStringLiteral("asx"), QStringLiteral("wax"), QStringLiteral("wvx")};
    return kinds.contains(suffixOf(fileName));
}

QList<PlaylistEntry> readPlaylist(const QByteArray &data, const QString &fileName)
{
    const QByteArray head = data.left(512).trimmed().toLower();
    if (suffixOf(fileName) == QLatin1String("pls") || head.startsWith("[playlist]"))
        return readPls(data);
    if (isAsxAddress(fileName) || head.startsWith("<asx")) {
        QList<PlaylistEntry> entries;
        for (const QString &address : parseAsxEntries(data))
            entries.append({{}, address});
        return entries;
    }
    return readM3u(data);
}

}  // namespace kelvaro
