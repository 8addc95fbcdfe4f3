// SPDX-License-Identifier: GPL-3.0-or-later
#include "background_recordings.h"

#include "listening.h"
#include "player_session.h"

namespace kelvaro {

namespace {

using std::chrono::milliseconds;

// The end time is read from the wall clock this often (a timer set for the
// whole length would stand still while the computer sleeps).
constexpr milliseconds kLook{500};

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

}  // namespace

struct BackgroundRecordings::Running {
    QString station;
    QString address;
    QDateTime endsAt;
    PlayerSession *session = nullptr;
    std::unique_ptr<Recorder> recorder;
    QTimer retry;
    bool ending = false;
};

BackgroundRecordings::BackgroundRecordings(Listening &listening, QObject *parent)
    : QObject(parent), listening_(listening)
{
    clock_.setInterval(kLook);
    connect(&clock_, &QTimer::timeout, this, &BackgroundRecordings::lookAtEnds);
}

BackgroundRecordings::~BackgroundRecordings()
{
    // The sessions go first (their engines close the files), then the
    // recorders, which finish them.
    for (auto &[id, running] : running_) {
        listening_.endBackground(running->session);
        running->session = nullptr;
    }
    running_.clear();
}

void BackgroundRecordings::start(qint64 id, const QString &station, const QString &address, const QDateTime &endsAt)
{
    if (running_.count(id) || endsAt <= now())
        return;
    auto running = std::make_unique<Running>();
    Running &r = *running;
    r.station = station;
    r.address = address;
    r.endsAt = endsAt;
    r.session = listening_.startBackground(address);
    r.recorder = std::make_unique<Recorder>(*r.session);
    r.recorder->setRoot(root_);
    connect(r.recorder.get(), &Recorder::fileSaved, this, &BackgroundRecordings::fileSaved);
    r.retry.setSingleShot(true);
    r.retry.setInterval(kRetry);
    connect(&r.retry, &QTimer::timeout, this, [this, &r] {
        if (!r.ending)
            r.session->setUrl(r.address);
    });
    connect(r.session, &PlayerSession::stateChanged, this, [this, &r] { follow(r); });
    running_.emplace(id, std::move(running));
    clock_.start();
    follow(r);
}

void BackgroundRecordings::follow(Running &r)
{
    if (r.ending)
        return;
    using State = PlayerSession::State;
    const State state = r.session->state();
    if (PlayerSession::isPlaying(state) && !r.recorder->isRecording())
        r.recorder->start({r.station, r.address});
    else if ((state == State::Failed || state == State::Stopped || state == State::Idle) && !r.retry.isActive())
        r.retry.start();
}

void BackgroundRecordings::stop(qint64 id)
{
    end(id);
}

void BackgroundRecordings::lookAtEnds()
{
    const QDateTime t = now();
    QList<qint64> due;
    for (const auto &[id, running] : running_) {
        if (!running->ending && running->endsAt <= t)
            due.append(id);
    }
    for (qint64 id : std::as_const(due))
        end(id);
}

void BackgroundRecordings::end(qint64 id)
{
    const auto it = running_.find(id);
    if (it == running_.end() || it->second->ending)
        return;
    Running &r = *it->second;
    r.ending = true;
    r.retry.stop();
    r.recorder->stop();
    // The session is let go once the recorder has finished its files, so
    // that the last one is complete, tagged and named before it is said done.
    auto *wait = new QTimer(this);
    wait->setInterval(kLook);
    connect(wait, &QTimer::timeout, this, [this, wait, id] {
        const auto found = running_.find(id);
        if (found != running_.end() && found->second->recorder->isFinishing())
            return;
        wait->deleteLater();
        if (found == running_.end())
            return;
        listening_.endBackground(found->second->session);
        found->second->session = nullptr;
        running_.erase(found);
        if (running_.empty())
            clock_.stop();
        emit finished(id);
    });
    wait->start();
}

}  // namespace kelvaro
