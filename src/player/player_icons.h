// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace kelvaro {

// The compact player's button pictures, drawn here rather than taken from
// the style: the style's media icons make Qt look up the desktop's icon
// theme on disk, which cost about 16 ms of the program's start-up on X11.
enum class PlayerIcon { Play, Pause, Stop, Volume, Muted, Record, Recording, Back, Forward };
QIcon playerIcon(PlayerIcon which, const QColor &colour);

}  // namespace kelvaro
