// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playlist_entry.h"

#include <QByteArray>

namespace kelvaro {

// Playlist files bigger than this are not playlists of stations.
constexpr qint64 kMaxPlaylistBytes = 1024 * 1024;

// True when the file name says .pls, .m3u, .m3u8, .asx, .wax or .wvx.
bool isPlaylistFileName(const QString &fileName);

// The entries of a .pls, .m3u/.m3u8 or .asx playlist, told apart by the file
// name, else by the content, as the file has them (every address, in order).
QList<PlaylistEntry> readPlaylist(const QByteArray &data, const QString &fileName);

}  // namespace kelvaro
