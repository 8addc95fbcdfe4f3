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
// title on a line of its own, made to fit 254 x 77. Long texts are elided;
// the whole text is in the tooltip.
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

    QLabel *statusLabel() const { return m_status; }
    QToolButton *playPauseButton() const { return m_playPause; }
    QToolButton *stopButton() const { return m_stop; }
    QToolButton *muteButton() const { return m_muteButton; }
    QSlider *volumeSlider() const { return m_volume; }
    QLabel *timeLabel() const { return m_time; }
    QLabel *titleLabel() const { return m_title; }

signals:
    void playPauseClicked();
    void stopClicked();
    void muteToggled(bool muted);
    void volumeMoved(int volume);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elideTexts();
    QIcon icon(PlayerIcon which) const;

    QLabel *m_status;
    QString m_fullStatus;
    QLabel *m_title;
    QString m_fullTitle;
    QToolButton *m_playPause;
    QToolButton *m_stop;
    QToolButton *m_muteButton;
    QSlider *m_volume;
    QLabel *m_time;
    bool m_playing = false;
};

}  // namespace kelvaro
