// SPDX-License-Identifier: GPL-3.0-or-later
#include "player_session.h"

#include "address_check.h"
#include "asx_reader.h"
#include "asx_resolver.h"
#include "boot_clock.h"
#include "text_decoding.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelvaro {

namespace {
constexpr int kMaxAsxDepth = 3;  // an .asx may point at another .asx, a few times
// A look later than this after the last one means the event loop was held
// up: the times read meanwhile say nothing about the audio.
constexpr std::chrono::milliseconds kLateLook{PlayerSession::kWatchInterval + std::chrono::seconds(1)};
// The playback time moved on (or back, a new chain): by at least this much.
constexpr double kMoveSeconds = 1.0;
}  // namespace

PlayerSession::PlayerSession(PlaybackEngine *engine, QObject *parent)
    : QObject(parent), m_engine(engine), m_asx(new AsxResolver(this))
{
    m_engine->setParent(this);
    m_reconnectTimer.setSingleShot(true);
    m_gapNoteTimer.setSingleShot(true);
    m_gapNoteTimer.setInterval(kGapNoteTime);
    connect(&m_gapNoteTimer, &QTimer::timeout, this, [this] {
        m_gapNote.clear();
        refreshStatus();
    });
    connect(&m_reconnectTimer, &QTimer::timeout, this, &PlayerSession::reconnectDue);
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, &PlayerSession::settleDue);
    connect(&m_watchTimer, &QTimer::timeout, this, &PlayerSession::watchDue);

    connect(m_asx, &AsxResolver::resolved, this, &PlayerSession::onAsxResolved);
    connect(m_asx, &AsxResolver::failed, this, &PlayerSession::retryOrFail);

    connect(m_engine, &PlaybackEngine::opening, this, [this](const QString &address) {
        // Our own address was announced when it was handed over; this
        // reports the playlist entries the engine reaches on its own.
        if (isActive() && address != m_loadedAddress)
            emit addressOpened(address);
    });
    connect(m_engine, &PlaybackEngine::entryRefused, this, &PlayerSession::addressRefused);
    connect(m_engine, &PlaybackEngine::loaded, this, &PlayerSession::onLoaded);
    connect(m_engine, &PlaybackEngine::playing, this, &PlayerSession::onPlaying);
    connect(m_engine, &PlaybackEngine::buffering, this, &PlayerSession::onBuffering);
    connect(m_engine, &PlaybackEngine::ended, this, &PlayerSession::onEnded);
    connect(m_engine, &PlaybackEngine::soundOutputChecked, this, &PlayerSession::onSoundOutputChecked);
    connect(m_engine, &PlaybackEngine::titleChanged, this, [this](const QByteArray &raw) {
        // Many stations send titles in GB18030/GBK; the engine hands over
        // the bytes as they came. The one cleaned title goes to the title
        // line, its tooltip and the desktop.
        if (isActive())
            setTitle(titleFromBytes(raw));
    });
    connect(m_engine, &PlaybackEngine::playbackTime, this, &PlayerSession::onPlaybackTime);
    connect(m_engine, &PlaybackEngine::received, this, &PlayerSession::onReceived);
    connect(m_engine, &PlaybackEngine::audioCodecKnown, this, [this](const QString &codec) {
        m_codec = codec;
        emit audioCodecKnown(codec);
    });
    connect(m_engine, &PlaybackEngine::recordClosed, this, &PlayerSession::recordClosed);
    connect(m_engine, &PlaybackEngine::recordFailed, this, &PlayerSession::recordFailed);
    m_engine->setVolume(heardVolume());
    m_engine->setMute(m_mute);
    refreshStatus();
}

PlayerSession::~PlayerSession()
{
    m_asx->cancel();
    m_reconnectTimer.stop();
    m_settleTimer.stop();
    m_watchTimer.stop();
    // The engine goes first, while the rest of the session is still whole:
    // its destructor cancels any open in progress.
    delete m_engine;
    m_engine = nullptr;
}

