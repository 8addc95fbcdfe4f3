#include "media_player.h"

#include "address_check.h"
#include "asx_parser.h"
#include "mini_controls.h"
#include "mpv_engine.h"
#include "text_decoding.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvaro {

namespace {
constexpr int kMaxAsxDepth = 3;      // an .asx may point at another .asx, a few times
constexpr int kAsxTimeoutMs = 10000; // same bound as the engine's network timeout
}  // namespace

// ---- Controls and Settings -------------------------------------------------

void MediaPlayer::Controls::play() { m_player->doPlay(); }
void MediaPlayer::Controls::pause() { m_player->doPause(); }
void MediaPlayer::Controls::stop() { m_player->doStop(); }

int MediaPlayer::Settings::volume() const { return m_player->m_volume; }

void MediaPlayer::Settings::setVolume(int v)
{
    m_player->m_volume = qBound(0, v, 100);
    m_player->m_engine->setVolume(m_player->m_volume);
    m_player->m_mini->setVolume(m_player->m_volume);
}

bool MediaPlayer::Settings::mute() const { return m_player->m_mute; }

void MediaPlayer::Settings::setMute(bool m)
{
    m_player->m_mute = m;
    m_player->m_engine->setMute(m);
    m_player->m_mini->setMuted(m);
}

// ---- construction ----------------------------------------------------------

MediaPlayer::MediaPlayer(QWidget *parent) : QWidget(parent)
{
    m_engine = new MpvEngine(this);
    m_mini = new MiniControls(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_mini);

    m_mini->setVolume(m_volume);
    m_mini->setMuted(m_mute);
    connect(m_mini, &MiniControls::playPauseClicked, this, [this] {
        if (m_state == State::Playing || m_state == State::Buffering || m_state == State::Connecting
            || m_state == State::Reconnecting)
            doPause();
        else
            doPlay();
    });
    connect(m_mini, &MiniControls::stopClicked, this, [this] { doStop(); });
    connect(m_mini, &MiniControls::muteToggled, this, [this](bool m) { m_settings.setMute(m); });
    connect(m_mini, &MiniControls::volumeMoved, this, [this](int v) { m_settings.setVolume(v); });

    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, [this] {
        setState(State::Connecting);
        open(m_url);
    });
    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, m_engine, &MpvEngine::requestPlaybackTime);

    connect(m_engine, &MpvEngine::loadRequested, this, [this](quint64 request, qint64 entry) {
        if (request == m_loadRequest)
            m_currentEntry = entry < 0 ? 0 : entry;
    });
    connect(m_engine, &MpvEngine::opening, this, [this](const QString &url) {
        // Our own address was announced when it was handed over; this
        // reports the playlist entries the engine reaches on its own.
        if (isActive() && url != m_loadedAddress)
            emit addressOpened(url);
    });
    connect(m_engine, &MpvEngine::entryRefused, this, [this](const QString &url) {
        emit addressRefused(url);
        if (isActive())
            m_pendingFailure = PlayerFailure::AddressRefused;
    });
    connect(m_engine, &MpvEngine::fileStarted, this, [this](qint64 entry) {
        if (!acceptsEntry(entry))
            return;
        m_endedBeforePlaying = false;
        if (!m_title.isEmpty()) {
            m_title.clear();
            emit titleChanged(m_title);
        }
    });
    connect(m_engine, &MpvEngine::fileLoaded, this, [this] {
        if (isActive() && !m_started) {
            m_bufferPercent = 0;
            setState(State::Buffering);
        }
    });
    connect(m_engine, &MpvEngine::playbackRestarted, this, [this] {
        if (!isActive() || m_state == State::Paused)
            return;
        m_started = true;
        m_reconnect.reset();
        m_clockTimer.start();
        setState(State::Playing);
    });
    connect(m_engine, &MpvEngine::fileEnded, this,
            [this](qint64 entry, MpvEngine::EndReason reason, int error) {
                if (acceptsEntry(entry))
                    onFileEnded(entry, int(reason), error);
            });
    // The engine hands out its log lines after its other events, so the
    // verdict on a failed open waits a moment for the line naming the cause.
    m_verdictTimer.setSingleShot(true);
    m_verdictTimer.setInterval(150);
    connect(&m_verdictTimer, &QTimer::timeout, this, [this] {
        if (!m_endedBeforePlaying || !isActive() || m_state == State::Paused)
            return;
        m_endedBeforePlaying = false;
        if (m_reconnect.attempt() > 0)
            scheduleReconnect();
        else
            fail(m_pendingFailure == PlayerFailure::None ? PlayerFailure::Unsupported : m_pendingFailure);
    });
    connect(m_engine, &MpvEngine::idleChanged, this, [this](bool idle) {
        // The engine has nothing left to try (every playlist entry failed).
        if (idle && m_endedBeforePlaying && isActive() && m_state != State::Paused)
            m_verdictTimer.start();
    });
    connect(m_engine, &MpvEngine::titleChanged, this, [this](const QByteArray &raw) {
        if (!isActive())
            return;
        // Many stations send titles in GB18030/GBK; the engine hands over the
        // bytes as they came.
        const QString title = decodeUtf8OrGb18030(raw).simplified();
        if (title == m_title)
            return;
        m_title = title;
        emit titleChanged(m_title);
        refreshStatus();
    });
    connect(m_engine, &MpvEngine::bufferingChanged, this, [this](bool pausedForCache, int percent) {
        m_bufferPercent = percent;
        if (!isActive() || !m_started)
            return;
        if (pausedForCache && m_state == State::Playing)
            setState(State::Buffering);
        else if (!pausedForCache && m_state == State::Buffering)
            setState(State::Playing);
        else if (m_state == State::Buffering)
            refreshStatus();
    });
    connect(m_engine, &MpvEngine::fileSizeChanged, this, [this](qint64 size) { m_fileSize = size; });
    connect(m_engine, &MpvEngine::playbackTime, this, [this](double seconds) {
        if (m_state == State::Playing || m_state == State::Buffering) {
            m_elapsed = seconds;
            m_mini->setElapsed(seconds);
        }
    });
    connect(m_engine, &MpvEngine::logMessage, this, &MediaPlayer::noteLogMessage);

    setFocusPolicy(Qt::TabFocus);
    setFocusProxy(m_mini->playPauseButton());
    m_engine->setVolume(m_volume);
    refreshStatus();
}

