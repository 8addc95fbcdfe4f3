// SPDX-License-Identifier: GPL-3.0-or-later
#include "media_player.h"

#include "mini_controls.h"
#include "mpv_engine.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvaro {

// ---- Controls and Settings -------------------------------------------------

void MediaPlayer::Controls::play() { m_player->m_session->play(); }
void MediaPlayer::Controls::pause() { m_player->m_session->pause(); }
void MediaPlayer::Controls::stop() { m_player->m_session->stop(); }

int MediaPlayer::Settings::volume() const { return m_player->m_session->volume(); }

void MediaPlayer::Settings::setVolume(int v) { m_player->m_session->setVolume(v); }
bool MediaPlayer::Settings::mute() const { return m_player->m_session->mute(); }
void MediaPlayer::Settings::setMute(bool m) { m_player->m_session->setMute(m); }

// ---- construction ----------------------------------------------------------

MediaPlayer::MediaPlayer(QWidget *parent)
    : QWidget(parent), m_session(new PlayerSession(new MpvEngine, this)), m_ownsSession(true),
      m_mini(new MiniControls(this))
{
    follow();
}

MediaPlayer::MediaPlayer(PlayerSession &session, QWidget *parent)
    : QWidget(parent), m_session(&session), m_mini(new MiniControls(this))
{
    follow();
}

void MediaPlayer::follow()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_mini);
    m_mini->setVolume(m_session->volume());
    m_mini->setMuted(m_session->mute());
    m_mini->setStatus(m_session->statusText());

    connect(m_mini, &MiniControls::playPauseClicked, m_session, &PlayerSession::togglePlayPause);
    connect(m_mini, &MiniControls::stopClicked, m_session, &PlayerSession::stop);
    connect(m_mini, &MiniControls::muteToggled, m_session, &PlayerSession::setMute);
    connect(m_mini, &MiniControls::volumeMoved, m_session, &PlayerSession::setVolume);
    // The controls show the session's one volume and mute, whoever set them.
    connect(m_session, &PlayerSession::volumeChanged, m_mini, &MiniControls::setVolume);
    connect(m_session, &PlayerSession::muteChanged, m_mini, &MiniControls::setMuted);

    connect(m_session, &PlayerSession::stateChanged, this, &MediaPlayer::onStateChanged);
    connect(m_session, &PlayerSession::statusChanged, this, [this](const QString &text) {
        m_mini->setStatus(text);
        emit statusChanged(text);
    });
    connect(m_session, &PlayerSession::titleChanged, this, [this](const QString &title) {
        m_mini->setTitle(title);
        emit titleChanged(title);
    });
    connect(m_session, &PlayerSession::elapsedChanged, m_mini, &MiniControls::setElapsed);
    connect(m_session, &PlayerSession::behindLiveChanged, this, &MediaPlayer::showBehind);
    connect(m_session, &PlayerSession::timeShiftChanged, this, &MediaPlayer::followClock);
    connect(m_mini, &MiniControls::backClicked, m_session, [this] { m_session->jump(-PlayerSession::kJumpBack); });
    connect(m_mini, &MiniControls::forwardClicked, m_session, [this] { m_session->jump(PlayerSession::kJumpOn); });
    connect(m_session, &PlayerSession::failed, this, &MediaPlayer::showFailureDialog);
    connect(m_session, &PlayerSession::addressOpened, this, &MediaPlayer::addressOpened);
    connect(m_session, &PlayerSession::addressRefused, this, &MediaPlayer::addressRefused);

    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, m_session, &PlayerSession::requestElapsed);

    setFocusPolicy(Qt::TabFocus);
    setFocusProxy(m_mini->playPauseButton());
    setAccessibleName(QStringLiteral("播放器"));
}

MediaPlayer::~MediaPlayer()
{
    m_clockTimer.stop();
    // The session (and its engine) goes while the controls still exist; one
    // given to the player is its owner's (it may be gone already: the
    // connections went with it).
    if (m_ownsSession)
        delete m_session;
    m_session = nullptr;
}

// ---- properties ------------------------------------------------------------

QString MediaPlayer::URL() const { return m_session->url(); }
void MediaPlayer::setURL(const QString &url) { m_session->setUrl(url); }
bool MediaPlayer::autoStart() const { return m_session->autoStart(); }
void MediaPlayer::setAutoStart(bool on) { m_session->setAutoStart(on); }
QString MediaPlayer::statusText() const { return m_session->statusText(); }
MediaPlayer::State MediaPlayer::state() const { return m_session->state(); }
PlayerFailure MediaPlayer::lastFailure() const { return m_session->lastFailure(); }
QString MediaPlayer::nowPlayingTitle() const { return m_session->title(); }
int MediaPlayer::reconnectAttempt() const { return m_session->reconnectAttempt(); }

