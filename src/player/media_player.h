#pragma once

#include "reconnect_policy.h"
#include "status_texts.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <limits>

class QMenu;
class QNetworkAccessManager;
class QNetworkReply;

namespace kelvaro {

class MpvEngine;
class MiniControls;

// The window's media player (`Wmp1`): a widget that plays one stream address
// at a time with libmpv, shows its own compact controls and status line, and
// keeps a dropped live stream going by reconnecting on its own.
class MediaPlayer : public QWidget {
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Buffering, Playing, Paused, Reconnecting, Stopped, Failed };
    Q_ENUM(State)

    // The transport commands (`controls`).
    class Controls {
    public:
        void play();
        void pause();
        void stop();

    private:
        friend class MediaPlayer;
        explicit Controls(MediaPlayer *p) : m_player(p) {}
        MediaPlayer *m_player;
    };

    // The stored playback settings (`settings`).
    class Settings {
    public:
        int volume() const;
        void setVolume(int v);  // clamps 0..100
        bool mute() const;
        void setMute(bool m);

    private:
        friend class MediaPlayer;
        explicit Settings(MediaPlayer *p) : m_player(p) {}
        MediaPlayer *m_player;
    };

    explicit MediaPlayer(QWidget *parent = nullptr);
    ~MediaPlayer() override;  // returns at once, even mid-connect

    QString URL() const;
    void setURL(const QString &url);  // stops what plays; starts at once when autoStart
    Controls &controls() { return m_controls; }
    Settings &settings() { return m_settings; }
    bool enableContextMenu() const { return m_enableContextMenu; }
    void setEnableContextMenu(bool on);
    bool enableErrorDialogs() const { return m_enableErrorDialogs; }
    void setEnableErrorDialogs(bool on) { m_enableErrorDialogs = on; }
    QString uiMode() const { return m_uiMode; }
    void setUiMode(const QString &mode);  // "mini" (also "full"), "none"
    bool autoStart() const { return m_autoStart; }
    void setAutoStart(bool on) { m_autoStart = on; }
    QString statusText() const { return m_statusText; }

    State state() const { return m_state; }
    PlayerFailure lastFailure() const { return m_failure; }
    QString nowPlayingTitle() const { return m_title; }  // empty when the stream sends none
    int reconnectAttempt() const { return m_reconnect.attempt(); }

signals:
    void statusChanged(const QString &text);
    void stateChanged(kelvaro::MediaPlayer::State state);
    void titleChanged(const QString &title);
    // Every address the engine is asked to open: the player's own (after the
    // address check, or the chosen .asx entry) and every playlist entry the
    // engine reaches.
    void addressOpened(const QString &address);
    // An address or playlist entry refused by the address check.
    void addressRefused(const QString &address);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    friend class Controls;
    friend class Settings;

    void doPlay();
    void doPause();
    // Ends the connection and any reconnect or playlist download under way.
    void closeConnection();
    void doStop();
    void open(const QString &address, int asxDepth = 0);
    void openAsx(const QString &address, int asxDepth);
    void onAsxFinished(QNetworkReply *reply, int asxDepth);
    void loadIntoEngine(const QString &address);
    void cancelPending();
    void fail(PlayerFailure failure);
    void scheduleReconnect();
    void setState(State state);
    void refreshStatus();
    bool isActive() const;
    bool acceptsEntry(qint64 entryId) const;
    void noteLogMessage(const QByteArray &prefix, const QByteArray &level, const QByteArray &text);

    void onFileEnded(qint64 entryId, int reason, int error);

    Controls m_controls{this};
    Settings m_settings{this};
    MpvEngine *m_engine = nullptr;
    MiniControls *m_mini = nullptr;
    QMenu *m_menu = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_asxReply;

    QString m_url;
    QString m_loadedAddress;  // the last address handed to the engine
    bool m_autoStart = true;
    int m_volume = 50;
    bool m_mute = false;
    QString m_uiMode = QStringLiteral("mini");
    bool m_enableContextMenu = true;
    bool m_enableErrorDialogs = false;

    State m_state = State::Idle;
    QString m_statusText;
    QString m_title;
    PlayerFailure m_failure = PlayerFailure::None;
    PlayerFailure m_pendingFailure = PlayerFailure::None;  // cause read from the engine's log
    bool m_endedBeforePlaying = false;
    bool m_started = false;  // audio has played since the last open
    // A stream without a size (no Content-Length: Icecast, Shoutcast, any
    // live source) is live: pause restarts it and its end is a drop. The
    // engine's duration cannot tell: it has one for any stream that reached
    // its end, and MP3 streams often carry the header of the file they came from.
    bool isLive() const { return m_fileSize <= 0; }
    qint64 m_fileSize = 0;
    bool m_readBroken = false;  // the engine reported a transfer cut short
    int m_bufferPercent = 0;
    double m_elapsed = 0;

    static constexpr qint64 kNoEntry = std::numeric_limits<qint64>::max();
    quint64 m_loadRequest = 0;
    qint64 m_currentEntry = kNoEntry;  // events of entries before this are stale

    ReconnectPolicy m_reconnect;
    QTimer m_reconnectTimer;
    int m_reconnectSeconds = 0;
    QTimer m_clockTimer;
    QTimer m_verdictTimer;
};

}  // namespace kelvaro
