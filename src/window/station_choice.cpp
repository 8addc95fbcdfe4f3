// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_choice.h"

namespace kelvaro {

void chooseStation(const QString &key, const QString &text,
                   PlayerArea &player, PageArea &page, Caption &caption)
{
    if (key == text)
        return;

    caption.setCaption(QString::fromUtf16(kListeningPrefix) + text);

    const QString blank = QString::fromUtf16(kBlankPage);
    if (!key.contains(kWebPageMarker, Qt::CaseSensitive)) {
        player.showPlayer(true);
        page.showFrame(false);
        page.Navigate(blank);
        player.stop();
        player.setURL(key);
    } else {
        page.Navigate(blank);
        player.stop();
        page.showFrame(true);
        player.showPlayer(false);
        page.Navigate(key);
    }
}

} // namespace kelvaro