// ---- settings --------------------------------------------------------------

void PlayerSession::setUrl(const QString &url)
{
    stop();
    m_url = url;
    m_live = true;  // until the engine says the new address has a size
    if (m_url.isEmpty()) {
        setState(State::Idle);
        return;
    }
    if (m_autoStart)
        play();
}

void PlayerSession::setVolume(int volume)
{
    volume = qBound(0, volume, 100);
    if (volume == m_volume)
        return;
    m_volume = volume;
    m_engine->setVolume(heardVolume());
    emit volumeChanged(m_volume);
}

void PlayerSession::setGain(double gain)
{
    gain = qBound(0.0, gain, 1.0);
    if (gain == m_gain)
        return;
    const int before = heardVolume();
    m_gain = gain;
    if (heardVolume() != before)
        m_engine->setVolume(heardVolume());
}

int PlayerSession::heardVolume() const
{
    return qRound(m_volume * m_gain);
}

void PlayerSession::setMute(bool mute)
{
    if (mute == m_mute)
        return;
    m_mute = mute;
    m_engine->setMute(mute);
    emit muteChanged(m_mute);
}

void PlayerSession::requestElapsed()
{
    if (isPlaying(m_state) || (m_state == State::Paused && m_received))
        m_engine->requestPlaybackTime();
}

// ---- transport -------------------------------------------------------------

bool PlayerSession::isActive() const
{
    return m_state == State::Connecting || m_state == State::Buffering || m_state == State::Playing
        || m_state == State::Paused;
}

bool PlayerSession::isRunning() const
{
    return isBusy(m_state) || m_state == State::NoSoundDevice;
}

void PlayerSession::play()
{
    if (m_url.isEmpty())
        return;
    if (m_state == State::Paused && m_started && (!m_live || m_received)) {
        // A file, or a live stream kept while paused, resumes where it was.
        m_engine->setPaused(false);
        setState(State::Playing);
        return;
    }
    if (m_state == State::Connecting || m_state == State::Buffering || m_state == State::Playing)
        return;
    // A live stream (or anything stopped) starts afresh on a new connection.
    cancelReconnectWait();
    m_reconnect.reset();
    setState(State::Connecting);
    open(m_url);
}

void PlayerSession::pause()
{
    if (isPlaying(m_state)) {
        if (m_started && (!m_live || m_received)) {
            // The engine goes on receiving a live stream meanwhile.
            m_engine->setPaused(true);
            m_shifted = m_shifted || m_live;
            setState(State::Paused);
            return;
        }
    } else if (m_state != State::Connecting && m_state != State::Reconnecting && m_state != State::NoSoundDevice) {
        return;
    }
    // Where nothing of a live stream is kept, pausing ends the connection;
    // play opens it again, and the listener hears the broadcast as it is now.
    closeConnection();
    emit elapsedChanged(-1);
    setState(State::Paused);
}

void PlayerSession::togglePlayPause()
{
    if (isRunning())
        pause();
    else
        play();
}

void PlayerSession::stop()
{
    closeConnection();
    m_failure = PlayerFailure::None;
    emit elapsedChanged(-1);
    if (m_state != State::Idle)
        setState(State::Stopped);
}

void PlayerSession::closeConnection()
{
    m_asx->cancel();
    cancelReconnectWait();
    m_reconnect.reset();
    m_engine->stop();
    m_started = false;
    m_gapToTell = false;
    forgetReceived();
}

void PlayerSession::open(const QString &address, int asxDepth)
{
    const QString url = normalizedStreamAddress(address);
    m_started = false;
    m_asxDepth = asxDepth;
    if (!isAllowedStreamAddress(url)) {
        emit addressRefused(url);
        fail(PlayerFailure::AddressRefused);
        return;
    }
    if (isAsxAddress(url) && (url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                              || url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))) {
        if (asxDepth >= kMaxAsxDepth)
            retryOrFail(PlayerFailure::PlaylistEmpty);
        else
            m_asx->resolve(url);
        return;
    }
    emit elapsedChanged(-1);
    forgetReceived();
    m_loadedAddress = url;
    m_codec.clear();
    m_engine->load(url);
    emit addressOpened(url);
}

