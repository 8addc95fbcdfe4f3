// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace kelvaro {

class Listening;

// Tells what plays the moment the computer wakes from sleep: logind's
// PrepareForSleep(false) on the system bus. Every session then starts a live
// stream again from live (what it held is as old as the sleep) and a file
// where it was. A session also sees a long sleep on its own clock, a few
// seconds later at most; this is the desktop's word for it.
class SleepResume : public QObject {
    Q_OBJECT
public:
    explicit SleepResume(Listening &listening, QObject *parent = nullptr);

    // Starts listening. False (and nothing is done) without a system bus.
    bool start();

private slots:
    void onPrepareForSleep(bool goingToSleep);

private:
    Listening &listening_;
};

}  // namespace kelvaro
