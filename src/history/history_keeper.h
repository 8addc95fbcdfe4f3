// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace kelvaro {

class HistoryStore;
class Listening;

// Follows what plays and keeps each title shown in the history, with the
// station it came on. Stations that are web pages send no titles.
class HistoryKeeper : public QObject {
    Q_OBJECT
public:
    HistoryKeeper(Listening &listening, HistoryStore &store, QObject *parent = nullptr);
};

}  // namespace kelvaro
