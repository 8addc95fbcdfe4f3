#include "mpv_engine.h"

#include "mpv_api.h"

#include "address_check.h"

#include <QMetaObject>

#include <mpv/client.h>

namespace kelvaro {

namespace {

constexpr quint64 kLoadReplyTag = quint64(1) << 62;
constexpr quint64 kTimeReplyTag = quint64(1) << 61;
constexpr quint64 kOnLoadHookId = 1;

enum ObservedProperty : quint64 {
    PropMetadata = 1,
    PropPausedForCache,
    PropCacheState,
    PropIdle,
    PropFileSize,
};

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
};

MpvEngine::EndReason toEndReason(int reason)
{
    switch (reason) {
    case MPV_END_FILE_REASON_EOF: return MpvEngine::EndReason::Eof;
    case MPV_END_FILE_REASON_STOP: return MpvEngine::EndReason::Stop;
    case MPV_END_FILE_REASON_QUIT: return MpvEngine::EndReason::Quit;
    case MPV_END_FILE_REASON_ERROR: return MpvEngine::EndReason::Error;
    case MPV_END_FILE_REASON_REDIRECT: return MpvEngine::EndReason::Redirect;
    default: return MpvEngine::EndReason::Unknown;
    }
}

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

}  // namespace

MpvEngine::MpvEngine(QObject *parent) : QObject(parent) {}

bool MpvEngine::ensureStarted()
{
    if (m_mpv)
        return true;
    if (m_startFailed)
        return false;
    // libmpv is loaded with the first stream, not at program start.
    m_api = MpvApi::get();
    mpv_handle *mpv = m_api ? m_api->create() : nullptr;
    if (!mpv) {
        m_startFailed = true;
        return false;
    }
    for (const EngineOption &o : kEngineOptions)
        m_api->set_option_string(mpv, o.name, o.value);
    const QByteArray volume = QByteArray::number(m_volume);
    m_api->set_option_string(mpv, "volume", volume.constData());
    m_api->set_option_string(mpv, "mute", m_mute ? "yes" : "no");
    if (m_api->initialize(mpv) < 0) {
        m_api->terminate_destroy(mpv);
        m_startFailed = true;
        return false;
    }
    m_mpv = mpv;
    // Failures only say "loading failed"; the cause is in the warnings.
    m_api->request_log_messages(m_mpv, "warn");
    m_api->observe_property(m_mpv, PropMetadata, "metadata", MPV_FORMAT_NODE);
    m_api->observe_property(m_mpv, PropPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    m_api->observe_property(m_mpv, PropCacheState, "cache-buffering-state", MPV_FORMAT_INT64);
    m_api->observe_property(m_mpv, PropIdle, "idle-active", MPV_FORMAT_FLAG);
    m_api->observe_property(m_mpv, PropFileSize, "file-size", MPV_FORMAT_INT64);
    // Every file the engine opens, playlist entries included, passes through
    // this hook, where its scheme is checked once more.
    m_api->hook_add(m_mpv, kOnLoadHookId, "on_load", 0);
    m_api->set_wakeup_callback(m_mpv, &MpvEngine::wakeup, this);
    return true;
}

MpvEngine::~MpvEngine()
{
    if (!m_mpv)
        return;
    // After this returns the engine calls nothing of ours any more; events
    // already queued for this object die with it.
    m_api->set_wakeup_callback(m_mpv, nullptr, nullptr);
    // Cancels any open in progress (network reads are interruptible) and
    // joins the engine's threads.
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

quint64 MpvEngine::load(const QString &url)
{
    const quint64 request = m_nextRequest++;
    command({"loadfile", url.toUtf8(), "replace"}, kLoadReplyTag | request);
    return request;
}

void MpvEngine::stop()
{
    command({"stop"});
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
    if (m_mpv)
        m_api->get_property_async(m_mpv, kTimeReplyTag, "playback-time", MPV_FORMAT_DOUBLE);
}

void MpvEngine::handleHook(const mpv_event &event)
{
    const auto *hook = static_cast<const mpv_event_hook *>(event.data);
    char *name = m_api->get_property_string(m_mpv, "stream-open-filename");
    const QString url = name ? QString::fromUtf8(name) : QString();
    m_api->free(name);
    if (isAllowedStreamAddress(url)) {
        emit opening(url);
    } else {
        // Replace the address by one no protocol handler accepts, so the
        // engine fails this entry without touching anything.
        m_api->set_property_string(m_mpv, "stream-open-filename", "refused://");
        emit entryRefused(url);
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
        if (event.reply_userdata & kLoadReplyTag) {
            qint64 entry = -1;
            const auto *cmd = static_cast<const mpv_event_command *>(event.data);
            if (event.error >= 0 && cmd && cmd->result.format == MPV_FORMAT_NODE_MAP) {
                const mpv_node_list *list = cmd->result.u.list;
                for (int i = 0; i < list->num; ++i) {
                    if (qstrcmp(list->keys[i], "playlist_entry_id") == 0
                        && list->values[i].format == MPV_FORMAT_INT64)
                        entry = list->values[i].u.int64;
                }
            }
            emit loadRequested(event.reply_userdata & ~kLoadReplyTag, entry);
        }
        break;
    case MPV_EVENT_GET_PROPERTY_REPLY:
        if (event.reply_userdata == kTimeReplyTag && event.error >= 0) {
            const auto *prop = static_cast<const mpv_event_property *>(event.data);
            if (prop->format == MPV_FORMAT_DOUBLE)
                emit playbackTime(*static_cast<double *>(prop->data));
        }
        break;
    case MPV_EVENT_START_FILE: {
        const auto *start = static_cast<const mpv_event_start_file *>(event.data);
        emit fileStarted(start ? start->playlist_entry_id : -1);
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        emit fileLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        emit playbackRestarted();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        emit fileEnded(end->playlist_entry_id, toEndReason(end->reason), end->error);
        break;
    }
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *msg = static_cast<const mpv_event_log_message *>(event.data);
        emit logMessage(msg->prefix, msg->level, QByteArray(msg->text).trimmed());
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *prop = static_cast<const mpv_event_property *>(event.data);
        switch (event.reply_userdata) {
        case PropMetadata:
            emit titleChanged(prop->format == MPV_FORMAT_NODE
                                  ? titleFromMetadata(*static_cast<mpv_node *>(prop->data))
                                  : QByteArray());
            break;
        case PropPausedForCache:
            m_pausedForCache = prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data);
            emit bufferingChanged(m_pausedForCache, m_cachePercent);
            break;
        case PropCacheState:
            m_cachePercent = prop->format == MPV_FORMAT_INT64
                                 ? int(*static_cast<int64_t *>(prop->data)) : 0;
            emit bufferingChanged(m_pausedForCache, m_cachePercent);
            break;
        case PropFileSize:
            emit fileSizeChanged(prop->format == MPV_FORMAT_INT64
                                     ? qMax<qint64>(0, *static_cast<int64_t *>(prop->data)) : 0);
            break;
        case PropIdle:
            emit idleChanged(prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data));
            break;
        }
        break;
    }
    default:
        break;
    }
}

}  // namespace kelvaro
