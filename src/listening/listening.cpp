// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening.h"

#include "category_tree.h"
#include "mpv_engine.h"
#include "playback_engine.h"

#include <algorithm>

namespace kelvaro {

namespace {

// A choice as the station-choice steps see it: the player's own calls go to
// the session heard, everything shown to the surface (when there is one).
class ChoiceAreas : public PlayerArea, public PageArea, public Caption {
public:
    ChoiceAreas(PlayerSession &session, StationSurface *surface) : session_(session), surface_(surface) {}
    void showPlayer(bool visible) override
    {
        if (surface_)
            surface_->showPlayer(visible);
    }
    void stop() override { session_.stop(); }
    void setURL(const QString &address) override { session_.setUrl(address); }
    void showFrame(bool visible) override
    {
        if (surface_)
            surface_->showFrame(visible);
    }
    void Navigate(const QString &address) override
    {
        if (surface_)
            surface_->Navigate(address);
    }
    void setCaption(const QString &text) override
    {
        if (surface_)
            surface_->setCaption(text);
    }

private:
    PlayerSession &session_;
    StationSurface *surface_;
};

}  // namespace

Listening::EngineMaker Listening::onLibmpv()
{
    return [](bool audible) -> PlaybackEngine * { return new MpvEngine(MpvEngine::Options{.audioOutput = audible}); };
}

Listening::Listening(EngineMaker makeEngine, QObject *parent)
    : QObject(parent), makeEngine_(std::move(makeEngine)), audible_(new PlayerSession(makeEngine_(true), this)),
      recorder_(std::make_unique<Recorder>(*audible_))
{
    qRegisterMetaType<Station>();
    connect(audible_, &PlayerSession::stateChanged, this, [this](State state) {
        emit stateChanged(state);
        followAwake();
    });
    connect(audible_, &PlayerSession::titleChanged, this, &Listening::titleChanged);
    connect(audible_, &PlayerSession::volumeChanged, this, &Listening::volumeChanged);
    connect(audible_, &PlayerSession::muteChanged, this, &Listening::muteChanged);
    connect(audible_, &PlayerSession::timeShiftChanged, this, &Listening::canSeekChanged);
    connect(audible_, &PlayerSession::jumped, this, &Listening::seeked);
    // The session says -1 when there is no time to show (stopped, closed).
    connect(audible_, &PlayerSession::elapsedChanged, this,
            [this](double seconds) { position_ = std::max(0.0, seconds); });
}

Listening::~Listening()
{
    // The sessions go first: they may still report while their engines end.
    qDeleteAll(std::exchange(background_, {}));
    delete std::exchange(audible_, nullptr);
    // After the session: its engine has closed any file being recorded,
    // which the recorder now finishes.
    recorder_.reset();
}

double Listening::position() const
{
    const double heard = audible_->canTimeShift() ? audible_->heardTime() : -1;
    return heard >= 0 ? heard : position_;
}

void Listening::setRecording(bool on)
{
    if (!on)
        recorder_->stop();
    else if (canRecord())
        recorder_->start({station_.name, station_.address});
}

// ---- the stations -----------------------------------------------------------

void Listening::setStations(const StationTable &table)
{
    table_ = table;
    tree_.reset();
    if (station_.address.isEmpty())
        return;
    // The station that plays follows its line: a new name, another category.
    if (std::optional<Station> now = listed(station_.address); now && *now != station_) {
        station_ = *now;
        emit stationChanged(station_);
    }
}

const QList<PlainTree::Node> &Listening::tree() const
{
    if (!tree_) {
        PlainTree tree;
        fillCategoryTree(table_, tree);
        tree_ = tree.nodes();
    }
    return *tree_;
}

std::optional<Station> Listening::listed(const QString &address) const
{
    if (address.isEmpty())
        return std::nullopt;
    for (const PlainTree::Node &category : tree()) {
        for (const PlainTree::Node &node : category.children) {
            if (node.key == address)
                return Station{node.key, node.text, category.text};
        }
    }
    return std::nullopt;
}

std::optional<Station> Listening::named(const QString &nameOrAddress) const
{
    const QString wanted = nameOrAddress.trimmed();
    if (wanted.isEmpty())
        return std::nullopt;
    for (const PlainTree::Node &category : tree()) {
        for (const PlainTree::Node &node : category.children) {
            if (node.text == wanted || node.key == wanted)
                return Station{node.key, node.text, category.text};
        }
    }
    return std::nullopt;
}

QList<Station> Listening::listedStations() const
{
    QList<Station> stations;
    for (const PlainTree::Node &category : tree()) {
        for (const PlainTree::Node &node : category.children)
            stations.append(Station{node.key, node.text, category.text});
    }
    return stations;
}

bool Listening::choose(const Station &station)
{
    if (station.address.isEmpty())
        return false;
    // A recording belongs to the station it began with: it ends here,
    // before anything of the next station reaches the engine.
    recorder_->stop();
    station_ = station;
    ChoiceAreas areas(*audible_, surface_);
    playStation(station.address, station.name, areas, areas, areas);
    emit stationChosen(station_);
    return true;
}

bool Listening::chooseListed(const QString &address)
{
    const std::optional<Station> station = listed(address);
    return station && choose(*station);
}

void Listening::stationMoved(const QString &from, const QString &to)
{
    if (from.isEmpty() || station_.address != from)
        return;
    station_.address = to;
    emit stationChanged(station_);
}

QString Listening::stationBeside(int step) const
{
    if (station_.address.isEmpty())
        return {};
    for (const PlainTree::Node &category : tree()) {
        for (qsizetype i = 0; i < category.children.size(); ++i) {
            if (category.children[i].key != station_.address)
                continue;
            const qsizetype beside = i + step;
            return beside >= 0 && beside < category.children.size() ? category.children[beside].key : QString();
        }
    }
    return {};
}

int Listening::stationNumber() const
{
    return table_.rowOf(station_.address);
}

// ---- sessions in the background -------------------------------------------

PlayerSession *Listening::startBackground(const QString &address)
{
    auto *session = new PlayerSession(makeEngine_(false), this);
    background_.append(session);
    connect(session, &PlayerSession::stateChanged, this, &Listening::followAwake);
    session->setUrl(address);
    return session;
}

void Listening::endBackground(PlayerSession *session)
{
    if (!background_.removeOne(session))
        return;
    delete session;
    followAwake();
}

// ---- all sessions -----------------------------------------------------------

bool Listening::keepsAwake() const
{
    if (PlayerSession::keepsAwake(audible_->state()))
        return true;
    return std::any_of(background_.cbegin(), background_.cend(),
                       [](const PlayerSession *s) { return PlayerSession::keepsAwake(s->state()); });
}

void Listening::followAwake()
{
    if (!audible_ || keepsAwake() == awake_)
        return;
    awake_ = !awake_;
    emit keepsAwakeChanged(awake_);
}

void Listening::resumedFromSleep()
{
    audible_->resumedFromSleep();
    for (PlayerSession *session : std::as_const(background_))
        session->resumedFromSleep();
    emit wokeFromSleep();
}

}  // namespace kelvaro
