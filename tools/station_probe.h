// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_file.h"
#include "status_texts.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

namespace kelvaro {

// One station of the tree, as the probe opens it.
struct ProbeTarget {
    int row = 0;       // row of the station table
    qint64 line = 0;   // physical line in the file
    QString category;  // name of the category it is shown under
    QString name;
    QString address;
    bool page = false;  // a web page (the address carries the page marker)
};

// The stations the program shows, in the order of its tree: categories in
// the order they first appear, each with its stations in file order.
QList<ProbeTarget> probeTargets(const StationListRead &read);

struct ProbeResult {
    enum class Outcome {
        NotProbed,  // not finished when the probe was stopped
        Plays,      // audio was decoded
        Fails,      // the player gave up: see `failure`
        Refused,    // the address is not one the program opens; nothing was sent
        Page,       // a web page: see `httpStatus` or `failure`
    };
    Outcome outcome = Outcome::NotProbed;
    PlayerFailure failure = PlayerFailure::None;  // Fails; Page without an HTTP answer
    qint64 msToAudio = -1;                        // Plays: from the address to the first decoded audio
    QString title;                                // Plays: the stream's title, if it sent one
    int httpStatus = 0;                           // Page: the final HTTP status (after redirects)

    // A page that answered with a status below 400.
    bool pageAnswered() const { return outcome == Outcome::Page && httpStatus > 0 && httpStatus < 400; }
};

// Opens stations the way the program does, a few at a time, and says for
// each whether it plays. A stream goes through a PlayerSession on its own
// MpvEngine (no sound device), so the address check, the playlist handling
// and the engine settings are the player's own; "plays" is the session
// reaching Playing (see StreamCheck). Each session runs in a worker process
// of its own (`--probe-worker` of the same program). A web page is fetched
// only for its HTTP status.
//
// At most `jobs` stations are open at once (one connection each); each is
// given up after `timeout`. Workers are reused from one station to the
// next. Results are kept per target, nothing else.
class StationProbe : public QObject {
    Q_OBJECT
public:
    struct Options {
        int jobs = 6;
        std::chrono::milliseconds timeout{10000};
        // The program run as `PROGRAM --probe-worker --timeout S`; empty:
        // this program.
        QString workerProgram;
    };

    StationProbe(QList<ProbeTarget> targets, Options options, QObject *parent = nullptr);
    ~StationProbe() override;

    const QList<ProbeTarget> &targets() const { return m_targets; }
    const std::vector<ProbeResult> &results() const { return m_results; }
    int finishedCount() const { return m_finished; }
    bool isRunning() const { return m_running; }

    // Starts the probe; finished() follows even for an empty list.
    void start();
    // Stops every open station at once; those stay NotProbed. No
    // stationFinished() for them; finished() follows.
    void stop();

signals:
    void stationFinished(int index);
    void finished();

private:
    class Slot;
    void startNext(Slot *slot);
    void complete(Slot *slot, int index, const ProbeResult &result);
    void checkDone();

    QList<ProbeTarget> m_targets;
    Options m_options;
    std::vector<ProbeResult> m_results;
    std::vector<std::unique_ptr<Slot>> m_slots;
    int m_next = 0;
    int m_finished = 0;
    bool m_running = false;
    bool m_stopped = false;
};

}  // namespace kelvaro
