// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback_engine.h"
#include "reconnect_policy.h"
#include "status_texts.h"

#include <QObject>
#include <QString>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <optional>

namespace kelvaro {

class AsxResolver;

// One station's playback, without any widget: the address, the transport,
// reconnecting a dropped stream with growing pauses, a live stream kept as
// it comes so that a pause and jumps back stay within the programme
// (where the engine keeps it; otherwise a live pause ends the connection and
// play opens a new one at live), .asx playlists, why a stream failed, and
// starting again after the computer slept or the audio stood still. The
// engine behind it does the decoding (MpvEngine in the program, a scripted
// one in tests).
class PlayerSession : public QObject {
    Q_OBJECT
public:
    // NoSoundDevice: the stream was there but no sound output could be
    // opened; the station is left alone until the engine finds one.
    enum class State { Idle, Connecting, Buffering, Playing, Paused, Reconnecting, Stopped, Failed, NoSoundDevice };
    Q_ENUM(State)

    // A file (a stream with a size) that keeps breaking off is tried again
    // this many times; live streams are tried again for as long as they are
    // the session's address.
    static constexpr int kMaxFileRetries = 4;
    // Without a sound output, the engine looks for one this often.
    static constexpr std::chrono::seconds kSoundCheckInterval{2};
    // While audio plays, the session looks this often whether the program
    // ran all the time and whether the audio moves on.
    static constexpr std::chrono::seconds kWatchInterval{2};
    // How long the status tells of a gap skipped after a drop behind live.
    static constexpr std::chrono::seconds kGapNoteTime{15};
    // A look this much later than the last one: the program did not run
    // (the computer slept, the process was stopped).
    static constexpr std::chrono::seconds kAsleepGap{10};
    // Playing, but the playback time has not moved on for this long.
    static constexpr std::chrono::seconds kStallTime{4};

    // Takes ownership of the engine.
    explicit PlayerSession(PlaybackEngine *engine, QObject *parent = nullptr);
    ~PlayerSession() override;  // returns at once, even mid-connect

    QString url() const { return m_url; }
    // Stops what plays and takes the new address; plays it when autoStart.
    void setUrl(const QString &url);
    bool autoStart() const { return m_autoStart; }
    void setAutoStart(bool on) { m_autoStart = on; }

    void play();
    void pause();
    void stop();
    // Pause while something plays or connects, play otherwise.
    void togglePlayPause();

    // The one volume and mute of this session; whoever changes them, the
    // change is signalled.
    int volume() const { return m_volume; }
    void setVolume(int volume);  // clamps 0..100
    bool mute() const { return m_mute; }
    void setMute(bool mute);
    // A factor 0..1 on the volume heard, for fades (a sleep timer's end, an
    // alarm's rise): it leaves the volume the listener set, and what is
    // shown and kept of it, as it is. 1 by default.
    double gain() const { return m_gain; }
    void setGain(double gain);

    State state() const { return m_state; }
    // The groups of states that those who show or follow the player need,
    // named once here.
    // Audio comes, or waits for data in the middle of coming: the time
    // played runs.
    static constexpr bool isPlaying(State s) { return s == State::Playing || s == State::Buffering; }
    // A station is on its way or heard (the desktop shows it as playing).
    // Waiting for a sound output is not: nothing can be heard.
    static constexpr bool isBusy(State s)
    {
        return isPlaying(s) || s == State::Connecting || s == State::Reconnecting;
    }
    // The computer is kept from sleeping: only while audio comes, not while
    // connecting or reconnecting, which may go on for long without a sound.
    static constexpr bool keepsAwake(State s) { return isPlaying(s); }

    // Busy, or waiting for a sound output: what pause acts on.
    bool isRunning() const;
    QString statusText() const { return m_statusText; }
    PlayerFailure lastFailure() const { return m_failure; }
    QString title() const { return m_title; }  // the stream's current title, or empty
    int reconnectAttempt() const { return m_reconnect.attempt(); }
    // Asks the engine for the playback time; answered by elapsedChanged().
    void requestElapsed();

    // Time-shift of a live stream, where the engine keeps what it received
    // (see PlaybackEngine::received()). Jumps by `seconds` (negative: back)
    // within what was received, never past live; false when nothing is kept.
    bool jump(double seconds);
    // Jumps to `time` on the stream's clock (heardTime()), clamped the same.
    bool jumpTo(double time);
    bool goLive();
    bool canTimeShift() const;
    // How far what is heard is behind live, in seconds; 0 at live.
    double behindLive() const { return m_behind; }
    // The heard and newest received time, on the stream's clock (for the
    // desktop's position); negative when not known.
    double heardTime() const;
    double receivedFrom() const { return m_received ? m_received->oldest : -1; }
    double receivedTo() const { return m_received ? m_received->newest : -1; }
    // What a jump or the live button aims at: this far before the newest
    // received, so that playback does not run dry at once.
    static constexpr double kLiveMargin = 1.0;
    // The jumps the player's keys and buttons make.
    static constexpr double kJumpBack = 10;
    static constexpr double kJumpOn = 30;
    // Lets the engine get ready ahead of the first station.
    void warmUp() { m_engine->warmUp(); }
    // The computer has woken from sleep (the desktop says so). What plays
    // starts again as after any long stop: a live stream from live on a new
    // connection, a file from where it was; a pending reconnect is made at
    // once.
    void resumedFromSleep();

