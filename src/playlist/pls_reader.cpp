// SPDX-License-Identifier: GPL-3.0-or-later
#include "pls_reader.h"

#include <QMap>

namespace kelvaro {

QList<PlaylistEntry> readPls(const QByteArray &data)
{
    QMap<int, PlaylistEntry> entries;
    static const QRegularExpression key(QStringLiteral("^\\s*(File|Title)(\\d+)\\s*=(.*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    for (const QString &line : playlistLines(data)) {
        const QRegularExpressionMatch m = key.match(line);
        if (!m.hasMatch())
            continue;
        PlaylistEntry &entry = entries[m.captured(2).toInt()];
        (m.captured(1).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 ? entry.address : entry.title) =
            m.captured(3).trimmed();
    }
    return entries.values();
}

}  // namespace kelvaro