MediaPlayer::~MediaPlayer()
{
    cancelPending();
    m_reconnectTimer.stop();
    m_clockTimer.stop();
    // The engine goes first, while the rest of the player is still whole: its
    // destructor cancels any open in progress.
    delete m_engine;
    m_engine = nullptr;
}

// ---- properties ------------------------------------------------------------

QString MediaPlayer::URL() const { return m_url; }

void MediaPlayer::setURL(const QString &url)
{
    doStop();
    m_url = url;
    if (m_url.isEmpty()) {
        setState(State::Idle);
        return;
    }
    if (m_autoStart)
        doPlay();
}

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

// ---- transport -------------------------------------------------------------

bool MediaPlayer::isActive() const
{
    return m_state == State::Connecting || m_state == State::Buffering || m_state == State::Playing
        || m_state == State::Paused;
}

bool MediaPlayer::acceptsEntry(qint64 entryId) const
{
    return isActive() && m_state != State::Paused && entryId >= m_currentEntry;
}

void MediaPlayer::cancelPending()
{
    if (m_asxReply) {
        QNetworkReply *reply = m_asxReply;
        m_asxReply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void MediaPlayer::doPlay()
{
    if (m_url.isEmpty())
        return;
    if (m_state == State::Paused && !isLive() && m_started) {
        // A file with a duration resumes where it was.
        m_engine->setPaused(false);
        setState(State::Playing);
        return;
    }
    if (m_state == State::Connecting || m_state == State::Buffering || m_state == State::Playing)
        return;
    // A live stream (or anything stopped) starts afresh on a new connection.
    m_reconnectTimer.stop();
    m_reconnect.reset();
    setState(State::Connecting);
    open(m_url);
}

void MediaPlayer::doPause()
{
    if (m_state == State::Playing || m_state == State::Buffering) {
        if (!isLive() && m_started) {
            m_engine->setPaused(true);
            setState(State::Paused);
            return;
        }
    } else if (m_state != State::Connecting && m_state != State::Reconnecting) {
        return;
    }
    // Pausing a live stream ends the connection; play opens it again, so the
    // listener hears the broadcast as it is now, not a stale buffer.
    closeConnection();
    setState(State::Paused);
}

void MediaPlayer::closeConnection()
{
    cancelPending();
    m_reconnectTimer.stop();
    m_reconnect.reset();
    m_engine->stop();
    m_currentEntry = kNoEntry;
    m_started = false;
}

void MediaPlayer::doStop()
{
    closeConnection();
    m_verdictTimer.stop();
    m_clockTimer.stop();
    m_endedBeforePlaying = false;
    m_failure = PlayerFailure::None;
    m_mini->setElapsed(-1);
    if (m_state != State::Idle)
        setState(State::Stopped);
}

void MediaPlayer::open(const QString &address, int asxDepth)
{
    const QString url = normalizedStreamAddress(address);
    m_pendingFailure = PlayerFailure::None;
    m_endedBeforePlaying = false;
    m_started = false;
    m_fileSize = 0;
    m_readBroken = false;
    m_elapsed = 0;
    if (!isAllowedStreamAddress(url)) {
        emit addressRefused(url);
        fail(PlayerFailure::AddressRefused);
        return;
    }
    if (isAsxAddress(url) && (url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                              || url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))) {
        openAsx(url, asxDepth);
        return;
    }
    loadIntoEngine(url);
}

void MediaPlayer::openAsx(const QString &address, int asxDepth)
{
    cancelPending();
    if (asxDepth >= kMaxAsxDepth) {
        fail(PlayerFailure::PlaylistEmpty);
        return;
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request{QUrl(address, QUrl::TolerantMode)};
    // Only redirects that stay on http/https are followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(kAsxTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    m_asxReply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        // A playlist is small; a stream or a huge file behind an .asx name is not.
        if (received > kMaxAsxBytes && reply == m_asxReply)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, asxDepth] { onAsxFinished(reply, asxDepth); });
}

