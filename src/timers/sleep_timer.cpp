// SPDX-License-Identifier: GPL-3.0-or-later
#include "sleep_timer.h"

#include "listening.h"

namespace kelvaro {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kTick{250};  // smooth enough for a fade, cheap otherwise

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

}  // namespace

SleepTimer::SleepTimer(Listening &listening, QObject *parent) : QObject(parent), listening_(listening)
{
    tick_.setInterval(kTick);
    connect(&tick_, &QTimer::timeout, this, &SleepTimer::tick);
    connect(&listening_, &Listening::titleChanged, this, &SleepTimer::onTitle);
    // Another station chosen while waiting for the song's end: its first
    // song is the one to wait for.
    connect(&listening_, &Listening::stationChosen, this, [this] {
        if (atSongEnd_ && !songFadeEnd_.isValid())
            songTitle_.clear();
    });
}

SleepTimer::~SleepTimer()
{
    // A fade under way must not outlast the timer.
    listening_.audible().setGain(1.0);
}

void SleepTimer::start(milliseconds length)
{
    if (length.count() <= 0) {
        cancel();
        return;
    }
    atSongEnd_ = false;
    songFadeEnd_ = {};
    endsAt_ = now().addMSecs(length.count());
    fade_ = std::min<milliseconds>(kFade, length);
    fadeTo(1.0);
    tick_.start();
    emit changed();
}

void SleepTimer::startAtSongEnd()
{
    endsAt_ = {};
    songFadeEnd_ = {};
    atSongEnd_ = true;
    songTitle_ = listening_.title();
    fadeTo(1.0);
    tick_.stop();
    emit changed();
}

void SleepTimer::cancel()
{
    if (!isActive())
        return;
    endsAt_ = {};
    songFadeEnd_ = {};
    atSongEnd_ = false;
    tick_.stop();
    fadeTo(1.0);
    emit changed();
}

QString SleepTimer::text() const
{
    if (atSongEnd_)
        return QStringLiteral("睡眠：本曲结束后");
    if (!endsAt_.isValid())
        return {};
    const qint64 left = std::max<qint64>(0, (now().msecsTo(endsAt_) + 999) / 1000);
    if (left >= 3600)
        return QStringLiteral("睡眠 %1:%2:%3")
            .arg(left / 3600)
            .arg(left / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(left % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("睡眠 %1:%2").arg(left / 60, 2, 10, QLatin1Char('0')).arg(left % 60, 2, 10, QLatin1Char('0'));
}

void SleepTimer::tick()
{
    const QDateTime stopAt = songFadeEnd_.isValid() ? songFadeEnd_ : endsAt_;
    const qint64 left = now().msecsTo(stopAt);
    if (left <= 0) {
        end();
        return;
    }
    const qint64 fade = songFadeEnd_.isValid() ? milliseconds(kSongFade).count() : fade_.count();
    fadeTo(left < fade ? double(left) / double(fade) : 1.0);
    // The text shows whole seconds: say so once a second, not every tick.
    if ((left + 999) / 1000 != (left + 999 + kTick.count()) / 1000)
        emit changed();
}

void SleepTimer::fadeTo(double gain)
{
    listening_.audible().setGain(gain);
}

void SleepTimer::end()
{
    endsAt_ = {};
    songFadeEnd_ = {};
    atSongEnd_ = false;
    tick_.stop();
    // A recording ends with what it records, then playback stops; the gain
    // is back at once, so the next station plays at the volume set.
    listening_.setRecording(false);
    listening_.audible().stop();
    fadeTo(1.0);
    emit changed();
    emit finished();
}

void SleepTimer::onTitle(const QString &title)
{
    if (!atSongEnd_ || songFadeEnd_.isValid() || title.isEmpty())
        return;
    if (songTitle_.isEmpty()) {
        // Nothing was known of the song when the timer was set: this is
        // the song that plays, and its end is the next change.
        songTitle_ = title;
        return;
    }
    if (title == songTitle_)
        return;  // the same title sent again (a reconnect)
    songFadeEnd_ = now().addMSecs(milliseconds(kSongFade).count());
    tick_.start();
    emit changed();
}

}  // namespace kelvaro