    // Recording what plays (PlaybackEngine::recordTo()): the audio as it
    // comes, written to `path`; empty ends the file. Any new connection
    // (a reconnect, a new address, a stop) ends the file as well.
    void recordTo(const QString &path) { m_engine->recordTo(path); }
    // The audio codec of what plays; empty until decoding started.
    QString audioCodec() const { return m_codec; }

signals:
    void stateChanged(kelvaro::PlayerSession::State state);
    void statusChanged(const QString &text);
    void titleChanged(const QString &title);
    void elapsedChanged(double seconds);  // negative: none to show
    void behindLiveChanged(double seconds);  // 0: at live (or nothing kept)
    // canTimeShift() changed.
    void timeShiftChanged(bool can);
    // Playback moved by a jump or to live; `heard` is the new heardTime().
    void jumped(double heard);
    void volumeChanged(int volume);
    void muteChanged(bool mute);
    void failed(kelvaro::PlayerFailure failure);
    // Every address handed to the engine or opened by it (playlist entries).
    void addressOpened(const QString &address);
    // An address or playlist entry refused by the address check.
    void addressRefused(const QString &address);
    void audioCodecKnown(const QString &codec);
    void recordClosed(const QString &path);
    void recordFailed(const QString &path);

protected:
    // The pause before a reconnect attempt, or before the next look for a
    // sound output; reconnectDue() when it is over. Tests replace the clock
    // to step through the pauses.
    virtual void startReconnectWait(std::chrono::milliseconds delay);
    virtual void cancelReconnectWait();
    void reconnectDue();
    // A live stream that plays without a break for this long has settled:
    // settleDue() then lets its next drop start the pauses from 1 s again.
    virtual void startSettleWait(std::chrono::milliseconds delay);
    virtual void cancelSettleWait();
    void settleDue();
    // The look every kWatchInterval while audio plays or buffers; watchDue()
    // at each look. clockNow() counts the time the computer slept. Tests
    // replace both to step through a sleep or a stall.
    virtual void startWatch(std::chrono::milliseconds interval);
    virtual void cancelWatch();
    void watchDue();
    virtual std::chrono::milliseconds clockNow() const;

private:
    int heardVolume() const;  // the volume times the gain, for the engine
    void open(const QString &address, int asxDepth = 0);
    void onAsxResolved(const QStringList &entries);
    void closeConnection();
    void retryOrFail(PlayerFailure failure);
    void scheduleReconnect();
    void fail(PlayerFailure failure);
    void setState(State state);
    void setTitle(const QString &title);
    void refreshStatus();
    bool isActive() const;  // a connection is open or opening

    void onLoaded(bool sized);
    void onPlaying();
    void onBuffering(int percent);
    void onEnded(EndOutcome outcome, PlayerFailure failure);
    void waitForSoundOutput();
    void onSoundOutputChecked(bool available);
    void onPlaybackTime(double seconds);
    void followState(State previous);
    void onReceived(double oldest, double newest, bool complete);
    void followHeard(double seconds);
    void forgetReceived();
    void setBehind(double seconds);
    void followTimeShift();
    void recover();

    PlaybackEngine *m_engine;
    AsxResolver *m_asx;
    QTimer m_reconnectTimer;
    QTimer m_settleTimer;
    QTimer m_watchTimer;

    QString m_url;
    QString m_loadedAddress;
    bool m_autoStart = true;
    int m_volume = 50;
    double m_gain = 1.0;
    bool m_mute = false;

    State m_state = State::Idle;
    QString m_statusText;
    QString m_title;
    QString m_codec;
    PlayerFailure m_failure = PlayerFailure::None;
    int m_asxDepth = 0;
    bool m_started = false;  // audio has played since the last open
    // A stream without a size (Icecast, Shoutcast, any live source) is live:
    // pause ends its connection and its end is a drop. Known once the engine
    // has opened it, and kept across reconnects to the same address.
    bool m_live = true;
    int m_bufferPercent = 0;
    ReconnectPolicy m_reconnect;
    int m_reconnectSeconds = 0;

    // The watch while audio plays or buffers: when it last looked, and the
    // playback time when it last moved on (none known yet after a change
    // of state).
    bool m_watching = false;
    std::chrono::milliseconds m_lastLook{0};
    std::optional<double> m_position;
    std::chrono::milliseconds m_positionSince{0};
    // What the engine keeps of the live stream, and where playback is in it.
    struct Received {
        double oldest = 0;
        double newest = 0;
    };
    std::optional<Received> m_received;
    double m_heard = 0;
    QElapsedTimer m_heardSince;  // since m_heard was read
    // How far behind the newest received playback is when it follows live
    // (the server's first burst, the engine's buffer): 0 behind live.
    std::optional<double> m_liveLag;
    bool m_shifted = false;  // paused or jumped since playing at live
    double m_behind = 0;
    bool m_couldTimeShift = false;  // canTimeShift() when last told
    // When the connection of a stream kept behind live ended: what was
    // broadcast from then until a new connection plays is skipped, and the
    // status says how much for a while (m_gapNote).
    std::optional<std::chrono::milliseconds> m_droppedAt;
    bool m_gapToTell = false;  // the kept part has played; a new connection comes
    QString m_gapNote;
    QTimer m_gapNoteTimer;

    // When playback last started again after a sleep or a stall: one wake-up
    // seen twice (the look and the desktop's word) starts it once.
    std::optional<std::chrono::milliseconds> m_lastRecovery;
};

}  // namespace kelvaro