void MediaPlayer::setEnableContextMenu(bool on)
{
    m_enableContextMenu = on;
    if (!on && m_menu)
        m_menu->close();
}

void MediaPlayer::setUiMode(const QString &mode)
{
    const QString m = mode.trimmed().toLower();
    if (m == QLatin1String("mini") || m == QLatin1String("full"))
        m_mini->show();
    else if (m == QLatin1String("none") || m == QLatin1String("invisible"))
        m_mini->hide();
    else
        return;  // unknown modes leave the player as it is
    m_uiMode = m;
}

// The player may reach past its window's edge (Wmp1 is 256 wide in a
// 254-wide window): the controls keep to the part that can be seen.
void MediaPlayer::fitToVisibleWidth()
{
    const int hidden = parentWidget() ? qMax(0, geometry().right() + 1 - parentWidget()->width()) : 0;
    layout()->setContentsMargins(0, 0, qMin(hidden, width() / 2), 0);
}

void MediaPlayer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitToVisibleWidth();
}

void MediaPlayer::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    fitToVisibleWidth();
}

// ---- what the session says -------------------------------------------------

void MediaPlayer::onStateChanged(State state)
{
    m_mini->setPlaying(m_session->isRunning());
    followClock();
    emit stateChanged(state);
}

// The clock runs while audio plays, and while a paused live stream is kept
// (how far behind live it falls).
void MediaPlayer::followClock()
{
    const bool canJump = m_session->canTimeShift();
    m_mini->setCanJump(canJump);
    if (PlayerSession::isPlaying(m_session->state()) || canJump)
        m_clockTimer.start();
    else
        m_clockTimer.stop();
}

void MediaPlayer::showBehind(double seconds)
{
    followClock();
    if (seconds < 1) {
        m_mini->setBehindText({}, {});
        return;
    }
    m_mini->setBehindText(QStringLiteral("落后直播 ") + statustext::clockText(int(seconds)), QStringLiteral("落后直播"));
}

void MediaPlayer::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        const bool done = event->key() == Qt::Key_Left    ? m_session->jump(-PlayerSession::kJumpBack)
                        : event->key() == Qt::Key_Right ? m_session->jump(PlayerSession::kJumpOn)
                        : event->key() == Qt::Key_End   ? m_session->goLive()
                                                        : false;
        if (done) {
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void MediaPlayer::showFailureDialog(PlayerFailure failure)
{
    if (!m_enableErrorDialogs)
        return;
    // Non-modal: the event loop goes on while the box is shown.
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), statustext::failure(failure),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MediaPlayer::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_enableContextMenu) {
        event->accept();
        return;
    }
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->setObjectName(QStringLiteral("playerContextMenu"));
    }
    m_menu->clear();
    const bool running = m_session->isRunning();
    const bool hasUrl = !m_session->url().isEmpty();
    QAction *playPause = m_menu->addAction(running ? QStringLiteral("暂停") : QStringLiteral("播放"));
    playPause->setObjectName(QStringLiteral("playPauseAction"));
    playPause->setEnabled(hasUrl);
    connect(playPause, &QAction::triggered, m_session, &PlayerSession::togglePlayPause);
    QAction *stop = m_menu->addAction(QStringLiteral("停止"));
    stop->setObjectName(QStringLiteral("stopAction"));
    connect(stop, &QAction::triggered, m_session, &PlayerSession::stop);
    QAction *mute = m_menu->addAction(QStringLiteral("静音"));
    mute->setObjectName(QStringLiteral("muteAction"));
    mute->setCheckable(true);
    mute->setChecked(m_session->mute());
    connect(mute, &QAction::toggled, m_session, &PlayerSession::setMute);
    if (m_session->canTimeShift()) {
        m_menu->addSeparator();
        QAction *back = m_menu->addAction(QStringLiteral("后退 10 秒"));
        back->setObjectName(QStringLiteral("backAction"));
        connect(back, &QAction::triggered, m_session, [this] { m_session->jump(-PlayerSession::kJumpBack); });
        QAction *on = m_menu->addAction(QStringLiteral("前进 30 秒"));
        on->setObjectName(QStringLiteral("forwardAction"));
        connect(on, &QAction::triggered, m_session, [this] { m_session->jump(PlayerSession::kJumpOn); });
        QAction *live = m_menu->addAction(QStringLiteral("回到直播"));
        live->setObjectName(QStringLiteral("liveAction"));
        live->setEnabled(m_session->behindLive() > 0);
        connect(live, &QAction::triggered, m_session, &PlayerSession::goLive);
    }
    m_menu->addSeparator();
    QAction *copy = m_menu->addAction(QStringLiteral("复制播放地址"));
    copy->setObjectName(QStringLiteral("copyAddressAction"));
    copy->setEnabled(hasUrl);
    connect(copy, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(m_session->url()); });
    m_menu->popup(event->globalPos());
    event->accept();
}

}  // namespace kelvaro
