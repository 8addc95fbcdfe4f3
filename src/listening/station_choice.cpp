// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_choice.h"

namespace kelvaro {

void chooseStation(const QString &key, const QString &text,
                   PlayerArea &player, PageArea &page, Caption &caption)
{
    if (isStationNode(key, text))
        playStation(key, text, player, page, caption);
}

void playStation(const QString &address, const QString &name,
                 PlayerArea &player, PageArea &page, Caption &caption)
{
    caption.setCaption(QString::fromUtf16(kListeningPrefix) + name);

    const QString blank = QString::fromUtf16(kBlankPage);
    if (!address.contains(kWebPageMarker, Qt::CaseSensitive)) {
        player.showPlayer(true);
        page.showFrame(false);
        page.Navigate(blank);
        player.stop();
        player.setURL(address);
    } else {
        page.Navigate(blank);
        player.stop();
        page.showFrame(true);
        player.showPlayer(false);
        page.Navigate(address);
    }
}

} // namespace kelvaro
