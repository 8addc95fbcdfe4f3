// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace kelvaro {

class Listening;

// 睡眠定时: what plays stops after a while, or when the song changes. The
// last seconds fade out (the session's gain, so the volume the listener set
// stays as it was, shown and kept, for next time); then playback stops, not
// pauses, and a recording under way ends with it. The end is read from the
// wall clock, so a computer that slept past it stops at once on waking.
class SleepTimer : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kFade{30};
    // After a song, the new one fades in this short time instead.
    static constexpr std::chrono::seconds kSongFade{3};

    explicit SleepTimer(Listening &listening, QObject *parent = nullptr);
    ~SleepTimer() override;

    // Stops playback `length` from now; replaces any timer set before. A
    // length of zero or less cancels. A timer shorter than the fade fades
    // all along.
    void start(std::chrono::milliseconds length);
    // Stops playback when the stream's title next changes (本曲结束后).
    void startAtSongEnd();
    void cancel();

    bool isActive() const { return endsAt_.isValid() || atSongEnd_; }
    bool atSongEnd() const { return atSongEnd_; }
    // When playback stops (UTC); invalid when not set by time.
    QDateTime endsAt() const { return endsAt_; }
    // "睡眠 12:34" (time left), "睡眠：本曲结束后", or empty when off.
    QString text() const;

signals:
    // Set, changed or cancelled, and every second while it counts down.
    void changed();
    // It ran out: playback was stopped.
    void finished();

private:
    void tick();
    void fadeTo(double gain);
    void end();
    void onTitle(const QString &title);

    Listening &listening_;
    QTimer tick_;
    QDateTime endsAt_;
    std::chrono::milliseconds fade_{kFade};  // the fade's length: kFade, or all of a shorter timer
    bool atSongEnd_ = false;
    QString songTitle_;     // the song that plays while waiting for its end
    QDateTime songFadeEnd_;  // the short fade after the song is under way
};

}  // namespace kelvaro
