// SPDX-License-Identifier: GPL-3.0-or-later
#include "mini_controls.h"

#include "player_icons.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvaro {

namespace {
// A tool button that Enter presses as well as Space (a plain tool button
// only knows Space).
class ControlButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
            event->accept();
            click();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

// The buttons show only an icon: the tooltip says what they do, and so does
// the name assistive technology reads out.
QToolButton *makeButton(QWidget *parent, PlayerIcon icon, const QString &tip)
{
    auto *b = new ControlButton(parent);
    b->setIcon(playerIcon(icon, parent->palette().color(QPalette::ButtonText)));
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}
}  // namespace

MiniControls::MiniControls(QWidget *parent) : QWidget(parent)
{
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_status->setAccessibleDescription(QStringLiteral("播放状态"));

    m_playPause = makeButton(this, PlayerIcon::Play, QStringLiteral("播放"));
    m_playPause->setObjectName(QStringLiteral("playPause"));
    m_stop = makeButton(this, PlayerIcon::Stop, QStringLiteral("停止"));
    m_stop->setObjectName(QStringLiteral("stop"));
    m_muteButton = makeButton(this, PlayerIcon::Volume, QStringLiteral("静音"));
    m_muteButton->setObjectName(QStringLiteral("mute"));
    m_muteButton->setCheckable(true);
    // Shown only while there is something to jump in.
    m_back = makeButton(this, PlayerIcon::Back, QStringLiteral("后退 10 秒"));
    m_back->setObjectName(QStringLiteral("back"));
    m_back->hide();
    m_forward = makeButton(this, PlayerIcon::Forward, QStringLiteral("前进 30 秒"));
    m_forward->setObjectName(QStringLiteral("forward"));
    m_forward->hide();
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setRange(0, 100);
    m_volume->setToolTip(QStringLiteral("音量"));
    m_volume->setAccessibleName(QStringLiteral("音量"));
    m_volume->setMinimumWidth(40);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("elapsed"));
    m_time->setTextFormat(Qt::PlainText);
    m_time->setAccessibleDescription(QStringLiteral("已播放时间"));
    m_time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_time->setMinimumWidth(m_time->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("titleLine"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_title->setAccessibleDescription(QStringLiteral("当前曲目"));

    // At the end of the title line: nothing else moves for it.
    m_record = makeButton(this, PlayerIcon::Record, QStringLiteral("录音"));
    m_record->setObjectName(QStringLiteral("record"));
    m_record->setCheckable(true);
    m_record->setEnabled(false);
    m_record->setIconSize(QSize(12, 12));
    m_record->setFixedHeight(m_title->sizeHint().height());

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(m_playPause);
    row->addWidget(m_stop);
    row->addWidget(m_back);
    row->addWidget(m_forward);
    row->addWidget(m_muteButton);
    row->addWidget(m_volume, 1);
    row->addWidget(m_time);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(3, 2, 3, 2);
    column->setSpacing(2);
    column->addWidget(m_status);
    column->addLayout(row);
    auto *titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(1);
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_record);
    column->addLayout(titleRow);
    column->addStretch(1);

    connect(m_playPause, &QToolButton::clicked, this, &MiniControls::playPauseClicked);
    connect(m_stop, &QToolButton::clicked, this, &MiniControls::stopClicked);
    connect(m_muteButton, &QToolButton::toggled, this, [this](bool muted) {
        m_muteButton->setIcon(icon(muted ? PlayerIcon::Muted : PlayerIcon::Volume));
        emit muteToggled(muted);
    });
    connect(m_volume, &QSlider::valueChanged, this, &MiniControls::volumeMoved);
    connect(m_record, &QToolButton::clicked, this, &MiniControls::recordToggled);
    connect(m_back, &QToolButton::clicked, this, &MiniControls::backClicked);
    connect(m_forward, &QToolButton::clicked, this, &MiniControls::forwardClicked);
    setElapsed(-1);
}

QIcon MiniControls::icon(PlayerIcon which) const
{
    return playerIcon(which, palette().color(QPalette::ButtonText));
}

