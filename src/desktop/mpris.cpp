// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpris.h"

#include "desktop_platform.h"
#include "desktop_window.h"
#include "text_decoding.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QTimer>

#include <cmath>

namespace kelvaro {

namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

}  // namespace

MprisService::MprisService(DesktopWindow &window)
    : QObject(&window), window_(window), listening_(window.listening())
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

    connect(&listening_, &Listening::stateChanged, this, &MprisService::scheduleAnnounce);
    connect(&listening_, &Listening::titleChanged, this, &MprisService::scheduleAnnounce);
    connect(&listening_, &Listening::volumeChanged, this, &MprisService::scheduleAnnounce);
    connect(&listening_, &Listening::stationChosen, this, &MprisService::scheduleAnnounce);
    connect(&listening_, &Listening::stationChanged, this, &MprisService::scheduleAnnounce);
    connect(&listening_, &Listening::canSeekChanged, this, &MprisService::scheduleAnnounce);
    connect(&listening_, &Listening::seeked, this, [](double position) {
        QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPlayerInterface, QStringLiteral("Seeked"));
        signal << static_cast<qlonglong>(position * 1e6);
        QDBusConnection::sessionBus().send(signal);
    });
    announced_ = announcedProperties();
    return true;
}

void MprisService::raise()
{
    window_.raise();
}

void MprisService::quit()
{
    // After the reply to the call has gone out.
    QTimer::singleShot(0, &window_, [this] { window_.quit(); });
}

// Waiting for a sound device is not busy: nothing can be heard, so the
// desktop is told the player is stopped, and Play tries now.
QString MprisService::playbackStatus() const
{
    if (listening_.isBusy())
        return QStringLiteral("Playing");
    if (listening_.state() == Listening::State::Paused)
        return QStringLiteral("Paused");
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map;
    const Station &station = listening_.station();
    if (station.address.isEmpty()) {
        map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId()));
    // The name goes onto the bus as the album and, without a stream title,
    // as the title: one clean line like the stream's titles.
    const QString name = singleLineText(station.name);
    const QString title = listening_.title();
    map.insert(QStringLiteral("xesam:title"), title.isEmpty() ? name : title);
    map.insert(QStringLiteral("xesam:album"), name);
    return map;
}

QDBusObjectPath MprisService::trackId() const
{
    return QDBusObjectPath(QStringLiteral("/org/kelvaro/station/%1").arg(listening_.stationNumber()));
}

double MprisService::volume() const
{
    return listening_.volume() / 100.0;
}

void MprisService::setVolume(double volume)
{
    if (std::isfinite(volume))
        listening_.setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

qlonglong MprisService::position() const
{
    return static_cast<qlonglong>(listening_.position() * 1e6);
}

bool MprisService::canSeek() const
{
    return listening_.canSeek();
}

void MprisService::seek(qlonglong offset)
{
    listening_.seekBy(double(offset) / 1e6);
}

// A position for another track than the one playing is ignored, as the
// protocol asks (the station changed meanwhile).
void MprisService::setPosition(const QDBusObjectPath &track, qlonglong position)
{
    if (position >= 0 && !listening_.station().address.isEmpty() && track == trackId())
        listening_.seekTo(double(position) / 1e6);
}

void MprisService::play()
{
    if (!listening_.isBusy())
        listening_.audible().play();
}

void MprisService::pause()
{
    if (listening_.isBusy())
        listening_.audible().pause();
}

void MprisService::playPause()
{
    if (listening_.isBusy())
        listening_.audible().pause();
    else
        listening_.audible().play();
}

void MprisService::stop()
{
    listening_.audible().stop();
}

bool MprisService::canGoNext() const
{
    return !listening_.stationBeside(+1).isEmpty();
}

bool MprisService::canGoPrevious() const
{
    return !listening_.stationBeside(-1).isEmpty();
}

void MprisService::next()
{
    listening_.chooseListed(listening_.stationBeside(+1));
}

void MprisService::previous()
{
    listening_.chooseListed(listening_.stationBeside(-1));
}

void MprisService::scheduleAnnounce()
{
    if (!published_ || announceQueued_)
        return;
    announceQueued_ = true;
    QTimer::singleShot(0, this, &MprisService::announceChanges);
}

QVariantMap MprisService::announcedProperties() const
{
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("CanGoNext"), canGoNext()},
        {QStringLiteral("CanGoPrevious"), canGoPrevious()},
        {QStringLiteral("CanSeek"), canSeek()},
    };
}

void MprisService::announceChanges()
{
    announceQueued_ = false;
    const QVariantMap now = announcedProperties();
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
