// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// The program's home page, shown in the About label and opened from it.
inline const QString kHomePage = QStringLiteral("https://kelvaro.example.org");

// Opens an address in the user's browser without waiting for it; a failure
// to start the browser is ignored.
void openInBrowser(const QString &address);

}  // namespace kelvaro
