// SPDX-License-Identifier: GPL-3.0-or-later
#include "history_keeper.h"

#include "history_store.h"
#include "listening.h"

namespace kelvaro {

HistoryKeeper::HistoryKeeper(Listening &listening, HistoryStore &store, QObject *parent) : QObject(parent)
{
    // The title comes from the session heard, which always plays the station
    // chosen last.
    connect(&listening, &Listening::titleChanged, this, [&listening, &store](const QString &title) {
        const Station &station = listening.station();
        if (!station.address.isEmpty())
            store.add(title, station.name, station.address);
    });
}

}  // namespace kelvaro
