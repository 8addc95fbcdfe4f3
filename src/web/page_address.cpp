// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_address.h"

#include <QUrl>

namespace kelvaro {

bool isAllowedPageAddress(const QString &address)
{
    // Only the scheme and the presence of a host decide.
    const QUrl url(address);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme();  // QUrl keeps schemes in lower case
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

}  // namespace kelvaro
