// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_table.h"  // kWebPageMarker

#include <QString>

namespace kelvaro {

// What a station choice needs from the media player's area of the window.
struct PlayerArea {
    virtual ~PlayerArea() = default;
    virtual void showPlayer(bool visible) = 0;
    virtual void stop() = 0;                           // controls().stop()
    virtual void setURL(const QString &address) = 0;   // starts playing at once
};

// What a station choice needs from Frame1 and the web view inside it.
struct PageArea {
    virtual ~PageArea() = default;
    virtual void showFrame(bool visible) = 0;
    virtual void Navigate(const QString &address) = 0;
};

// The window's caption.
struct Caption {
    virtual ~Caption() = default;
    virtual void setCaption(const QString &text) = 0;
};

// Texts the station choice uses.
inline constexpr char16_t kListeningPrefix[] = u"正在收听";
inline constexpr char16_t kBlankPage[] = u"about:blank";

// Whether a tree node with this key and text is a station to choose: a node
// whose key equals its text (a category, or a station named by its own
// address) is not.
inline bool isStationNode(const QString &key, const QString &text) { return key != text; }

// Handles a click on a tree node with the given key and text: a station node
// is played as playStation() does; any other is ignored.
void chooseStation(const QString &key, const QString &text,
                   PlayerArea &player, PageArea &page, Caption &caption);

// The caption names the station (`name`), and the stream at `address` is
// played or its page shown. Keeps no state: the same station again restarts
// it.
void playStation(const QString &address, const QString &name,
                 PlayerArea &player, PageArea &page, Caption &caption);

} // namespace kelvaro
