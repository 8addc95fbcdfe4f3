// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback_engine.h"
#include "time_shift_disk.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>

struct mpv_handle;
struct mpv_event;
struct mpv_node;

namespace kelvaro {

struct MpvApi;

// One warning the engine logged, as its log API hands it over.
struct EngineLogLine {
    QByteArray prefix;  // the engine module: "ffmpeg", "cplayer", "stream"…
    QByteArray text;    // trimmed
};

// The cause of a failed open as the engine's warnings tell it; None when
// they name no cause. Only whole, anchored message forms are matched, never
// words that an address could also contain.
PlayerFailure failureFromEngineLog(const QList<EngineLogLine> &lines);

// The playback engine on libmpv, configured for audio streams only. Every
// call returns at once; the engine's events come back on the Qt event loop
// (wake-up callback + one queued call).
//
// How a load ended is read from the engine's state, not from its wording:
// - finished or dropped: in the engine's "on_unload" hook, while the file is
//   still open, from its size, the position read so far, its duration and
//   the playback time;
// - failed: the "on_load_fail" hook is held until every warning logged
//   before it has been read, so the cause is known before the end is
//   reported; the load fails when the engine goes idle with nothing played.
class MpvEngine : public PlaybackEngine {
    Q_OBJECT
public:
    struct Options {
        // False decodes to no sound device (for checking stations).
        bool audioOutput = true;
    };
    // A server that accepts but never answers is given up after this long.
    static constexpr std::chrono::seconds kNetworkTimeout{10};

    // Makes nothing yet: libmpv is loaded and the engine made by warmUp(),
    // at the latest when the first address is loaded, or by ensureStarted().
    explicit MpvEngine(QObject *parent = nullptr);
    MpvEngine(Options options, QObject *parent = nullptr);
    ~MpvEngine() override;  // returns at once, even mid-connect

    // Loads libmpv and makes the engine, once, on this thread (it blocks for
    // 100-200 ms); false when that fails or while the warm-up is still
    // making it.
    bool ensureStarted();
    // Loads libmpv and makes the engine on a worker thread, so that the first
    // station does not wait for it. An address loaded meanwhile is played
    // as soon as the engine is ready.
    void warmUp() override;

    void load(const QString &address) override;
    void stop() override;
    void setPaused(bool paused) override;
    void setVolume(int volume) override;
    void setMute(bool mute) override;
    void requestPlaybackTime() override;
    void restartSoundOutput() override;
    // Plays a silent source of the engine's own (never a station) just until
    // a sound output is open, or the engine says none can be.
    void checkSoundOutput() override;
    void recordTo(const QString &path) override;
    void seekTo(double seconds) override;
    void seekBy(double seconds) override;
    // Where what is received is kept (an engine with sound only); empty
    // for none.
    QString timeShiftFolder() const;
    // Disk space what is received takes now; -1 where unknown.
    qint64 timeShiftBytesOnDisk() const { return m_timeShift ? m_timeShift->bytesOnDisk() : -1; }

private:
    struct WarmUp;
    void warmUpFinished();
    void adopt(const MpvApi *api, mpv_handle *mpv);
    static void wakeup(void *ctx);
    Q_INVOKABLE void drainEvents();
    void handleEvent(const mpv_event &event);
    void handleHook(const mpv_event &event);
    void finishDrain();
    void noteIdle();
    void endLoad(EndOutcome outcome, PlayerFailure failure);
    void entryPlays();
    bool soundOutputOpen() const;
    void endSoundCheck(bool available);
    void command(const QList<QByteArray> &args, quint64 reply = 0);
    qint64 int64Property(const char *name) const;
    double doubleProperty(const char *name) const;
    void onCacheState(const mpv_node &state);
    bool isCurrent(qint64 entryId) const { return !m_awaitingReply && entryId >= m_firstEntry; }

    static constexpr qint64 kNoEntry = std::numeric_limits<qint64>::max();

    Options m_options;
    const MpvApi *m_api = nullptr;
    mpv_handle *m_mpv = nullptr;
    bool m_startFailed = false;
    std::shared_ptr<WarmUp> m_warmUp;  // while a worker makes the engine
    QString m_pendingLoad;             // loaded during the warm-up
    int m_volume = 100;
    bool m_mute = false;
    std::atomic_bool m_wakeupPending{false};

    // The load under way. Entries below m_firstEntry belong to earlier loads.
    quint64 m_nextRequest = 1;
    quint64 m_loadRequest = 0;
    bool m_awaitingReply = false;
    qint64 m_firstEntry = kNoEntry;
    qint64 m_entry = -1;             // the entry the engine is on
    bool m_entryPlayed = false;      // audio of this entry has played
    bool m_entryRefused = false;     // the address check refused this entry
    bool m_endReached = false;       // read in on_unload: the file played to its end
    PlayerFailure m_failure = PlayerFailure::None;  // first cause among failed entries
    bool m_awaitingIdle = false;     // an entry failed; another may follow
    bool m_verdictPending = false;   // idle with nothing played: fail once the log is read
    QList<EngineLogLine> m_entryLog; // warnings since the entry started
    QElapsedTimer m_openClock;       // since the entry started
    QList<quint64> m_heldHooks;      // on_load_fail hooks held until the log is read
    bool m_entryRestarted = false;   // decoding started; audio plays once an output is open
    // A sound check under way: its load's reply, then its playlist entry.
    bool m_checkingSound = false;
    quint64 m_checkRequest = 0;
    qint64 m_checkEntry = kNoEntry;
    bool m_bufferingReported = false;
    bool m_pausedForCache = false;
    // The file recorded to, and the files handed over to the engine to
    // close, by the request that closes them.
    QString m_recordPath;
    bool m_recordFailed = false;
    quint64 m_nextRecordRequest = 1;
    QList<QPair<quint64, QString>> m_closingRecords;
    int m_cachePercent = 0;
    std::unique_ptr<TimeShiftDisk> m_timeShift;
    std::optional<double> m_firstReceived;  // the stream time the cache file starts at
};

}  // namespace kelvaro
