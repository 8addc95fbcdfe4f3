// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace kelvaro {

class PlaybackEngine;

// What an alarm plays and how.
struct Alarm {
    QString address;  // a station of the list (by its address)
    QString name;     // its name, should the list no longer have it
    int volume = 70;  // 0..100, reached at the end of the rise
    std::chrono::seconds rise{60};
};

// 闹钟: plays the alarm's station, starting quietly and rising to the alarm's
// volume. So that nobody oversleeps because a stream is down: a station that
// does not play within kPatience (or fails at once) gives way to the next
// station of its category, and when that does not play either, to the
// sound that comes with the program, which plays until stopped.
//
// The alarm rings until 停止 (playback stops), 稍后提醒 (it stops and rings
// again after kSnooze), or the listener takes over (chooses, stops or
// pauses what plays).
class AlarmRinger : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kPatience{30};
    static constexpr std::chrono::minutes kSnooze{9};
    // The gain the rise starts from: the volume scale is already heard as
    // even steps (the engine's volume is cubic), so a third is quiet.
    static constexpr double kQuiet = 0.3;

    // `makeEngine` makes the engine the program's own sound plays on;
    // `soundPath` is that sound.
    AlarmRinger(Listening &listening, Listening::EngineMaker makeEngine, QString soundPath,
                QObject *parent = nullptr);
    ~AlarmRinger() override;

    void ring(const Alarm &alarm);
    void stop();
    void snooze();

    bool isRinging() const { return ringing_; }
    // What rings: the station's name, or "闹钟铃声".
    QString what() const { return what_; }
    // When a snoozed alarm rings again (UTC); invalid when none is snoozed.
    QDateTime snoozedUntil() const { return snoozedUntil_; }

    // Where the program's own alarm sound is: beside the executable.
    static QString soundBeside(const QString &executableFolder);

signals:
    // The alarm rings, or moved on to another station or the sound.
    void ringing(const QString &what);
    // The first sound of the alarm (or of what it moved on to) is heard.
    void sounding();
    // It stopped ringing, whoever ended it.
    void ended();
    void snoozed(const QDateTime &until);

private:
    void tryStation(const Station &station);
    void moveOn();
    void playSound();
    void onState(PlayerSession::State state);
    void riseStep();
    void finish(bool stopPlayback);

    Listening &listening_;
    Listening::EngineMaker makeEngine_;
    const QString soundPath_;
    QPointer<PlaybackEngine> sound_;
    Alarm alarm_;
    bool ringing_ = false;
    bool choosing_ = false;   // the listening layer's signals are our own choice
    int tried_ = 0;           // stations tried for this ring
    QString what_;
    QTimer patience_;
    QTimer rise_;
    QDateTime riseStart_;     // UTC; invalid until sound is heard
    QTimer snooze_;
    QDateTime snoozedUntil_;
};

}  // namespace kelvaro
