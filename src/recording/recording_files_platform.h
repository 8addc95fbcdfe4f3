// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// Whether this process has the file open (the engine writing a recording).
bool isOpenInThisProcess(const QString &path);

}  // namespace kelvaro