void MiniControls::setStatus(const QString &text)
{
    m_sessionStatus = text;
    showStatus();
}

void MiniControls::setRecording(bool recording, const QString &text, const QString &spoken)
{
    m_recordingText = text;
    m_recordingSpoken = spoken;
    {
        const QSignalBlocker block(m_record);
        m_record->setChecked(recording);
    }
    m_record->setIcon(icon(recording ? PlayerIcon::Recording : PlayerIcon::Record));
    const QString does = recording ? QStringLiteral("停止录音") : QStringLiteral("录音");
    m_record->setToolTip(does);
    m_record->setAccessibleName(does);
    showStatus();
}

void MiniControls::setCanRecord(bool can)
{
    m_record->setEnabled(can || m_record->isChecked());
}

void MiniControls::setTimerText(const QString &text, const QString &spoken)
{
    m_timerText = text;
    m_timerSpoken = spoken;
    showStatus();
}

void MiniControls::setBehindText(const QString &text, const QString &spoken)
{
    m_behindText = text;
    m_behindSpoken = spoken;
    showStatus();
}

void MiniControls::setCanJump(bool can)
{
    m_back->setVisible(can);
    m_forward->setVisible(can);
}

void MiniControls::showStatus()
{
    const auto joined = [this](const QString &behind, const QString &recording, const QString &timer) {
        QString line = m_sessionStatus;
        for (const QString *extra : {&behind, &recording, &timer}) {
            if (!extra->isEmpty())
                line += QStringLiteral(" · ") + *extra;
        }
        return line;
    };
    m_fullStatus = joined(m_behindText, m_recordingText, m_timerText);
    m_status->setToolTip(m_fullStatus);
    // Screen readers get the whole line, not the shortened one on screen,
    // and hear it again when the words change, not the recording's clock.
    const QString spoken = joined(m_behindSpoken, m_recordingSpoken, m_timerSpoken);
    if (m_status->accessibleName() != spoken)
        m_status->setAccessibleName(spoken);
    elideTexts();
}

void MiniControls::setTitle(const QString &title)
{
    m_fullTitle = title;
    m_title->setToolTip(title);
    m_title->setAccessibleName(title);
    elideTexts();
}

void MiniControls::elideTexts()
{
    for (auto [label, text] : {std::pair{m_status, &m_fullStatus}, std::pair{m_title, &m_fullTitle}}) {
        const int width = qMax(10, label->width());
        label->setText(label->fontMetrics().elidedText(*text, Qt::ElideRight, width));
    }
}

void MiniControls::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elideTexts();
}

void MiniControls::setPlaying(bool playing)
{
    if (playing == m_playing)
        return;
    m_playing = playing;
    m_playPause->setIcon(icon(playing ? PlayerIcon::Pause : PlayerIcon::Play));
    const QString does = playing ? QStringLiteral("暂停") : QStringLiteral("播放");
    m_playPause->setToolTip(does);
    m_playPause->setAccessibleName(does);
}

void MiniControls::setMuted(bool muted)
{
    const QSignalBlocker block(m_muteButton);
    m_muteButton->setChecked(muted);
    m_muteButton->setIcon(icon(muted ? PlayerIcon::Muted : PlayerIcon::Volume));
}

void MiniControls::setVolume(int volume)
{
    const QSignalBlocker block(m_volume);
    m_volume->setValue(volume);
}

void MiniControls::setElapsed(double seconds)
{
    if (seconds < 0) {
        m_time->setText(QStringLiteral("--:--"));
        return;
    }
    const qint64 s = qint64(seconds);
    m_time->setText(s >= 3600 ? QStringLiteral("%1:%2:%3")
                                    .arg(s / 3600)
                                    .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                                    .arg(s % 60, 2, 10, QLatin1Char('0'))
                              : QStringLiteral("%1:%2")
                                    .arg(s / 60, 2, 10, QLatin1Char('0'))
                                    .arg(s % 60, 2, 10, QLatin1Char('0')));
}

}  // namespace kelvaro
