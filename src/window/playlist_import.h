// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playlist_reader.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kelvaro {

// The stations of a playlist file (readPlaylist()) that can be added to the
// list: only addresses the player accepts, each once, in file order.
QList<PlaylistEntry> parsePlaylist(const QByteArray &data, const QString &fileName);

// A station name made from free text (a playlist's title): white space
// collapsed and trimmed, control characters dropped, ";;" (the list's
// separator) and a trailing ';' taken apart. Falls back to the address's
// host when nothing is left.
QString stationNameFrom(const QString &title, const QString &address);

}  // namespace kelvaro