void MediaPlayer::onAsxFinished(QNetworkReply *reply, int asxDepth)
{
    reply->deleteLater();
    if (reply != m_asxReply)
        return;
    m_asxReply = nullptr;
    const QByteArray data = reply->read(kMaxAsxBytes + 1);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || data.size() > kMaxAsxBytes) {
        PlayerFailure failure = PlayerFailure::CannotConnect;
        if (data.size() > kMaxAsxBytes || reply->error() == QNetworkReply::OperationCanceledError)
            failure = data.size() > 0 || reply->bytesAvailable() > 0 ? PlayerFailure::Unsupported
                                                                     : PlayerFailure::TimedOut;
        else if (status == 404 || status == 410)
            failure = PlayerFailure::NotFound;
        else if (status == 401 || status == 403)
            failure = PlayerFailure::AccessDenied;
        else if (status >= 400)
            failure = PlayerFailure::ServerError;
        else if (reply->error() == QNetworkReply::HostNotFoundError)
            failure = PlayerFailure::HostNotFound;
        else if (reply->error() == QNetworkReply::TimeoutError)
            failure = PlayerFailure::TimedOut;
        if (m_reconnect.attempt() > 0)
            scheduleReconnect();
        else
            fail(failure);
        return;
    }
    const QStringList entries = parseAsxEntries(data, reply->url().toString());
    bool refused = false;
    for (const QString &entry : entries) {
        if (isAllowedStreamAddress(entry)) {
            open(entry, asxDepth + 1);
            return;
        }
        emit addressRefused(entry);
        refused = true;
    }
    fail(refused ? PlayerFailure::AddressRefused : PlayerFailure::PlaylistEmpty);
}

void MediaPlayer::loadIntoEngine(const QString &address)
{
    if (!m_engine->ensureStarted()) {
        fail(PlayerFailure::Unsupported);
        return;
    }
    m_engine->setPaused(false);
    m_mini->setElapsed(-1);
    m_currentEntry = kNoEntry;  // until the engine names the new entry
    m_loadedAddress = address;
    m_loadRequest = m_engine->load(address);
    emit addressOpened(address);
}

void MediaPlayer::onFileEnded(qint64, int reasonValue, int)
{
    const auto reason = MpvEngine::EndReason(reasonValue);
    if (reason != MpvEngine::EndReason::Eof && reason != MpvEngine::EndReason::Error)
        return;  // stopped or replaced by us, or a playlist being expanded
    if (m_started) {
        // A file that played to its known end is finished; anything else
        // ending early is a drop.
        const bool finished = reason == MpvEngine::EndReason::Eof && !isLive() && !m_readBroken;
        if (!finished) {
            // A live stream has no end: the server or the network went away.
            scheduleReconnect();
        } else {
            m_clockTimer.stop();
            m_started = false;
            m_currentEntry = kNoEntry;
            setState(State::Stopped);
        }
        return;
    }
    // Not played yet: another playlist entry may follow; the engine going
    // idle decides.
    m_endedBeforePlaying = true;
}

