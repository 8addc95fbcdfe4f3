// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player_session.h"
#include "recorder.h"
#include "station_choice.h"
#include "station_list_check.h"  // PlainTree
#include "station_table.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kelvaro {

class PlaybackEngine;

// A station as it is listened to: where it comes from, what it is called
// and the category it sits in (empty for a station that is not in the list).
struct Station {
    QString address;
    QString name;
    QString category;

    bool operator==(const Station &) const = default;
};

// What a choice shows on the window: the player's area or the page's, the
// page itself and the caption. The window implements it; without one (no
// window), a choice only drives the player.
struct StationSurface {
    virtual ~StationSurface() = default;
    virtual void showPlayer(bool visible) = 0;
    virtual void showFrame(bool visible) = 0;
    virtual void Navigate(const QString &address) = 0;
    virtual void setCaption(const QString &text) = 0;
};

// What plays, without any widget: the station chosen, the session heard, any
// sessions running in the background without sound, the volume and mute,
// the position heard, and the player's state. Every way of choosing a
// station (the tree, the find window, the media controls, the command line)
// goes through choose(); the window, the media controls, notifications and
// sleep handling follow its signals, whoever caused the change.
class Listening : public QObject {
    Q_OBJECT
public:
    using State = PlayerSession::State;
    // Makes a playback engine: with a sound output for the session heard,
    // without one for background sessions.
    using EngineMaker = std::function<PlaybackEngine *(bool audible)>;

    // The program's engines: libmpv, with or without a sound output.
    static EngineMaker onLibmpv();

    explicit Listening(EngineMaker makeEngine, QObject *parent = nullptr);
    ~Listening() override;

    // ---- the stations ----------------------------------------------------
    // The list shown, in its order: what names, places and neighbours are
    // read from. After an edit, the station that plays keeps playing and
    // takes its name and category from the new list.
    void setStations(const StationTable &table);
    // The station that plays or shows, or was last chosen; empty before any.
    const Station &station() const { return station_; }
    // Chooses a station: the caption names it, and its stream plays or its
    // page is shown. The same station again starts it again. A station with
    // no address is ignored (false).
    bool choose(const Station &station);
    // Chooses the station of the list with this address, by its name there;
    // false when the list has none.
    bool chooseListed(const QString &address);
    // The station the list holds with this address; none when there is none.
    std::optional<Station> listed(const QString &address) const;
    // The station of the list called `nameOrAddress`, or with it as its
    // address (the first in the list's order); none when there is none.
    std::optional<Station> named(const QString &nameOrAddress) const;
    // Every station of the list, in its order.
    QList<Station> listedStations() const;
    // The list changed the station that plays to another address; it plays
    // on, known by the new one.
    void stationMoved(const QString &from, const QString &to);
    // The address of the station `step` places from the one chosen, in its
    // category in the list's order; empty when there is none.
    QString stationBeside(int step) const;
    // A number for the station chosen, the same while it stays where it is
    // in the list (its row); 0 for one that is not in the list.
    int stationNumber() const;
    void setSurface(StationSurface *surface) { surface_ = surface; }

    // ---- the session heard ------------------------------------------------
    PlayerSession &audible() { return *audible_; }
    const PlayerSession &audible() const { return *audible_; }
    State state() const { return audible_->state(); }
    QString title() const { return audible_->title(); }
    int volume() const { return audible_->volume(); }
    void setVolume(int volume) { audible_->setVolume(volume); }  // clamps 0..100
    bool mute() const { return audible_->mute(); }
    void setMute(bool mute) { audible_->setMute(mute); }
    // Seconds heard of what plays now; 0 when nothing plays. On a live
    // station that keeps what it received: the time heard since it started
    // (live minus how far behind it is), paused too.
    double position() const;
    // Whether what plays can be moved in: a live station, within what it
    // kept (files play as they come).
    bool canSeek() const { return audible_->canTimeShift(); }
    // Moves by `seconds`, or to `position` (as position() counts), clamped
    // to what is kept; false when canSeek() is not.
    bool seekBy(double seconds) { return audible_->jump(seconds); }
    bool seekTo(double position) { return audible_->jumpTo(position); }
    bool isPlaying() const { return PlayerSession::isPlaying(state()); }
    bool isBusy() const { return PlayerSession::isBusy(state()); }

    // ---- recording what is heard -----------------------------------------
    Recorder &recorder() { return *recorder_; }
    const Recorder &recorder() const { return *recorder_; }
    // Something can be recorded: a stream plays (a page has nothing to record).
    bool canRecord() const { return isPlaying(); }
    // Starts recording the station chosen, or ends the recording.
    void setRecording(bool on);

    // ---- sessions in the background --------------------------------------
    // Opens `address` on a session of its own with no sound, beside what is
    // heard; it runs until ended.
    PlayerSession *startBackground(const QString &address);
    void endBackground(PlayerSession *session);

    // ---- all sessions ----------------------------------------------------
    // True while any session keeps the computer from sleeping.
    bool keepsAwake() const;
    // The computer woke from sleep: every session starts again as after any
    // long stop (PlayerSession::resumedFromSleep()).
    void resumedFromSleep();

signals:
    // A station was chosen (also the same one again).
    void stationChosen(const kelvaro::Station &station);
    // The station chosen got another name, category or address in the list.
    void stationChanged(const kelvaro::Station &station);
    void stateChanged(kelvaro::PlayerSession::State state);
    void titleChanged(const QString &title);
    void volumeChanged(int volume);
    void muteChanged(bool mute);
    void canSeekChanged(bool can);
    // Playback moved to `position` by a jump, not by playing.
    void seeked(double position);
    void keepsAwakeChanged(bool keepsAwake);
    // The computer woke from sleep (after the sessions were told).
    void wokeFromSleep();

private:
    const QList<PlainTree::Node> &tree() const;
    void followAwake();

    EngineMaker makeEngine_;
    PlayerSession *audible_;
    std::unique_ptr<Recorder> recorder_;
    QList<PlayerSession *> background_;
    StationSurface *surface_ = nullptr;
    Station station_;
    StationTable table_;
    // The tree made from table_, when first needed after each setStations().
    mutable std::optional<QList<PlainTree::Node>> tree_;
    double position_ = 0;
    bool awake_ = false;
};

}  // namespace kelvaro

Q_DECLARE_METATYPE(kelvaro::Station)
