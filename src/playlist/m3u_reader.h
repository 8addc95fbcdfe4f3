// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playlist_entry.h"

#include <QByteArray>

namespace kelvaro {

// The entries of an .m3u or .m3u8 playlist: every line that is not a
// comment, titled by the #EXTINF line before it.
QList<PlaylistEntry> readM3u(const QByteArray &data);

}  // namespace kelvaro
