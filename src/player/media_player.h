// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player_session.h"
#include "status_texts.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class QMenu;

namespace kelvaro {

class MiniControls;

// The window's media player (`Wmp1`): the compact controls and status line
// over a playback session on libmpv. Settings and controls go to the
// session; the controls show the session's state.
class MediaPlayer : public QWidget {
    Q_OBJECT
public:
    using State = PlayerSession::State;

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

    // A player with a session of its own, on libmpv.
    explicit MediaPlayer(QWidget *parent = nullptr);
    // A player that shows and steers `session`, which outlives it.
    explicit MediaPlayer(PlayerSession &session, QWidget *parent = nullptr);
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
    bool autoStart() const;
    void setAutoStart(bool on);
    QString statusText() const;

    State state() const;
    PlayerFailure lastFailure() const;
    QString nowPlayingTitle() const;  // empty when the stream sends none
    int reconnectAttempt() const;
    PlayerSession *session() const { return m_session; }
    // Makes the engine ahead of the first station, off the UI thread.
    void warmUp() { m_session->warmUp(); }
    MiniControls *miniControls() const { return m_mini; }

signals:
    void statusChanged(const QString &text);
    void stateChanged(kelvaro::PlayerSession::State state);
    void titleChanged(const QString &title);
    // Every address the engine is asked to open: the player's own (after the
    // address check, or the chosen .asx entry) and every playlist entry the
    // engine reaches.
    void addressOpened(const QString &address);
    // An address or playlist entry refused by the address check.
    void addressRefused(const QString &address);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Left and Right jump 10 s back and 30 s on, End goes to live.
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void follow();
    void onStateChanged(State state);
    void showFailureDialog(PlayerFailure failure);
    void fitToVisibleWidth();
    void showBehind(double seconds);
    void followClock();

    Controls m_controls{this};
    Settings m_settings{this};
    PlayerSession *m_session = nullptr;
    bool m_ownsSession = false;
    MiniControls *m_mini = nullptr;
    QMenu *m_menu = nullptr;
    QTimer m_clockTimer;  // refreshes the elapsed time while playing

    QString m_uiMode = QStringLiteral("mini");
    bool m_enableContextMenu = true;
    bool m_enableErrorDialogs = false;
};

}  // namespace kelvaro
