// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_names.h"

#include <QRegularExpression>
#include <QStringList>

namespace kelvaro {

namespace {

bool isForbidden(QChar c)
{
    static const QString kForbidden = QStringLiteral("<>:\"/\\|?*");
    return c.unicode() < 0x20 || c.unicode() == 0x7f || kForbidden.contains(c);
}

// Names Windows gives to devices, with or without an extension.
bool isDeviceName(const QString &name)
{
    static const QRegularExpression device(QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(name).hasMatch();
}

// The longest front of `text` whose UTF-8 takes at most `maxBytes`, never
// cutting a character (nor a surrogate pair) in two.
QString cutToBytes(const QString &text, int maxBytes)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        const int size = int(text.mid(i, units).toUtf8().size());
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += units;
    }
    return text.left(i);
}

}  // namespace

QString safeFileName(const QString &text, int maxBytes)
{
    QString name;
    name.reserve(text.size());
    bool space = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            space = true;
            continue;
        }
        if (space && !name.isEmpty())
            name += QLatin1Char(' ');
        space = false;
        name += isForbidden(c) ? QLatin1Char('_') : c;
    }
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    name = cutToBytes(name, maxBytes);
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (name.isEmpty())
        return QStringLiteral("_");
    if (isDeviceName(name))
        name += QLatin1Char('_');
    return name;
}

QString recordingExtension(const QString &codec)
{
    const QString c = codec.toLower();
    if (c == QLatin1String("mp3") || c == QLatin1String("mp3float"))
        return QStringLiteral("mp3");
    if (c == QLatin1String("aac") || c == QLatin1String("aac_latm"))
        return QStringLiteral("aac");
    if (c == QLatin1String("vorbis"))
        return QStringLiteral("ogg");
    if (c == QLatin1String("opus"))
        return QStringLiteral("opus");
    if (c == QLatin1String("flac"))
        return QStringLiteral("flac");
    return QStringLiteral("mka");
}

QString recordingBaseName(const QDateTime &start, const QString &name)
{
    return safeFileName(start.toString(QStringLiteral("yyyy-MM-dd HH.mm")) + QLatin1Char(' ') + name);
}

QString numberedFileName(const QString &base, int number, const QString &extension)
{
    if (number <= 1)
        return base + QLatin1Char('.') + extension;
    return QStringLiteral("%1 (%2).%3").arg(base).arg(number).arg(extension);
}

RecordingTags recordingTags(const QString &title, const QString &station, const QString &address,
                            const QDateTime &start)
{
    RecordingTags tags;
    tags.album = station;
    tags.comment = address;
    tags.date = start.toString(QStringLiteral("yyyy-MM-dd"));
    const QString t = title.trimmed();
    if (t.isEmpty()) {
        tags.title = station;
        return tags;
    }
    // "Artist - Title": the first " - " splits, only when both sides say something.
    const qsizetype dash = t.indexOf(QLatin1String(" - "));
    if (dash > 0 && !t.mid(dash + 3).trimmed().isEmpty()) {
        tags.artist = t.left(dash).trimmed();
        tags.title = t.mid(dash + 3).trimmed();
    } else {
        tags.title = t;
    }
    return tags;
}

}  // namespace kelvaro
