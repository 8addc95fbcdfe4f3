// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// True for an address the web view loads as a page: http or https with a
// host, parsed leniently as a browser takes a typed address. Anything else
// in a station list (local files, javascript: and the like) is refused.
// Widget-free, so that the station checker applies the same rule.
bool isAllowedPageAddress(const QString &address);

}  // namespace kelvaro