void MediaPlayer::noteLogMessage(const QByteArray &, const QByteArray &, const QByteArray &text)
{
    if (!isActive())
        return;
    // A file with a size whose transfer broke off ends like a finished one,
    // except for this line.
    const QByteArray lower = text.toLower();
    if (lower.contains("ends prematurely") || lower.contains("connection reset")
        || lower.contains("broken pipe") || lower.contains("i/o error"))
        m_readBroken = true;
    const PlayerFailure f = failureFromEngineMessage(text);
    // The first specific cause wins: later lines only repeat "failed to open".
    if (f != PlayerFailure::None && (m_pendingFailure == PlayerFailure::None
                                     || m_pendingFailure == PlayerFailure::Unsupported))
        m_pendingFailure = f;
}

void MediaPlayer::fail(PlayerFailure failure)
{
    closeConnection();
    m_clockTimer.stop();
    m_failure = failure;
    m_mini->setElapsed(-1);
    setState(State::Failed);
    if (m_enableErrorDialogs) {
        // Non-modal: the event loop goes on while the box is shown.
        auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), statustext::failure(failure),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

void MediaPlayer::scheduleReconnect()
{
    cancelPending();
    m_engine->stop();
    m_clockTimer.stop();
    m_currentEntry = kNoEntry;
    m_started = false;
    m_endedBeforePlaying = false;
    const auto delay = m_reconnect.nextDelay();
    m_reconnectSeconds = int(std::chrono::duration_cast<std::chrono::seconds>(delay).count());
    m_reconnectTimer.start(delay);
    setState(State::Reconnecting);
}

// ---- status ----------------------------------------------------------------

void MediaPlayer::setState(State state)
{
    const bool changed = state != m_state;
    m_state = state;
    m_mini->setPlaying(state == State::Playing || state == State::Buffering
                       || state == State::Connecting || state == State::Reconnecting);
    if (state == State::Idle || state == State::Stopped || state == State::Failed) {
        if (!m_title.isEmpty()) {
            m_title.clear();
            emit titleChanged(m_title);
        }
    }
    refreshStatus();
    if (changed)
        emit stateChanged(state);
}

void MediaPlayer::refreshStatus()
{
    QString text;
    switch (m_state) {
    case State::Idle: text = statustext::ready(); break;
    case State::Stopped: text = statustext::stopped(); break;
    case State::Connecting:
        text = m_reconnect.attempt() > 0 ? statustext::reconnectingNow(m_reconnect.attempt())
                                         : statustext::connecting();
        break;
    case State::Buffering: text = statustext::buffering(m_bufferPercent); break;
    case State::Playing: text = statustext::playing(m_title); break;
    case State::Paused: text = statustext::paused(); break;
    case State::Reconnecting:
        text = statustext::reconnecting(m_reconnect.attempt(), m_reconnectSeconds);
        break;
    case State::Failed: text = statustext::failure(m_failure); break;
    }
    if (text == m_statusText)
        return;
    m_statusText = text;
    m_mini->setStatus(text);
    emit statusChanged(text);
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
    const bool running = m_state == State::Playing || m_state == State::Buffering
                      || m_state == State::Connecting || m_state == State::Reconnecting;
    QAction *playPause = m_menu->addAction(running ? QStringLiteral("暂停") : QStringLiteral("播放"));
    playPause->setObjectName(QStringLiteral("playPauseAction"));
    playPause->setEnabled(!m_url.isEmpty());
    connect(playPause, &QAction::triggered, this, [this, running] { running ? doPause() : doPlay(); });
    QAction *stop = m_menu->addAction(QStringLiteral("停止"));
    stop->setObjectName(QStringLiteral("stopAction"));
    connect(stop, &QAction::triggered, this, [this] { doStop(); });
    QAction *mute = m_menu->addAction(QStringLiteral("静音"));
    mute->setObjectName(QStringLiteral("muteAction"));
    mute->setCheckable(true);
    mute->setChecked(m_mute);
    connect(mute, &QAction::toggled, this, [this](bool on) { m_settings.setMute(on); });
    m_menu->addSeparator();
    QAction *copy = m_menu->addAction(QStringLiteral("复制播放地址"));
    copy->setObjectName(QStringLiteral("copyAddressAction"));
    copy->setEnabled(!m_url.isEmpty());
    connect(copy, &QAction::triggered, this,
            [this] { QApplication::clipboard()->setText(m_url); });
    m_menu->popup(event->globalPos());
    event->accept();
}

}  // namespace kelvaro
