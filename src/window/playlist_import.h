// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kelvaro {

// One station of a playlist file: its title (may be empty) and address.
struct PlaylistEntry {
    QString title;
    QString address;
};

// Playlist files bigger than this are not playlists of stations.
constexpr qint64 kMaxPlaylistBytes = 1024 * 1024;

// True when the file name says .pls, .m3u, .m3u8, .asx, .wax or .wvx.
bool isPlaylistFileName(const QString &fileName);

// The stations of a .pls (FileN= with TitleN=), .m3u/.m3u8 (#EXTINF titles)
// or .asx playlist, told apart by the file name, else by the content. Only
// addresses the player accepts are kept, each once, in file order.
QList<PlaylistEntry> parsePlaylist(const QByteArray &data, const QString &fileName);

// A station name made from free text (a playlist's title): white space
// collapsed and trimmed, control characters dropped, ";;" (the list's
// separator) and a trailing ';' taken apart. Falls back to the address's
// host when nothing is left.
QString stationNameFrom(const QString &title, const QString &address);

}  // namespace kelvaro
