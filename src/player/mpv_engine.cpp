// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpv_engine.h"

#include "mpv_api.h"
#include "thread_priority.h"
#include "time_shift_disk.h"

#include "address_check.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QRegularExpression>

#include <mpv/client.h>

#include <QThread>

#include <clocale>
#include <mutex>

namespace kelvaro {

namespace {

constexpr quint64 kLoadReplyTag = quint64(1) << 62;
constexpr quint64 kTimeReplyTag = quint64(1) << 61;
constexpr quint64 kCheckReplyTag = quint64(1) << 60;
constexpr quint64 kRecordReplyTag = quint64(1) << 59;
constexpr quint64 kReceivedReplyTag = quint64(1) << 58;

// What the sound check plays: endless silence made by the engine itself, so
// the check needs no network, no file and no station.
constexpr char kSoundCheckAddress[] = "av://lavfi:anullsrc=r=48000:cl=stereo";

enum HookId : quint64 {
    HookOnLoad = 1,      // every address opened: its scheme is checked again
    HookOnLoadFail,      // an address failed to open
    HookOnPreloaded,     // opened: is it a file or a live stream?
    HookOnUnload,        // about to close: did it reach its end?
};

enum ObservedProperty : quint64 {
    PropMetadata = 1,
    PropPausedForCache,
    PropCacheState,
    PropIdle,
    PropCurrentAo,
};

// A file counts as played to its end when the engine's last read position
// is this close to its size (the rest is the last frame and end tags), or
// when playback reached its duration.
constexpr qint64 kEndSlackBytes = 4096;
constexpr double kEndSlackSeconds = 0.5;

// Options set before the engine starts. Each one closes a door a station list
// could otherwise open, or keeps a live stream from misbehaving.
struct EngineOption {
    const char *name;
    const char *value;
};
constexpr EngineOption kEngineOptions[] = {
    // Never read the user's mpv.conf, input.conf or profiles.
    {"config", "no"},
    // No Lua/JS scripts, no built-in script helpers.
    {"load-scripts", "no"},
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
    // Never run youtube-dl/yt-dlp after a failed open.
    {"ytdl", "no"},
    // The player's own controls are the only input; no key bindings.
    {"input-default-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-terminal", "no"},
    // Nothing is printed on the terminal; messages go to the log API only.
    {"terminal", "no"},
    // Audio only: cover art or a video track must not open a video window.
    {"vid", "no"},
    {"sid", "no"},
    {"osc", "no"},
    // Look for no subtitle, audio or cover-art files beside the address.
    {"sub-auto", "no"},
    {"audio-file-auto", "no"},
    {"cover-art-auto", "no"},
    // A playlist from the network may not name local files.
    {"load-unsafe-playlists", "no"},
    // Playlists (.pls, .m3u) are references and must be followed; their
    // entries pass the on_load hook's scheme check and the rule above.
    {"access-references", "yes"},
    // Do not let Matroska files pull in other (local) files as chapters.
    {"ordered-chapters", "no"},
    // Neither read nor write watch-later state files.
    {"resume-playback", "no"},
    {"save-position-on-quit", "no"},
    // A server that accepts but never answers gives up after 10 s (default 60).
    {"network-timeout", "10"},
    // Live streams cannot seek; keep the back buffer small instead of 50 MiB.
    {"demuxer-max-back-bytes", "256KiB"},
    // A live stream needs a few seconds ahead, not the default 150 MiB.
    {"demuxer-max-bytes", "8MiB"},
    // The engine stays alive between streams; the player decides what plays.
    {"idle", "yes"},
    // The volume is the player's own playback volume, 0..100, never the mixer.
    {"volume-max", "100"},
    {"volume", "50"},
    // Start playing as soon as audio is there rather than waiting to fill the cache.
    {"cache-pause-initial", "no"},
    // A third of a second queued at the sound server, not the outputs'
    // defaults of 20 (PipeWire) or 100 ms (PulseAudio, ALSA): a radio's sound
    // may come late but must not break up when the machine is busy for a
    // moment (another engine starting a recording beside it, a build). The
    // volume, muting and pausing still act within that third of a second.
    {"pipewire-buffer", "300"},
    {"pulse-buffer", "300"},
    {"alsa-buffer-time", "300000"},
};

// The sound outputs tried, in this order, and no others. Left to itself the
// engine falls through every output it was built with when these fail (the
// only headset unplugged, a sound server without a fallback sink) and ends
// at SDL, whose PulseAudio backend crashes the program; JACK would start a
// server of its own. Names the engine was built without are skipped.
#ifdef Q_OS_WIN
constexpr const char *kAudioOutputs = "wasapi";
#else
constexpr const char *kAudioOutputs = "pipewire,pulse,alsa";
#endif

// The now-playing title from the metadata map: the ICY StreamTitle, or for
// Ogg/FLAC streams the artist and title tags of the current chain.
QByteArray titleFromMetadata(const mpv_node &node)
{
    if (node.format != MPV_FORMAT_NODE_MAP || !node.u.list)
        return {};
    QByteArray icy, title, artist;
    const mpv_node_list *list = node.u.list;
    for (int i = 0; i < list->num; ++i) {
        const mpv_node &v = list->values[i];
        if (v.format != MPV_FORMAT_STRING || !v.u.string || !list->keys[i])
            continue;
        const QByteArray key = QByteArray(list->keys[i]).toLower();
        if (key == "icy-title")
            icy = v.u.string;
        else if (key == "title")
            title = v.u.string;
        else if (key == "artist")
            artist = v.u.string;
    }
    if (!icy.trimmed().isEmpty())
        return icy.trimmed();
    if (!title.isEmpty() && !artist.isEmpty())
        return artist + " - " + title;
    return title;
}

// The playlist entry a "loadfile" made, from its command reply; -1 if none.
qint64 loadedEntry(const mpv_event &event)
{
    const auto *cmd = static_cast<const mpv_event_command *>(event.data);
    if (!cmd || cmd->result.format != MPV_FORMAT_NODE_MAP)
        return -1;
    const mpv_node_list *list = cmd->result.u.list;
    for (int i = 0; i < list->num; ++i) {
        if (qstrcmp(list->keys[i], "playlist_entry_id") == 0 && list->values[i].format == MPV_FORMAT_INT64)
            return list->values[i].u.int64;
    }
    return -1;
}

}  // namespace

PlayerFailure failureFromEngineLog(const QList<EngineLogLine> &lines)
{
    // FFmpeg's own messages, whole: "http: HTTP error 404 Not Found",
    // "tcp: Connection to tcp://h:p failed: Connection refused",
    // "tcp: Failed to resolve hostname h: Name or service not known".
    static const QRegularExpression httpError(QStringLiteral("^https?: HTTP error (\\d{3})(?: |$)"));
    static const QRegularExpression connectFailed(QStringLiteral("^tcp: Connection to \\S+ failed: (.+)$"));
    static const QRegularExpression resolveFailed(QStringLiteral("^tcp: Failed to resolve hostname \\S+: "));
    for (const EngineLogLine &line : lines) {
        const QString text = QString::fromUtf8(line.text);
        if (line.prefix == "ffmpeg") {
            if (const auto m = httpError.match(text); m.hasMatch()) {
                const int status = m.captured(1).toInt();
                if (status == 404 || status == 410)
                    return PlayerFailure::NotFound;
                if (status == 401 || status == 403)
                    return PlayerFailure::AccessDenied;
                return PlayerFailure::ServerError;
            }
            if (const auto m = connectFailed.match(text); m.hasMatch())
                return m.captured(1) == QLatin1String("Connection timed out") ? PlayerFailure::TimedOut
                                                                              : PlayerFailure::CannotConnect;
            if (resolveFailed.match(text).hasMatch())
                return PlayerFailure::HostNotFound;
        } else if (text.startsWith(QLatin1String("Refusing to load potentially unsafe URL"))) {
            return PlayerFailure::AddressRefused;
        } else if (line.prefix == "cplayer" && text == QLatin1String("Failed to recognize file format.")) {
            return PlayerFailure::Unsupported;
        }
    }
    return PlayerFailure::None;
}

MpvEngine::MpvEngine(QObject *parent) : MpvEngine(Options{}, parent) {}

MpvEngine::MpvEngine(Options options, QObject *parent) : PlaybackEngine(parent), m_options(options)
{
    if (m_options.audioOutput)
        m_timeShift = std::make_unique<TimeShiftDisk>();
}

namespace {

// What the heard engine keeps of a live stream, behind and ahead of what
// plays, so that a pause keeps the programme and the listener can go back:
// the packets go to a file in `folder` (its name deleted at once), only
// their index stays in memory. The limits count that index (a few hundred
// bytes a packet), enough for the two hours TimeShiftDisk lets be played.
constexpr EngineOption kTimeShiftOptions[] = {
    {"cache-on-disk", "yes"},
    {"cache-unlink-files", "immediate"},
    // Seeking within what was received, also in a stream that cannot seek.
    {"demuxer-seekable-cache", "yes"},
    {"demuxer-max-bytes", "160MiB"},
    {"demuxer-max-back-bytes", "160MiB"},
};

// Makes and initialises an engine with our options; callable on any thread.
// With a `timeShiftFolder`, what is received is kept there.
mpv_handle *createEngine(const MpvApi *api, bool audioOutput, int volume, bool mute, const QString &timeShiftFolder)
{
    mpv_handle *mpv = api ? api->create() : nullptr;
    if (!mpv)
        return nullptr;
    for (const EngineOption &o : kEngineOptions)
        api->set_option_string(mpv, o.name, o.value);
    if (!timeShiftFolder.isEmpty()) {
        for (const EngineOption &o : kTimeShiftOptions)
            api->set_option_string(mpv, o.name, o.value);
        // The engine does not make the folder itself (it keeps everything
        // in memory when it cannot write there).
        QDir().mkpath(timeShiftFolder);
        api->set_option_string(mpv, "cache-dir", QFile::encodeName(timeShiftFolder).constData());
    }
    api->set_option_string(mpv, "ao", audioOutput ? kAudioOutputs : "null");
    api->set_option_string(mpv, "volume", QByteArray::number(volume).constData());
    api->set_option_string(mpv, "mute", mute ? "yes" : "no");
    if (api->initialize(mpv) < 0) {
        api->terminate_destroy(mpv);
        return nullptr;
    }
    return mpv;
}

// libmpv refuses to start unless C's numeric locale is "C", and the
// program's locale comes from the desktop (zh_CN.UTF-8 for most of our
// users). Only C's own number formatting is affected; Qt's is not. Called on
// the UI thread: setlocale() is not thread-safe.
void useCNumericLocale()
{
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace

// An engine being made on a worker thread. Whoever comes second of the
// worker (done) and the MpvEngine (abandoned) disposes of the handle; the
// MpvEngine's destructor waits for the worker.
struct MpvEngine::WarmUp {
    QThread *thread = nullptr;
    std::mutex lock;
    mpv_handle *handle = nullptr;
    const MpvApi *api = nullptr;
    bool done = false;
    bool abandoned = false;
};

bool MpvEngine::ensureStarted()
{
    if (m_mpv)
        return true;
    if (m_startFailed || m_warmUp)
        return false;
    useCNumericLocale();
    // libmpv is loaded with the first stream or the warm-up, not at start.
    const MpvApi *api = MpvApi::get();
    adopt(api, createEngine(api, m_options.audioOutput, m_volume, m_mute, timeShiftFolder()));
    return m_mpv != nullptr;
}

void MpvEngine::warmUp()
{
    if (m_mpv || m_startFailed || m_warmUp)
        return;
    useCNumericLocale();
    auto warm = std::make_shared<WarmUp>();
    m_warmUp = warm;
    QThread *thread = QThread::create([warm, audio = m_options.audioOutput, volume = m_volume, mute = m_mute,
                                       folder = timeShiftFolder()] {
        // An engine without sound works in the background (recording a
        // station nobody hears): every thread it starts runs below the
        // engine that is heard, whose audio must never run dry for it.
        if (!audio)
            lowerThisThreadsPriority();
        const MpvApi *api = MpvApi::get();
        mpv_handle *mpv = createEngine(api, audio, volume, mute, folder);
        const std::lock_guard guard(warm->lock);
        warm->done = true;
        warm->api = api;
        if (warm->abandoned && mpv)
            api->terminate_destroy(mpv);
        else
            warm->handle = mpv;
    });
    warm->thread = thread;
    connect(thread, &QThread::finished, this, &MpvEngine::warmUpFinished);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::LowPriority);
}

void MpvEngine::warmUpFinished()
{
    if (!m_warmUp)
        return;
    mpv_handle *mpv = nullptr;
    const MpvApi *api = nullptr;
    {
        const std::lock_guard guard(m_warmUp->lock);
        mpv = std::exchange(m_warmUp->handle, nullptr);
        api = m_warmUp->api;
    }
    m_warmUp.reset();
    adopt(api, mpv);
    if (m_mpv) {
        // Settings changed while the engine was being made.
        setVolume(m_volume);
        setMute(m_mute);
    }
    if (!m_pendingLoad.isEmpty())
        load(std::exchange(m_pendingLoad, {}));
}

void MpvEngine::adopt(const MpvApi *api, mpv_handle *mpv)
{
    if (!mpv) {
        m_startFailed = true;
        return;
    }
    m_api = api;
    m_mpv = mpv;
    // Failures only say "loading failed"; the cause is in the warnings.
    m_api->request_log_messages(m_mpv, "warn");
    m_api->observe_property(m_mpv, PropMetadata, "metadata", MPV_FORMAT_NODE);
    m_api->observe_property(m_mpv, PropPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    m_api->observe_property(m_mpv, PropCacheState, "cache-buffering-state", MPV_FORMAT_INT64);
    m_api->observe_property(m_mpv, PropIdle, "idle-active", MPV_FORMAT_FLAG);
    // The sound output in use; none while it cannot be opened.
    m_api->observe_property(m_mpv, PropCurrentAo, "current-ao", MPV_FORMAT_STRING);
    m_api->hook_add(m_mpv, HookOnLoad, "on_load", 0);
    m_api->hook_add(m_mpv, HookOnLoadFail, "on_load_fail", 0);
    m_api->hook_add(m_mpv, HookOnPreloaded, "on_preloaded", 0);
    m_api->hook_add(m_mpv, HookOnUnload, "on_unload", 0);
    m_api->set_wakeup_callback(m_mpv, &MpvEngine::wakeup, this);
}

MpvEngine::~MpvEngine()
{
    if (m_warmUp) {
        // The worker is let finish (it is loading libraries and opening the
        // sound device, which must not be cut short by the program's exit);
        // the engine it made is disposed of here.
        m_warmUp->thread->wait();
        mpv_handle *mpv = nullptr;
        const MpvApi *api = nullptr;
        {
            const std::lock_guard guard(m_warmUp->lock);
            m_warmUp->abandoned = true;
            mpv = std::exchange(m_warmUp->handle, nullptr);
            api = m_warmUp->api;
        }
        if (mpv)
            api->terminate_destroy(mpv);
    }
    if (!m_mpv)
        return;
    // After this returns the engine calls nothing of ours any more; events
    // already queued for this object die with it.
    m_api->set_wakeup_callback(m_mpv, nullptr, nullptr);
    // Cancels any open in progress (network reads are interruptible) and
    // joins the engine's threads; held hooks are released by the shutdown.
    m_api->terminate_destroy(m_mpv);
    m_mpv = nullptr;
}

void MpvEngine::wakeup(void *ctx)
{
    auto *self = static_cast<MpvEngine *>(ctx);
    // One queued call is enough for any number of wake-ups before it runs.
    if (!self->m_wakeupPending.exchange(true))
        QMetaObject::invokeMethod(self, "drainEvents", Qt::QueuedConnection);
}

void MpvEngine::drainEvents()
{
    m_wakeupPending = false;
    while (m_mpv) {
        mpv_event *event = m_api->wait_event(m_mpv, 0);
        if (!event || event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    finishDrain();
}

// The engine hands out its warnings after its other events. Once it has
// nothing left to hand out, every warning logged before a held hook or
// before going idle has been read, and the verdicts can be made.
void MpvEngine::finishDrain()
{
    if (!m_mpv)
        return;
    const QList<quint64> held = std::exchange(m_heldHooks, {});
    for (quint64 id : held) {
        // The failed entry's cause: our own refusal, its warnings, or the
        // engine giving up after its network timeout without a word.
        PlayerFailure f = m_entryRefused ? PlayerFailure::AddressRefused : failureFromEngineLog(m_entryLog);
        if (f == PlayerFailure::None && m_openClock.isValid()
            && m_openClock.elapsed() >= std::chrono::milliseconds(kNetworkTimeout).count() - 500)
            f = PlayerFailure::TimedOut;
        if (m_failure == PlayerFailure::None)
            m_failure = f;
        m_api->hook_continue(m_mpv, id);
    }
    if (m_verdictPending) {
        m_verdictPending = false;
        PlayerFailure f = m_failure;
        if (f == PlayerFailure::None)
            f = failureFromEngineLog(m_entryLog);
        endLoad(EndOutcome::Failed, f == PlayerFailure::None ? PlayerFailure::PlaylistEmpty : f);
    }
}

// Idle with an entry failed and nothing after it: the load failed.
void MpvEngine::noteIdle()
{
    if (m_awaitingIdle && isCurrent(m_entry))
        m_verdictPending = true;  // made in finishDrain()
}

void MpvEngine::endLoad(EndOutcome outcome, PlayerFailure failure)
{
    m_firstEntry = kNoEntry;  // nothing more of this load is reported
    m_awaitingIdle = false;
    m_verdictPending = false;
    emit ended(outcome, failure);
}

void MpvEngine::command(const QList<QByteArray> &args, quint64 reply)
{
    if (!m_mpv)
        return;
    std::vector<const char *> argv;
    argv.reserve(args.size() + 1);
    for (const QByteArray &a : args)
        argv.push_back(a.constData());
    argv.push_back(nullptr);
    m_api->command_async(m_mpv, reply, argv.data());
}

qint64 MpvEngine::int64Property(const char *name) const
{
    int64_t v = -1;
    return m_api->get_property(m_mpv, name, MPV_FORMAT_INT64, &v) >= 0 ? v : -1;
}

double MpvEngine::doubleProperty(const char *name) const
{
    double v = -1;
    return m_api->get_property(m_mpv, name, MPV_FORMAT_DOUBLE, &v) >= 0 ? v : -1;
}

void MpvEngine::load(const QString &address)
{
    // Making the engine takes 100-200 ms (libraries, the sound device): never
    // on the caller's thread. Normally the window has warmed it up already.
    if (!m_mpv && !m_startFailed)
        warmUp();
    if (m_warmUp) {
        // The engine is being made: the address goes to it when it is ready.
        m_pendingLoad = address;
        return;
    }
    if (!ensureStarted()) {
        // Reported like any other failure, after the caller has returned.
        m_firstEntry = kNoEntry;
        QMetaObject::invokeMethod(this, [this] { emit ended(EndOutcome::Failed, PlayerFailure::Unsupported); },
                                  Qt::QueuedConnection);
        return;
    }
    recordTo({});  // a new connection never continues a file
    m_loadRequest = m_nextRequest++;
    m_awaitingReply = true;
    m_firstEntry = kNoEntry;
    m_entryPlayed = m_entryRefused = m_endReached = m_entryRestarted = false;
    m_checkingSound = false;
    m_checkEntry = kNoEntry;
    m_failure = PlayerFailure::None;
    m_awaitingIdle = m_verdictPending = m_bufferingReported = false;
    m_entryLog.clear();
    m_firstReceived.reset();
    if (m_timeShift)
        m_timeShift->restart();
    setPaused(false);
    command({"loadfile", address.toUtf8(), "replace"}, kLoadReplyTag | m_loadRequest);
}

void MpvEngine::stop()
{
    recordTo({});
    m_pendingLoad.clear();
    m_awaitingReply = false;
    m_firstEntry = kNoEntry;
    m_awaitingIdle = m_verdictPending = false;
    m_checkingSound = false;
    m_checkEntry = kNoEntry;
    command({"stop"});
}

void MpvEngine::checkSoundOutput()
{
    if (!m_mpv) {
        // Not made yet: nothing has said there is no sound output.
        QMetaObject::invokeMethod(this, [this] { emit soundOutputChecked(true); }, Qt::QueuedConnection);
        return;
    }
    recordTo({});
    m_pendingLoad.clear();
    m_awaitingReply = false;
    m_firstEntry = kNoEntry;  // nothing of the check is reported as a load
    m_awaitingIdle = m_verdictPending = false;
    m_checkingSound = true;
    m_checkEntry = kNoEntry;
    m_checkRequest = m_nextRequest++;
    setPaused(false);
    command({"loadfile", kSoundCheckAddress, "replace"}, kCheckReplyTag | m_checkRequest);
}

// The engine's stream recorder: setting its file closes the one before
// (writing its trailer) and opens the new one, both on the engine's thread
// and before the reply comes; packets go on from where the last file ended.
void MpvEngine::recordTo(const QString &path)
{
    if (!m_mpv || path == m_recordPath)
        return;
    const quint64 request = m_nextRecordRequest++;
    if (!m_recordPath.isEmpty())
        m_closingRecords.append({request, m_recordPath});
    m_recordPath = path;
    m_recordFailed = false;
    const QByteArray file = path.toUtf8();
    const char *value = file.constData();
    m_api->set_property_async(m_mpv, kRecordReplyTag | request, "stream-record", MPV_FORMAT_STRING, &value);
}

void MpvEngine::endSoundCheck(bool available)
{
    m_checkingSound = false;
    m_checkEntry = kNoEntry;
    command({"stop"});
    emit soundOutputChecked(available);
}

bool MpvEngine::soundOutputOpen() const
{
    if (!m_options.audioOutput)
        return true;
    char *ao = m_api->get_property_string(m_mpv, "current-ao");
    const bool open = ao && *ao;
    m_api->free(ao);
    return open;
}

// Audio of the current entry reaches a sound output.
void MpvEngine::entryPlays()
{
    m_entryPlayed = true;
    m_bufferingReported = false;
    emit playing();
}

void MpvEngine::setPaused(bool paused)
{
    if (!m_mpv)
        return;
    int flag = paused ? 1 : 0;
    m_api->set_property_async(m_mpv, 0, "pause", MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setVolume(int volume)
{
    m_volume = qBound(0, volume, 100);
    if (!m_mpv)
        return;
    double v = m_volume;
    m_api->set_property_async(m_mpv, 0, "volume", MPV_FORMAT_DOUBLE, &v);
}

void MpvEngine::setMute(bool mute)
{
    m_mute = mute;
    if (!m_mpv)
        return;
    int flag = mute ? 1 : 0;
    m_api->set_property_async(m_mpv, 0, "mute", MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::requestPlaybackTime()
{
    if (!m_mpv)
        return;
    // Answered in this order: what was received, then where playback is.
    if (m_timeShift)
        m_api->get_property_async(m_mpv, kReceivedReplyTag, "demuxer-cache-state", MPV_FORMAT_NODE);
    m_api->get_property_async(m_mpv, kTimeReplyTag, "playback-time", MPV_FORMAT_DOUBLE);
}

void MpvEngine::seekTo(double seconds)
{
    command({"seek", QByteArray::number(seconds, 'f', 3), "absolute+exact"});
}

void MpvEngine::seekBy(double seconds)
{
    command({"seek", QByteArray::number(seconds, 'f', 3), "relative+exact"});
}

// The engine's account of its cache: the playable ranges on the stream's
// clock and the size of its file. Reported from the first range's start
// to the last one's end, less what lies beyond the buffer's bounds.
void MpvEngine::onCacheState(const mpv_node &state)
{
    if (state.format != MPV_FORMAT_NODE_MAP || !state.u.list || !m_timeShift)
        return;
    double oldest = -1, newest = -1;
    qint64 fileBytes = 0;
    bool complete = false;
    const mpv_node_list *map = state.u.list;
    for (int i = 0; i < map->num; ++i) {
        const mpv_node &v = map->values[i];
        if (qstrcmp(map->keys[i], "file-cache-bytes") == 0 && v.format == MPV_FORMAT_INT64) {
            fileBytes = v.u.int64;
        } else if (qstrcmp(map->keys[i], "eof") == 0 && v.format == MPV_FORMAT_FLAG) {
            complete = v.u.flag != 0;
        } else if (qstrcmp(map->keys[i], "seekable-ranges") == 0 && v.format == MPV_FORMAT_NODE_ARRAY && v.u.list
                   && v.u.list->num > 0) {
            const auto bound = [](const mpv_node &range, const char *key) {
                if (range.format != MPV_FORMAT_NODE_MAP || !range.u.list)
                    return -1.0;
                for (int k = 0; k < range.u.list->num; ++k) {
                    if (qstrcmp(range.u.list->keys[k], key) == 0 && range.u.list->values[k].format == MPV_FORMAT_DOUBLE)
                        return range.u.list->values[k].u.double_;
                }
                return -1.0;
            };
            oldest = bound(v.u.list->values[0], "start");
            newest = bound(v.u.list->values[v.u.list->num - 1], "end");
        }
    }
    if (oldest < 0 || newest <= oldest)
        return;
    if (!m_firstReceived)
        m_firstReceived = oldest;
    emit received(m_timeShift->keep(fileBytes, *m_firstReceived, oldest, newest), newest, complete);
}

QString MpvEngine::timeShiftFolder() const
{
    return m_timeShift ? m_timeShift->folder() : QString();
}

// The engine's own reload of its sound output: the decoded audio goes to a
// new output stream, from the current position, without touching the
// stream or the demuxer.
void MpvEngine::restartSoundOutput()
{
    command({"ao-reload"});
}

void MpvEngine::handleHook(const mpv_event &event)
{
    const auto *hook = static_cast<const mpv_event_hook *>(event.data);
    const bool current = isCurrent(m_entry);
    switch (event.reply_userdata) {
    case HookOnLoad: {
        char *name = m_api->get_property_string(m_mpv, "stream-open-filename");
        const QString url = name ? QString::fromUtf8(name) : QString();
        m_api->free(name);
        if (m_checkingSound && url == QLatin1String(kSoundCheckAddress)) {
            // The sound check's own silence.
        } else if (isAllowedStreamAddress(url)) {
            if (current)
                emit opening(url);
        } else {
            // Replace the address by one no protocol handler accepts, so the
            // engine fails this entry without touching anything.
            m_api->set_property_string(m_mpv, "stream-open-filename", "refused://");
            if (current) {
                m_entryRefused = true;
                emit entryRefused(url);
            }
        }
        break;
    }
    case HookOnLoadFail:
        if (current) {
            m_heldHooks.append(hook->id);  // continued in finishDrain()
            return;
        }
        break;
    case HookOnPreloaded:
        if (current)
            emit loaded(int64Property("file-size") > 0);
        break;
    case HookOnUnload:
        if (current && m_entryPlayed) {
            const qint64 size = int64Property("file-size");
            const qint64 pos = int64Property("stream-pos");
            const double duration = doubleProperty("duration");
            const double time = doubleProperty("playback-time");
            m_endReached = size > 0
                && ((pos >= 0 && size - pos <= kEndSlackBytes)
                    || (duration > 0 && time >= duration - kEndSlackSeconds));
        }
        break;
    }
    m_api->hook_continue(m_mpv, hook->id);
}

void MpvEngine::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_HOOK:
        handleHook(event);
        break;
    case MPV_EVENT_COMMAND_REPLY:
        if ((event.reply_userdata & kCheckReplyTag) && (event.reply_userdata & ~kCheckReplyTag) == m_checkRequest
            && m_checkingSound) {
            const qint64 entry = event.error >= 0 ? loadedEntry(event) : -1;
            if (entry < 0)
                endSoundCheck(true);  // the check could not run; let the station show
            else
                m_checkEntry = entry;
            break;
        }
        if ((event.reply_userdata & kLoadReplyTag) && (event.reply_userdata & ~kLoadReplyTag) == m_loadRequest
            && m_awaitingReply) {
            m_awaitingReply = false;
            const qint64 entry = event.error >= 0 ? loadedEntry(event) : -1;
            if (entry < 0)
                endLoad(EndOutcome::Failed, PlayerFailure::Unsupported);
            else
                m_firstEntry = entry;
        }
        break;
    case MPV_EVENT_SET_PROPERTY_REPLY:
        if (event.reply_userdata & kRecordReplyTag) {
            const quint64 request = event.reply_userdata & ~kRecordReplyTag;
            for (qsizetype i = 0; i < m_closingRecords.size(); ++i) {
                if (m_closingRecords[i].first == request) {
                    const QString closed = m_closingRecords.takeAt(i).second;
                    emit recordClosed(closed);
                    break;
                }
            }
        }
        break;
    case MPV_EVENT_GET_PROPERTY_REPLY:
        if (event.reply_userdata == kReceivedReplyTag && event.error >= 0) {
            const auto *prop = static_cast<const mpv_event_property *>(event.data);
            if (prop->format == MPV_FORMAT_NODE && isCurrent(m_entry))
                onCacheState(*static_cast<mpv_node *>(prop->data));
        }
        if (event.reply_userdata == kTimeReplyTag && event.error >= 0) {
            const auto *prop = static_cast<const mpv_event_property *>(event.data);
            if (prop->format == MPV_FORMAT_DOUBLE)
                emit playbackTime(*static_cast<double *>(prop->data));
        }
        break;
    case MPV_EVENT_START_FILE: {
        const auto *start = static_cast<const mpv_event_start_file *>(event.data);
        m_entry = start ? start->playlist_entry_id : -1;
        if (isCurrent(m_entry)) {
            // Another entry of this load (a playlist's next address) is tried.
            m_entryPlayed = m_entryRefused = m_endReached = m_entryRestarted = false;
            m_awaitingIdle = m_verdictPending = false;
            m_entryLog.clear();
            m_openClock.start();
            emit titleChanged({});
        }
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        // Decoding has started; the audio plays only once a sound output is
        // open. Without one, the engine ends the entry with an output error,
        // or opens one later (reported as the output changes).
        if (m_checkingSound && m_checkEntry != kNoEntry && m_entry >= m_checkEntry) {
            if (soundOutputOpen())
                endSoundCheck(true);
        } else if (isCurrent(m_entry)) {
            m_entryRestarted = true;
            if (char *codec = m_api->get_property_string(m_mpv, "audio-codec-name")) {
                emit audioCodecKnown(QString::fromUtf8(codec));
                m_api->free(codec);
            }
            if (soundOutputOpen())
                entryPlays();
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        const bool noSoundOutput =
            end->reason == MPV_END_FILE_REASON_ERROR && end->error == MPV_ERROR_AO_INIT_FAILED;
        if (m_checkingSound && m_checkEntry != kNoEntry && end->playlist_entry_id >= m_checkEntry) {
            // Any other end of the silence says nothing against the output.
            if (end->reason != MPV_END_FILE_REASON_STOP && end->reason != MPV_END_FILE_REASON_QUIT)
                endSoundCheck(!noSoundOutput);
            break;
        }
        if (!isCurrent(end->playlist_entry_id))
            break;
        if (end->reason == MPV_END_FILE_REASON_STOP || end->reason == MPV_END_FILE_REASON_QUIT)
            break;  // replaced or stopped by us
        if (noSoundOutput) {
            // The stream was there; the sound output was not, or went away.
            endLoad(EndOutcome::NoSoundOutput, PlayerFailure::None);
            break;
        }
        if (m_entryPlayed) {
            const bool finished = end->reason == MPV_END_FILE_REASON_EOF && m_endReached;
            endLoad(finished ? EndOutcome::Finished : EndOutcome::Dropped, PlayerFailure::None);
            break;
        }
        // Not played (failed, or a playlist that handed over its entries):
        // another entry may follow; the engine going idle decides.
        if (end->reason == MPV_END_FILE_REASON_ERROR && m_failure == PlayerFailure::None
            && (end->error == MPV_ERROR_UNKNOWN_FORMAT || end->error == MPV_ERROR_NOTHING_TO_PLAY))
            m_failure = PlayerFailure::Unsupported;
        m_awaitingIdle = true;
        break;
    }
#if MPV_ENABLE_DEPRECATED
    // The property alone can miss a visit to idle: a load that fails within
    // one drain goes from idle to idle, and an unchanged value is not
    // reported. This event is queued, in order, every time.
    case MPV_EVENT_IDLE:
        noteIdle();
        break;
#endif
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *msg = static_cast<const mpv_event_log_message *>(event.data);
        // The recorder says "Failed writing packet." (or that it cannot open
        // the file) at error level; its warnings are not failures.
        if (qstrcmp(msg->prefix, "recorder") == 0 && msg->log_level <= MPV_LOG_LEVEL_ERROR
            && !m_recordPath.isEmpty() && !m_recordFailed) {
            m_recordFailed = true;
            // A copy: whoever hears this may end the recording, which
            // changes the member at once.
            emit recordFailed(QString(m_recordPath));
        }
        if (m_entryLog.size() < 64)
            m_entryLog.append({QByteArray(msg->prefix), QByteArray(msg->text).trimmed()});
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *prop = static_cast<const mpv_event_property *>(event.data);
        switch (event.reply_userdata) {
        case PropMetadata:
            if (isCurrent(m_entry))
                emit titleChanged(prop->format == MPV_FORMAT_NODE
                                      ? titleFromMetadata(*static_cast<mpv_node *>(prop->data))
                                      : QByteArray());
            break;
        case PropPausedForCache:
        case PropCacheState:
            if (event.reply_userdata == PropPausedForCache)
                m_pausedForCache = prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data);
            else
                m_cachePercent = prop->format == MPV_FORMAT_INT64 ? int(*static_cast<int64_t *>(prop->data)) : 0;
            if (!isCurrent(m_entry) || !m_entryPlayed)
                break;
            if (m_pausedForCache) {
                m_bufferingReported = true;
                emit buffering(m_cachePercent);
            } else if (m_bufferingReported) {
                m_bufferingReported = false;
                emit playing();
            }
            break;
        case PropIdle:
            if (prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data))
                noteIdle();
            break;
        case PropCurrentAo: {
            const bool open = prop->format == MPV_FORMAT_STRING && *static_cast<char **>(prop->data)
                && **static_cast<char **>(prop->data);
            if (!open)
                break;
            if (m_checkingSound && m_checkEntry != kNoEntry && m_entry >= m_checkEntry)
                endSoundCheck(true);
            else if (isCurrent(m_entry) && m_entryRestarted && !m_entryPlayed)
                entryPlays();
            break;
        }
        }
        break;
    }
    default:
        break;
    }
}

}  // namespace kelvaro
