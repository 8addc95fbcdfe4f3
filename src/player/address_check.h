// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace kelvaro {

// Station addresses come from a shared text file, so every address is checked
// before the playback engine sees it: only network protocols a radio stream
// uses are let through. Anything else (local files, file descriptors, the
// engine's own pseudo-protocols such as av:, lavf:, edl:, memory:) is refused.
const QStringList &allowedStreamSchemes();

// The address as it would be handed over: surrounding white space removed.
QString normalizedStreamAddress(const QString &address);

// True when the (normalized) address has an allowed scheme, a host, and no
// control characters.
bool isAllowedStreamAddress(const QString &address);

}  // namespace kelvaro
