// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>


namespace kelvaro {

class DesktopWindow;

// The program as a media player on the session bus, so that media keys, the
// desktop's sound menu and tools like playerctl can drive it. It follows and
// steers what plays (Listening: the station, its neighbours in the list, the
// player, the volume), and reaches the window only for raise and quit
// (DesktopWindow). Every change of what the bus shows is announced, whoever
// made it.
class MprisService : public QObject {
    Q_OBJECT
public:
    static inline const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.kelvaro");
    static inline const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    explicit MprisService(DesktopWindow &window);

    // Publishes the service on the session bus. False (and nothing is left
    // registered) when there is no bus or the object cannot be registered.
    bool publish();

    // Root interface.
    void raise();
    void quit();
    // Player interface.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;  // microseconds
    bool canSeek() const;
    void seek(qlonglong offset);  // microseconds
    void setPosition(const QDBusObjectPath &track, qlonglong position);
    bool canGoNext() const;
    bool canGoPrevious() const;
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();

private:
    // Sends PropertiesChanged for every player property that differs from
    // what the bus last saw.
    void announceChanges();
    void scheduleAnnounce();
    QVariantMap announcedProperties() const;
    QDBusObjectPath trackId() const;

    DesktopWindow &window_;
    Listening &listening_;
    QVariantMap announced_;
    bool announceQueued_ = false;
    bool published_ = false;
};

// org.mpris.MediaPlayer2
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    MprisRootAdaptor(QObject *holder, MprisService &service);
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void Raise() { service_.raise(); }
    void Quit() { service_.quit(); }

private:
    MprisService &service_;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ yes)
public:
    MprisPlayerAdaptor(QObject *holder, MprisService &service);
    QString playbackStatus() const { return service_.playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {}  // live radio plays at its own rate
    QVariantMap metadata() const { return service_.metadata(); }
    double volume() const { return service_.volume(); }
    void setVolume(double volume) { service_.setVolume(volume); }
    qlonglong position() const { return service_.position(); }
    bool canSeek() const { return service_.canSeek(); }
    bool canGoNext() const { return service_.canGoNext(); }
    bool canGoPrevious() const { return service_.canGoPrevious(); }
    bool yes() const { return true; }

public slots:
    void Next() { service_.next(); }
    void Previous() { service_.previous(); }
    void Pause() { service_.pause(); }
    void PlayPause() { service_.playPause(); }
    void Stop() { service_.stop(); }
    void Play() { service_.play(); }
    // Within what a live station kept; nothing otherwise.
    void Seek(qlonglong offset) { service_.seek(offset); }
    void SetPosition(const QDBusObjectPath &track, qlonglong position) { service_.setPosition(track, position); }
    // The player opens only the stations of its list: nothing.
    void OpenUri(const QString &) {}

signals:
    void Seeked(qlonglong position);

private:
    MprisService &service_;
};

}  // namespace kelvaro
