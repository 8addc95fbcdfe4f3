// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings_file.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <future>

namespace kelvaro {

class Listening;

// Keeps what the listener set across starts: the volume, mute and the
// station last chosen, whether that station plays again at start, and
// whether recordings are split by song. The
// file is read on a worker from the moment this is made, and written on a
// worker a moment after each change (a volume dragged is written once), by
// a new file renamed over the old: a crash or a kill leaves the old settings
// or the new ones, never a mix.
class ListeningMemory : public QObject {
    Q_OBJECT
public:
    // Starts reading `path` (nothing is kept where it is empty).
    explicit ListeningMemory(const QString &path, QObject *parent = nullptr);
    ~ListeningMemory() override;  // writes what is pending, and waits for it

    // Sets the kept volume and mute on `listening` (waiting for the file if
    // need be), then keeps what changes there.
    void restore(Listening &listening);
    // Plays the station last chosen, when the listener asked for that and
    // the list still has it. Call once the window is on the screen.
    void playLastIfWanted();

    bool playLastAtStart() const { return settings_.playLastAtStart; }
    void setPlayLastAtStart(bool on);
    bool sleepTimeShown() const { return settings_.sleepTimeShown; }
    void setSleepTimeShown(bool on);
    bool autostartOffered() const { return settings_.autostartOffered; }
    void setAutostartOffered(bool on);

    // How long after a change the file is written.
    static constexpr int kWriteDelayMs = 500;

private:
    void changed();
    void write();

    const QString path_;
    std::future<ListenerSettings> read_;
    ListenerSettings settings_;
    Listening *listening_ = nullptr;
    QTimer writeSoon_;
    QThreadPool writer_;
};

}  // namespace kelvaro
