#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

struct mpv_handle;
struct mpv_event;

namespace kelvaro {

struct MpvApi;

// A thin, asynchronous wrapper around one libmpv instance configured for
// audio streams only. Every call returns at once; the engine's events come
// back on the Qt event loop (wake-up callback + queued call) as signals.
class MpvEngine : public QObject {
    Q_OBJECT
public:
    enum class EndReason { Eof, Stop, Quit, Error, Redirect, Unknown };
    Q_ENUM(EndReason)

    // Makes nothing yet: libmpv is loaded and the engine made by
    // ensureStarted(), when the first address is played.
    explicit MpvEngine(QObject *parent = nullptr);
    ~MpvEngine() override;

    // Loads libmpv and makes the engine, once; false when that fails.
    bool ensureStarted();

    // Replaces whatever plays with `url`. Returns a request number; the
    // matching loadRequested() signal carries the playlist entry id the engine
    // gave the address. The caller has already checked the address.
    quint64 load(const QString &url);
    // These do nothing before the engine is started, except that volume and
    // mute are kept and applied when it starts.
    void stop();
    void setPaused(bool paused);
    void setVolume(int volume);
    void setMute(bool mute);
    // Asks for the playback time; answered by playbackTime().
    void requestPlaybackTime();

signals:
    void loadRequested(quint64 request, qint64 entryId);
    // The engine is about to open `url` (our own address or a playlist entry).
    void opening(const QString &url);
    // A playlist entry had a scheme outside the allowed list; it is not opened.
    void entryRefused(const QString &url);
    void fileStarted(qint64 entryId);
    void fileLoaded();
    void playbackRestarted();
    void fileEnded(qint64 entryId, kelvaro::MpvEngine::EndReason reason, int error);
    void idleChanged(bool idle);
    void titleChanged(const QByteArray &rawTitle);
    void bufferingChanged(bool pausedForCache, int percent);
    void fileSizeChanged(qint64 bytes);  // 0 when unknown (a live stream has no size)
    void playbackTime(double seconds);
    void logMessage(const QByteArray &prefix, const QByteArray &level, const QByteArray &text);

private:
    static void wakeup(void *ctx);
    Q_INVOKABLE void drainEvents();
    void handleEvent(const mpv_event &event);
    void handleHook(const mpv_event &event);
    void command(const QList<QByteArray> &args, quint64 reply = 0);

    const MpvApi *m_api = nullptr;
    mpv_handle *m_mpv = nullptr;
    bool m_startFailed = false;
    int m_volume = 100;
    bool m_mute = false;
    std::atomic_bool m_wakeupPending{false};
    quint64 m_nextRequest = 1;
    bool m_pausedForCache = false;
    int m_cachePercent = 0;
};

}  // namespace kelvaro
