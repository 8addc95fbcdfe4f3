// SPDX-License-Identifier: GPL-3.0-or-later
#include "address_check.h"

#include <QUrl>

namespace kelvaro {

const QStringList &allowedStreamSchemes()
{
    static const QStringList schemes = {
        QStringLiteral("http"),  QStringLiteral("https"), QStringLiteral("mms"),
        QStringLiteral("mmsh"),  QStringLiteral("mmst"),  QStringLiteral("rtsp"),
        QStringLiteral("rtsps"), QStringLiteral("rtmp"),  QStringLiteral("rtmps"),
    };
    return schemes;
}

QString normalizedStreamAddress(const QString &address)
{
    return address.trimmed();
}

bool isAllowedStreamAddress(const QString &address)
{
    const QString text = normalizedStreamAddress(address);
    if (text.isEmpty() || text.size() > 8192)
        return false;
    for (const QChar c : text) {
        // Control characters have no place in an address and could confuse
        // the engine's own parsers.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    // The scheme is read by hand, before QUrl's tolerant parsing: it must be
    // letters/digits/+.- followed by "://".
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || !text.mid(colon).startsWith(QLatin1String("://")))
        return false;
    const QString scheme = text.left(colon).toLower();
    if (!allowedStreamSchemes().contains(scheme))
        return false;
    const QUrl url(text, QUrl::TolerantMode);
    return url.isValid() && !url.host().isEmpty();
}

}  // namespace kelvaro
