// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace kelvaro {

// One station of a playlist file: its title (may be empty) and address.
struct PlaylistEntry {
    QString title;
    QString address;
};

// A playlist's text as lines: UTF-8, without a byte-order mark, any line ends.
inline QStringList playlistLines(const QByteArray &data)
{
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    static const QRegularExpression lineEnd(QStringLiteral("\\r\\n|\\r|\\n"));
    return text.split(lineEnd);
}

}  // namespace kelvaro
