// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playlist_entry.h"

#include <QByteArray>

namespace kelvaro {

// The entries of a .pls playlist: FileN= with TitleN=, in any order, by N.
QList<PlaylistEntry> readPls(const QByteArray &data);

}  // namespace kelvaro
