#pragma once

#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

namespace kelvaro {

// The player's compact face: a status line above one row of controls
// (play/pause, stop, mute, volume, elapsed time), made to fit 256 x 77.
class MiniControls : public QWidget {
    Q_OBJECT
public:
    explicit MiniControls(QWidget *parent = nullptr);

    void setStatus(const QString &text);
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

signals:
    void playPauseClicked();
    void stopClicked();
    void muteToggled(bool muted);
    void volumeMoved(int volume);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elideStatus();

    QLabel *m_status;
    QString m_fullStatus;
    QToolButton *m_playPause;
    QToolButton *m_stop;
    QToolButton *m_muteButton;
    QSlider *m_volume;
    QLabel *m_time;
    bool m_playing = false;
};

}  // namespace kelvaro