void PlayerSession::onAsxResolved(const QStringList &entries)
{
    bool refused = false;
    for (const QString &entry : entries) {
        if (isAllowedStreamAddress(entry)) {
            open(entry, m_asxDepth + 1);
            return;
        }
        emit addressRefused(entry);
        refused = true;
    }
    retryOrFail(refused ? PlayerFailure::AddressRefused : PlayerFailure::PlaylistEmpty);
}

// A failure on the first try is final; while reconnecting it only means
// another pause.
void PlayerSession::retryOrFail(PlayerFailure failure)
{
    if (m_reconnect.attempt() > 0)
        scheduleReconnect();
    else
        fail(failure);
}

void PlayerSession::scheduleReconnect()
{
    if (!m_live && m_reconnect.attempt() >= kMaxFileRetries) {
        fail(PlayerFailure::Interrupted);
        return;
    }
    m_asx->cancel();
    m_engine->stop();
    m_started = false;
    forgetReceived();
    emit elapsedChanged(-1);
    const auto delay = m_reconnect.nextDelay();
    m_reconnectSeconds = int(std::chrono::duration_cast<std::chrono::seconds>(delay).count());
    startReconnectWait(delay);
    setState(State::Reconnecting);
}

void PlayerSession::startReconnectWait(std::chrono::milliseconds delay)
{
    m_reconnectTimer.start(delay);
}

void PlayerSession::cancelReconnectWait()
{
    m_reconnectTimer.stop();
}

void PlayerSession::startSettleWait(std::chrono::milliseconds delay)
{
    m_settleTimer.start(delay);
}

void PlayerSession::cancelSettleWait()
{
    m_settleTimer.stop();
}

void PlayerSession::settleDue()
{
    if (m_state == State::Playing && m_live)
        m_reconnect.settled();
}

void PlayerSession::startWatch(std::chrono::milliseconds interval)
{
    m_watchTimer.start(interval);
}

void PlayerSession::cancelWatch()
{
    m_watchTimer.stop();
}

std::chrono::milliseconds PlayerSession::clockNow() const
{
    return bootClock();
}

void PlayerSession::reconnectDue()
{
    if (m_state == State::NoSoundDevice) {
        m_engine->checkSoundOutput();  // answered by onSoundOutputChecked()
        return;
    }
    if (m_state != State::Reconnecting)
        return;
    setState(State::Connecting);
    open(m_url);
}

void PlayerSession::fail(PlayerFailure failure)
{
    closeConnection();
    m_failure = failure;
    emit elapsedChanged(-1);
    setState(State::Failed);
    emit failed(failure);
}

// ---- engine events ---------------------------------------------------------

void PlayerSession::onLoaded(bool sized)
{
    if (m_started || (m_state != State::Connecting && m_state != State::Buffering))
        return;
    m_live = !sized;
    m_bufferPercent = 0;
    setState(State::Buffering);
}

void PlayerSession::onPlaying()
{
    if (m_state != State::Connecting && m_state != State::Buffering && m_state != State::Playing)
        return;
    m_started = true;
    // A live stream that plays again has recovered, but its pauses only
    // start from 1 s again once it has stayed up a while; a file that keeps
    // breaking off keeps counting towards its limit.
    const bool wasPlaying = m_state == State::Playing;
    if (m_live)
        m_reconnect.recovered();
    setState(State::Playing);
    if (m_live && !wasPlaying)
        startSettleWait(ReconnectPolicy::kSettleTime);
}

