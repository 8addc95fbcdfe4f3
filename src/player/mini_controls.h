// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player_icons.h"

#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

namespace kelvaro {

// The player's compact face: a short status line, one row of controls
// (play/pause, stop, mute, volume, elapsed time) and the stream's current
// title on a line of its own with the record button at its end, made to fit
// 254 x 77. Long texts are elided; the whole text is in the tooltip.
class MiniControls : public QWidget {
    Q_OBJECT
public:
    explicit MiniControls(QWidget *parent = nullptr);

    void setStatus(const QString &text);
    void setTitle(const QString &title);  // empty hides nothing: the line stays, blank
    void setPlaying(bool playing);  // the play/pause button shows pause while playing
    void setMuted(bool muted);
    void setVolume(int volume);
    void setElapsed(double seconds);  // negative clears it
    // What is being recorded, after the status ("录音中 12:34 · 11.5 MB"),
    // or why recording ended; empty for nothing. `recording` lights the
    // record button. Screen readers hear the line again only when
    // `spoken` changes, not with every second of the clock.
    void setRecording(bool recording, const QString &text, const QString &spoken);
    void setCanRecord(bool can);
    // A timer's time left, after the recording ("睡眠 12:34"); empty for
    // none. Spoken again only when `spoken` changes.
    void setTimerText(const QString &text, const QString &spoken);
    // How far behind live what is heard is ("落后直播 3:25"), right after
    // the status; empty at live. Spoken again only when `spoken` changes.
    void setBehindText(const QString &text, const QString &spoken);
    // The jump buttons show while a live stream is kept to jump in.
    void setCanJump(bool can);

    QLabel *statusLabel() const { return m_status; }
    QToolButton *playPauseButton() const { return m_playPause; }
    QToolButton *stopButton() const { return m_stop; }
    QToolButton *muteButton() const { return m_muteButton; }
    QSlider *volumeSlider() const { return m_volume; }
    QLabel *timeLabel() const { return m_time; }
    QLabel *titleLabel() const { return m_title; }
    QToolButton *recordButton() const { return m_record; }
    QToolButton *backButton() const { return m_back; }
    QToolButton *forwardButton() const { return m_forward; }

signals:
    void playPauseClicked();
    void stopClicked();
    void muteToggled(bool muted);
    void volumeMoved(int volume);
    void recordToggled(bool on);
    void backClicked();
    void forwardClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elideTexts();
    QIcon icon(PlayerIcon which) const;

    QLabel *m_status;
    QString m_fullStatus;
    QString m_sessionStatus;
    QString m_recordingText;
    QString m_recordingSpoken;
    QString m_timerText;
    QString m_timerSpoken;
    QString m_behindText;
    QString m_behindSpoken;
    QLabel *m_title;
    QString m_fullTitle;
    QToolButton *m_playPause;
    QToolButton *m_stop;
    QToolButton *m_muteButton;
    QSlider *m_volume;
    QLabel *m_time;
    QToolButton *m_record;
    QToolButton *m_back;
    QToolButton *m_forward;
    bool m_playing = false;
    void showStatus();
};

}  // namespace kelvaro
