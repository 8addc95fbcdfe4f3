// SPDX-License-Identifier: GPL-3.0-or-later
#include "m3u_reader.h"

#include <utility>

namespace kelvaro {

QList<PlaylistEntry> readM3u(const QByteArray &data)
{
    QList<PlaylistEntry> entries;
    QString title;
    for (const QString &raw : playlistLines(data)) {
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

}  // namespace kelvaro