void PlayerSession::onBuffering(int percent)
{
    m_bufferPercent = percent;
    if (!m_started)
        return;
    if (m_state == State::Playing)
        setState(State::Buffering);
    else if (m_state == State::Buffering)
        refreshStatus();
}

void PlayerSession::onEnded(EndOutcome outcome, PlayerFailure failure)
{
    if (m_state != State::Connecting && m_state != State::Buffering && m_state != State::Playing)
        return;
    switch (outcome) {
    case EndOutcome::Finished:
        // Played to its end: done, never fetched again.
        m_started = false;
        setState(State::Stopped);
        break;
    case EndOutcome::Dropped:
        m_gapToTell = m_droppedAt.has_value();
        scheduleReconnect();
        break;
    case EndOutcome::Failed:
        retryOrFail(failure);
        break;
    case EndOutcome::NoSoundOutput:
        waitForSoundOutput();
        break;
    }
}

// The station is not at fault: its connection is closed and stays closed
// while the engine looks for a sound output every few seconds, on its own.
void PlayerSession::waitForSoundOutput()
{
    m_asx->cancel();
    m_engine->stop();
    m_started = false;
    forgetReceived();
    emit elapsedChanged(-1);
    setState(State::NoSoundDevice);
    startReconnectWait(kSoundCheckInterval);
}

void PlayerSession::onSoundOutputChecked(bool available)
{
    if (m_state != State::NoSoundDevice)
        return;
    if (!available) {
        startReconnectWait(kSoundCheckInterval);
        return;
    }
    // Sound can be heard again: the station is opened afresh.
    m_reconnect.reset();
    setState(State::Connecting);
    open(m_url);
}

// ---- time-shift ------------------------------------------------------------

bool PlayerSession::canTimeShift() const
{
    // Where playback is must have been read once since what is kept was.
    return m_live && m_started && m_received && m_heardSince.isValid()
        && (isPlaying(m_state) || m_state == State::Paused);
}

// Where playback is now: the last reading, moved on by the time since while
// audio plays.
double PlayerSession::heardTime() const
{
    if (!m_received || !m_heardSince.isValid())
        return -1;
    return m_heard + (isPlaying(m_state) ? double(m_heardSince.elapsed()) / 1000.0 : 0.0);
}

bool PlayerSession::jumpTo(double time)
{
    return canTimeShift() && jump(time - heardTime());
}

bool PlayerSession::jump(double seconds)
{
    if (!canTimeShift())
        return false;
    const double now = heardTime();
    const double newest = m_received->newest + double(m_heardSince.elapsed()) / 1000.0;
    const double target = std::clamp(now + seconds, m_received->oldest, std::max(m_received->oldest, newest - kLiveMargin));
    if (std::abs(target - (now + seconds)) < 0.05)
        m_engine->seekBy(seconds);  // from where playback really is, to the frame
    else
        m_engine->seekTo(target);
    m_heard = target;
    m_heardSince.start();
    m_shifted = true;
    m_position.reset();  // a jump is not a stall
    m_positionSince = clockNow();
    m_engine->requestPlaybackTime();
    emit jumped(target);
    return true;
}

bool PlayerSession::goLive()
{
    if (!canTimeShift())
        return false;
    jump(1e9);  // clamped to just before the newest received
    m_shifted = false;
    m_liveLag.reset();
    setBehind(0);
    if (m_state == State::Paused)
        play();
    return true;
}

void PlayerSession::onReceived(double oldest, double newest, bool complete)
{
    if (!m_live || !isActive())
        return;
    // A connection that ends while playback is behind live: the rest of
    // what was kept still plays, then a new connection starts at live.
    if (complete && !m_droppedAt && (m_state == State::Paused || m_shifted))
        m_droppedAt = clockNow();
    const bool first = !m_received;
    m_received = Received{oldest, newest};
    if (first && m_state == State::Paused)
        followState(m_state);
    followTimeShift();
}

