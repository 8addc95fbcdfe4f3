// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpris.h"

#include "desktop_platform.h"
#include "desktop_window.h"
#include "text_decoding.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>

#include <cmath>

namespace kelvaro {

namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

}  // namespace

MprisService::MprisService(DesktopWindow &window) : QObject(&window), window_(window), player_(window.player())
{
    new MprisRootAdaptor(this, *this);
    new MprisPlayerAdaptor(this, *this);
}

bool MprisService::publish()
{
    if (published_ || !platform::sessionBusAvailable())
        return published_;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // The object first, so that a client that sees the name finds it.
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors))
        return false;
    // Another program already holding the name (another session's Kelvaro on
    // a shared bus) gets a second, per-process name, as the protocol allows.
    if (!bus.registerService(kServiceName)
        && !bus.registerService(kServiceName + QStringLiteral(".instance")
                                + QString::number(QCoreApplication::applicationPid()))) {
        bus.unregisterObject(kObjectPath);
        return false;
    }
    published_ = true;

    connect(&player_, &MediaPlayer::stateChanged, this, &MprisService::scheduleAnnounce);
    connect(&player_, &MediaPlayer::titleChanged, this, &MprisService::scheduleAnnounce);
    connect(&window_, &DesktopWindow::stationChosen, this, &MprisService::onStationChosen);
    // The player has no signal for its volume: look again after any input,
    // which is how the volume changes in the window.
    qApp->installEventFilter(this);
    announced_ = {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("CanGoNext"), canGoNext()},
        {QStringLiteral("CanGoPrevious"), canGoPrevious()},
    };
    return true;
}

bool MprisService::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
    case QEvent::KeyRelease:
        scheduleAnnounce();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void MprisService::raise()
{
    window_.raise();
}

void MprisService::quit()
{
    // After the reply to the call has gone out. Closing stops playback as the
    // window's own close does; the program then ends even when the window was
    // hidden in the tray, where closing it alone would leave no window to end with.
    QTimer::singleShot(0, &window_, [this] {
        window_.close();
        QCoreApplication::quit();
    });
}

// Waiting for a sound device (NoSoundDevice) is not active: nothing can be
// heard, so the desktop is told the player is stopped, and Play tries now.
bool MprisService::playerActive() const
{
    switch (player_.state()) {
    case MediaPlayer::State::Connecting:
    case MediaPlayer::State::Buffering:
    case MediaPlayer::State::Playing:
    case MediaPlayer::State::Reconnecting:
        return true;
    default:
        return false;
    }
}

QString MprisService::playbackStatus() const
{
    if (playerActive())
        return QStringLiteral("Playing");
    if (player_.state() == MediaPlayer::State::Paused)
        return QStringLiteral("Paused");
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map;
    if (!chosen_ || window_.stationKey().isEmpty()) {
        map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(
                   QStringLiteral("/org/kelvaro/station/%1").arg(window_.stationNumber()))));
    // The name goes onto the bus as the album and, without a stream title,
    // as the title: one clean line like the stream's titles. It is read
    // afresh, so a station renamed while it plays is named anew.
    const QString name = singleLineText(window_.stationName());
    const QString title = player_.nowPlayingTitle();
    map.insert(QStringLiteral("xesam:title"), title.isEmpty() ? name : title);
    map.insert(QStringLiteral("xesam:album"), name);
    return map;
}

double MprisService::volume() const
{
    return player_.settings().volume() / 100.0;
}

void MprisService::setVolume(double volume)
{
    if (!std::isfinite(volume))
        return;
    player_.settings().setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
    scheduleAnnounce();
}

void MprisService::play()
{
    if (!playerActive())
        player_.controls().play();
}

void MprisService::pause()
{
    if (playerActive())
        player_.controls().pause();
}

void MprisService::playPause()
{
    if (playerActive())
        player_.controls().pause();
    else
        player_.controls().play();
}

void MprisService::stop()
{
    player_.controls().stop();
}

void MprisService::onStationChosen()
{
    chosen_ = true;
    scheduleAnnounce();
}

bool MprisService::canGoNext() const
{
    return chosen_ && !window_.stationBeside(+1).isEmpty();
}

bool MprisService::canGoPrevious() const
{
    return chosen_ && !window_.stationBeside(-1).isEmpty();
}

void MprisService::next()
{
    if (canGoNext())
        window_.chooseStation(window_.stationBeside(+1));
}

void MprisService::previous()
{
    if (canGoPrevious())
        window_.chooseStation(window_.stationBeside(-1));
}

void MprisService::scheduleAnnounce()
{
    if (!published_ || announceQueued_)
        return;
    announceQueued_ = true;
    QTimer::singleShot(0, this, &MprisService::announceChanges);
}

void MprisService::announceChanges()
{
    announceQueued_ = false;
    const QVariantMap now = {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("CanGoNext"), canGoNext()},
        {QStringLiteral("CanGoPrevious"), canGoPrevious()},
    };
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    announced_ = now;
    QDBusMessage signal = QDBusMessage::createSignal(
        kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

MprisRootAdaptor::MprisRootAdaptor(QObject *holder, MprisService &service)
    : QDBusAbstractAdaptor(holder), service_(service)
{
}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Kelvaro");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return QGuiApplication::desktopFileName();
}

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject *holder, MprisService &service)
    : QDBusAbstractAdaptor(holder), service_(service)
{
}

}  // namespace kelvaro
