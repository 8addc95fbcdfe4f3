// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace kelvaro {

class MediaPlayer;

// Tells the player the moment the computer wakes from sleep: logind's
// PrepareForSleep(false) on the system bus. The player then starts a live
// stream again from live (what it held is as old as the sleep) and a file
// where it was. The player also sees a long sleep on its own clock, a few
// seconds later at most; this is the desktop's word for it.
class SleepResume : public QObject {
    Q_OBJECT
public:
    explicit SleepResume(MediaPlayer &player, QObject *parent = nullptr);

    // Starts listening. False (and nothing is done) without a system bus.
    bool start();

private slots:
    void onPrepareForSleep(bool goingToSleep);

private:
    MediaPlayer &player_;
};

}  // namespace kelvaro