// A reading of the playback time while something is kept: how far behind
// live it is, and whether it fell out of what is kept.
void PlayerSession::followHeard(double seconds)
{
    m_heard = seconds;
    m_heardSince.start();
    const Received kept = *m_received;
    if (seconds < kept.oldest - 0.5) {
        // Paused past the buffer's bound: the oldest part has gone, and
        // playback goes on from the oldest still kept.
        m_engine->seekTo(kept.oldest);
        m_heard = kept.oldest;
    }
    const double lag = kept.newest - m_heard;
    if (!m_shifted)
        m_liveLag = lag;
    const double behind = m_shifted ? std::max(0.0, lag - std::max(m_liveLag.value_or(0.0), kLiveMargin)) : 0.0;
    if (m_shifted && behind <= 0 && isPlaying(m_state))
        m_shifted = false;  // caught up with live
    setBehind(behind);
    followTimeShift();
}

void PlayerSession::setBehind(double seconds)
{
    const bool changed = int(seconds) != int(m_behind) || (seconds > 0) != (m_behind > 0);
    m_behind = seconds;
    if (changed)
        emit behindLiveChanged(seconds);
}

void PlayerSession::forgetReceived()
{
    m_received.reset();
    m_heardSince.invalidate();
    m_liveLag.reset();
    m_shifted = false;
    // A drop seen behind live is told once the new connection plays; any
    // other new start (a recovery, a new address) leaves nothing to tell.
    if (!m_gapToTell)
        m_droppedAt.reset();
    setBehind(0);
    followTimeShift();
}

void PlayerSession::followTimeShift()
{
    const bool can = canTimeShift();
    if (can != std::exchange(m_couldTimeShift, can))
        emit timeShiftChanged(can);
}

// ---- sleep and stalls ------------------------------------------------------

void PlayerSession::onPlaybackTime(double seconds)
{
    if (m_state == State::Paused && m_received) {
        followHeard(seconds);
        return;
    }
    if (!isPlaying(m_state))
        return;
    emit elapsedChanged(seconds);
    if (m_received)
        followHeard(seconds);
    if (!m_position) {
        // The time to measure from: the audio stands still only if it has
        // not moved on for kStallTime since this reading.
        m_position = seconds;
        m_positionSince = clockNow();
        return;
    }
    if (std::abs(seconds - *m_position) < kMoveSeconds)
        return;
    const bool forward = seconds > *m_position;
    m_position = seconds;
    m_positionSince = clockNow();
    // Audio that moves on plays, whatever the engine last said (a file
    // whose sound output was opened afresh says nothing more).
    if (forward && m_state == State::Buffering && m_started)
        setState(State::Playing);
}

// Every kWatchInterval while audio plays or buffers. Looks whether the
// program ran all the time, and whether what is said to play moves on.
void PlayerSession::watchDue()
{
    if (!m_watching)
        return;
    const auto now = clockNow();
    if (m_state == State::Paused) {
        // Kept while paused: what is received is followed, so that the
        // oldest part goes once the buffer is full. A pause is not a stall.
        m_lastLook = now;
        m_engine->requestPlaybackTime();
        return;
    }
    const auto sinceLastLook = now - m_lastLook;
    m_lastLook = now;
    if (sinceLastLook > kAsleepGap) {
        // The program did not run: what the engine holds is that old, and
        // the sound server may play a silence as long as the sleep.
        recover();
        return;
    }
    if (sinceLastLook > kLateLook) {
        m_position.reset();  // judged afresh from the next reading
        m_positionSince = now;
    } else if (m_state == State::Playing && now - m_positionSince >= kStallTime) {
        // Said to play, but the audio does not move on (a sound server that
        // stopped taking it, a stream the engine stopped reading).
        recover();
        return;
    }
    m_engine->requestPlaybackTime();
}

