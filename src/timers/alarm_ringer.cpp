// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm_ringer.h"

#include "playback_engine.h"

#include <QDir>

namespace kelvaro {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kRiseStep{200};
// A snoozed alarm looks at the wall clock this often: a timer alone would
// stand still while the computer sleeps.
constexpr milliseconds kSnoozeLook{5000};

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

}  // namespace

AlarmRinger::AlarmRinger(Listening &listening, Listening::EngineMaker makeEngine, QString soundPath, QObject *parent)
    : QObject(parent), listening_(listening), makeEngine_(std::move(makeEngine)), soundPath_(std::move(soundPath))
{
    patience_.setSingleShot(true);
    patience_.setInterval(kPatience);
    connect(&patience_, &QTimer::timeout, this, &AlarmRinger::moveOn);
    rise_.setInterval(kRiseStep);
    connect(&rise_, &QTimer::timeout, this, &AlarmRinger::riseStep);
    snooze_.setInterval(kSnoozeLook);
    connect(&snooze_, &QTimer::timeout, this, [this] {
        if (now() >= snoozedUntil_) {
            snooze_.stop();
            snoozedUntil_ = {};
            ring(alarm_);
        }
    });
    connect(&listening_, &Listening::stateChanged, this, &AlarmRinger::onState);
    // The listener chose something else: the alarm has done its work.
    connect(&listening_, &Listening::stationChosen, this, [this] {
        if (ringing_ && !choosing_)
            finish(false);
    });
}

AlarmRinger::~AlarmRinger()
{
    if (ringing_)
        listening_.audible().setGain(1.0);
    delete sound_;
}

QString AlarmRinger::soundBeside(const QString &executableFolder)
{
    return QDir(executableFolder).filePath(QStringLiteral("alarm.opus"));
}

void AlarmRinger::ring(const Alarm &alarm)
{
    if (ringing_)
        finish(false);
    snooze_.stop();
    snoozedUntil_ = {};
    alarm_ = alarm;
    ringing_ = true;
    tried_ = 0;
    listening_.setMute(false);
    listening_.setVolume(alarm.volume);
    tryStation(listening_.listed(alarm.address).value_or(Station{alarm.address, alarm.name, {}}));
}

void AlarmRinger::tryStation(const Station &station)
{
    ++tried_;
    what_ = station.name.isEmpty() ? station.address : station.name;
    riseStart_ = {};
    rise_.stop();
    listening_.audible().setGain(kQuiet);
    choosing_ = true;
    const bool chosen = listening_.choose(station);
    choosing_ = false;
    if (!chosen) {
        moveOn();
        return;
    }
    patience_.start();
    emit ringing(what_);
}

void AlarmRinger::moveOn()
{
    if (!ringing_ || sound_)
        return;
    patience_.stop();
    // The next station of the first one's category (after the last, the
    // first), once; then the program's own sound.
    if (tried_ == 1) {
        QString next = listening_.stationBeside(1);
        if (next.isEmpty()) {
            for (int step = -1; !listening_.stationBeside(step).isEmpty(); --step)
                next = listening_.stationBeside(step);
        }
        if (const std::optional<Station> station = listening_.listed(next); station && next != alarm_.address) {
            tryStation(*station);
            return;
        }
    }
    playSound();
}

void AlarmRinger::playSound()
{
    choosing_ = true;
    listening_.audible().stop();
    choosing_ = false;
    listening_.audible().setGain(1.0);
    what_ = QStringLiteral("闹钟铃声");
    sound_ = makeEngine_(true);
    sound_->setParent(this);
    sound_->setVolume(alarm_.volume);
    // The sound plays again and again until the alarm is stopped.
    connect(sound_, &PlaybackEngine::ended, this, [this](EndOutcome outcome) {
        if (sound_ && outcome == EndOutcome::Finished)
            sound_->load(soundPath_);
    });
    connect(sound_, &PlaybackEngine::playing, this, &AlarmRinger::sounding);
    sound_->load(soundPath_);
    emit ringing(what_);
}

void AlarmRinger::onState(PlayerSession::State state)
{
    if (!ringing_ || sound_ || choosing_)
        return;
    using State = PlayerSession::State;
    switch (state) {
    case State::Playing:
        if (!riseStart_.isValid()) {
            patience_.stop();
            riseStart_ = now();
            rise_.start();
            emit sounding();
        }
        break;
    case State::Failed:
    case State::NoSoundDevice:
        if (!riseStart_.isValid())
            moveOn();
        else
            finish(false);
        break;
    case State::Stopped:
    case State::Paused:
    case State::Idle:
        // Stopped or paused by the listener.
        finish(false);
        break;
    default:
        break;
    }
}

void AlarmRinger::riseStep()
{
    const double span = double(milliseconds(alarm_.rise).count());
    const double done = span <= 0 ? 1.0 : double(riseStart_.msecsTo(now())) / span;
    listening_.audible().setGain(std::min(1.0, kQuiet + (1.0 - kQuiet) * std::max(0.0, done)));
    if (done >= 1.0)
        rise_.stop();
}

void AlarmRinger::stop()
{
    snooze_.stop();
    snoozedUntil_ = {};
    if (ringing_)
        finish(true);
}

void AlarmRinger::snooze()
{
    if (!ringing_)
        return;
    finish(true);
    snoozedUntil_ = now().addSecs(std::chrono::seconds(kSnooze).count());
    snooze_.start();
    emit snoozed(snoozedUntil_);
}

void AlarmRinger::finish(bool stopPlayback)
{
    ringing_ = false;
    patience_.stop();
    rise_.stop();
    delete sound_;
    if (stopPlayback)
        listening_.audible().stop();
    listening_.audible().setGain(1.0);
    emit ended();
}

}  // namespace kelvaro