void PlayerSession::resumedFromSleep()
{
    // The first look after a wake-up may have seen the gap already.
    if (m_lastRecovery && clockNow() - *m_lastRecovery < kAsleepGap)
        return;
    switch (m_state) {
    case State::Playing:
    case State::Buffering:
        recover();
        break;
    case State::Reconnecting:
    case State::NoSoundDevice:
        // The pause was for a connection or an output that may be back: the
        // next attempt (or look for an output) is made now.
        cancelReconnectWait();
        reconnectDue();
        break;
    default:
        break;
    }
}

// Starts playback again after a sleep or a stall. A live stream is opened
// afresh, to play from live rather than from a buffer that old; it counts
// as an attempt made at once, not as a drop, so the pauses before further
// attempts do not grow. A file plays on from its position on a new sound
// output, and counts as playing once its time moves on.
void PlayerSession::recover()
{
    m_lastRecovery = clockNow();
    m_engine->restartSoundOutput();
    if (m_live) {
        m_asx->cancel();
        m_engine->stop();
        m_started = false;
        forgetReceived();
        emit elapsedChanged(-1);
        m_reconnect.countImmediateAttempt();
        setState(State::Connecting);
        open(m_url);
        return;
    }
    m_bufferPercent = 0;
    setState(State::Buffering);
}

// The watch runs while audio plays or buffers; each change between those
// states measures the playback time afresh.
void PlayerSession::followState(State previous)
{
    const bool watched = isPlaying(m_state) || (m_state == State::Paused && m_received);
    if (!watched) {
        if (m_watching) {
            m_watching = false;
            cancelWatch();
        }
        return;
    }
    if (m_state != previous) {
        m_position.reset();
        m_positionSince = clockNow();
    }
    if (!m_watching) {
        m_watching = true;
        m_lastLook = clockNow();
        startWatch(kWatchInterval);
    }
}

// ---- status ----------------------------------------------------------------

void PlayerSession::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    emit titleChanged(m_title);
}

void PlayerSession::setState(State state)
{
    const State previous = m_state;
    const bool changed = state != m_state;
    m_state = state;
    followState(previous);
    // Only audio that plays without a break counts towards settling.
    if (state != State::Playing)
        cancelSettleWait();
    if (state == State::Playing && m_started && m_gapToTell && m_droppedAt) {
        // The first sound of the new connection.
        const auto skipped = std::chrono::duration_cast<std::chrono::seconds>(clockNow() - *m_droppedAt);
        m_droppedAt.reset();
        m_gapToTell = false;
        m_gapNote = statustext::playingAfterGap(int(skipped.count()));
        m_gapNoteTimer.start();
    } else if (state != State::Playing) {
        m_gapNote.clear();
        m_gapNoteTimer.stop();
    }
    if (state == State::Idle || state == State::Stopped || state == State::Failed || state == State::NoSoundDevice)
        setTitle({});
    refreshStatus();
    if (changed)
        emit stateChanged(state);
    followTimeShift();
}

void PlayerSession::refreshStatus()
{
    QString text;
    switch (m_state) {
    case State::Idle: text = statustext::ready(); break;
    case State::Stopped: text = statustext::stopped(); break;
    case State::Connecting:
        text = m_reconnect.attempt() > 0 ? statustext::reconnectingNow(m_reconnect.attempt())
                                         : statustext::connecting();
        break;
    case State::Buffering: text = statustext::buffering(m_bufferPercent); break;
    case State::Playing: text = m_gapNote.isEmpty() ? statustext::playing() : m_gapNote; break;
    case State::Paused: text = statustext::paused(); break;
    case State::Reconnecting:
        text = statustext::reconnecting(m_reconnect.attempt(), m_reconnectSeconds);
        break;
    case State::Failed: text = statustext::failure(m_failure); break;
    case State::NoSoundDevice: text = statustext::noSoundDevice(); break;
    }
    if (text == m_statusText)
        return;
    m_statusText = text;
    emit statusChanged(text);
}

}  // namespace kelvaro
