// SPDX-License-Identifier: GPL-3.0-or-later
// The probe of bench/record-bench: a Listening on an engine without a sound
// output (it still plays in real time), driven in one of five modes.
//
//   play    plays --url for --seconds; every 10 s prints its own CPU time
//           and resident memory (the reference for "record")
//   record  the same, recording what plays from the first second on
//   stalls  plays --url (titles changing every few seconds) with split by
//           song on, and --cycles times: starts recording, waits through two
//           title changes and 1.5 s more (so the last piece is longer than
//           the 1 s minimum), stops, waits 2 s. A 1 ms precise timer runs
//           throughout; its lateness is the event loop's stall, filed under
//           the action whose ±300 ms window it overlaps. With --reference the
//           same schedule runs without recording.
//   drop    records --url (a server that drops the first connection) until
//           the second part has run for 6 s
//   hls     records --url for --seconds
//
//   record_bench --mode MODE --url URL --root DIR [--seconds S] [--cycles N] [--reference]
//
// Prints "sample <s> <cpu s> <rss KiB>", "stall <window> <samples> <max ms> <p99 ms>",
// "file <cycle> <path>" for every file saved, "note <text>" for anything
// unusual, and "done" at the end.

#include "listening.h"
#include "mpv_engine.h"
#include "recorder.h"
#include "stall_sampler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace kelvaro;
using namespace std::chrono_literals;
using kelvaro::bench::percentile;

namespace {

// Lets the event loop run until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void wait(int ms)
{
    waitFor([] { return false; }, ms);
}

double cpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec)
        + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

long rssKiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void note(const QString &text)
{
    std::printf("note %s\n", qPrintable(text));
    std::fflush(stdout);
}

// A 1 ms precise timer's lateness, with the span of each sample, so that a
// stall can be filed under the window it overlaps.
struct TimedStalls {
    struct Sample {
        double from, to, late;  // ms since start()
    };
    QTimer timer;
    QElapsedTimer clock;
    double last = 0;
    std::vector<Sample> samples;

    TimedStalls()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const double now = double(clock.nsecsElapsed()) / 1e6;
            samples.push_back({last, now, std::max(0.0, now - last - 1.0)});
            last = now;
        });
    }
    void start()
    {
        clock.start();
        last = 0;
        timer.start();
    }
    double now() const { return double(clock.nsecsElapsed()) / 1e6; }
};

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString mode, url, root;
    int seconds = 60, cycles = 5;
    bool reference = false;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (args[i] == QLatin1String("--mode"))
            mode = next, ++i;
        else if (args[i] == QLatin1String("--url"))
            url = next, ++i;
        else if (args[i] == QLatin1String("--root"))
            root = next, ++i;
        else if (args[i] == QLatin1String("--seconds"))
            seconds = next.toInt(), ++i;
        else if (args[i] == QLatin1String("--cycles"))
            cycles = next.toInt(), ++i;
        else if (args[i] == QLatin1String("--reference"))
            reference = true;
    }
    if (url.isEmpty() || root.isEmpty()) {
        std::fprintf(stderr, "usage: record_bench --mode play|record|stalls|drop|hls --url URL --root DIR "
                             "[--seconds S] [--cycles N] [--reference]\n");
        return 2;
    }

    auto listening = std::make_unique<Listening>(
        [](bool) -> PlaybackEngine * { return new MpvEngine(MpvEngine::Options{.audioOutput = false}); });
    Recorder &recorder = listening->recorder();
    recorder.setRoot(root);
    int cycle = 0;
    QObject::connect(&recorder, &Recorder::fileSaved, [&](const QString &path) {
        std::printf("file %d %s\n", cycle, qPrintable(path));
        std::fflush(stdout);
    });
    QObject::connect(&recorder, &Recorder::failed, [](const QString &message) { note(QStringLiteral("failed ") + message); });
    QObject::connect(listening.get(), &Listening::stateChanged, [](PlayerSession::State state) {
        if (state == PlayerSession::State::Reconnecting || state == PlayerSession::State::Failed)
            note(QStringLiteral("state %1").arg(int(state)));
    });
    const auto playing = [&] { return listening->state() == PlayerSession::State::Playing; };
    const auto finished = [&] { return !recorder.isFinishing(); };

    QElapsedTimer since;
    since.start();
    listening->choose({url, QStringLiteral("Bench"), {}});
    if (!waitFor(playing, 30000)) {
        note(QStringLiteral("never played"));
        return 1;
    }

    if (mode == QLatin1String("play") || mode == QLatin1String("record")) {
        if (mode == QLatin1String("record")) {
            listening->setRecording(true);
            if (!recorder.isRecording())
                note(QStringLiteral("not recording"));
        }
        // Sampled from the moment the station was chosen, every 10 s.
        for (int t = 0; t <= seconds; t += 10) {
            wait(int(qMax<qint64>(0, t * 1000 - since.elapsed())));
            std::printf("sample %d %.3f %ld\n", t, cpuSeconds(), rssKiB());
            std::fflush(stdout);
        }
        if (recorder.isRecording())
            std::printf("bytes %lld\n", recorder.bytes());
        listening->setRecording(false);
        waitFor(finished, 30000);
    } else if (mode == QLatin1String("stalls")) {
        recorder.setSplitBySong(true);
        recorder.setMinimumPiece(1s);
        waitFor([&] { return !listening->title().isEmpty(); }, 10000);
        // The first seconds of playing (loading the engine) are not measured.
        wait(3000);
        TimedStalls stalls;
        QList<std::pair<QString, double>> actions;  // kind, ms
        int titlesInCycle = -1;                     // -1: not in a cycle
        double lastTitle = -1e9;                    // when the title last changed, ms
        QObject::connect(listening.get(), &Listening::titleChanged, [&] {
            lastTitle = stalls.now();
            if (titlesInCycle >= 0) {
                ++titlesInCycle;
                actions.append({QStringLiteral("split"), lastTitle});
            }
        });
        stalls.start();
        for (cycle = 1; cycle <= cycles; ++cycle) {
            // Every cycle begins 0.5 s after a title change, so that its first
            // piece is longer than the minimum and is kept.
            if (stalls.now() - lastTitle > 1500) {
                const double seen = lastTitle;
                waitFor([&] { return lastTitle != seen; }, 10000);
                wait(500);
            }
            recorder.setRoot(QStringLiteral("%1/cycle%2").arg(root).arg(cycle));
            actions.append({QStringLiteral("start"), stalls.now()});
            titlesInCycle = 0;
            if (!reference)
                listening->setRecording(true);
            if (!waitFor([&] { return titlesInCycle >= 2; }, 20000))
                note(QStringLiteral("cycle %1: %2 title changes").arg(cycle).arg(titlesInCycle));
            wait(1500);
            titlesInCycle = -1;
            actions.append({QStringLiteral("stop"), stalls.now()});
            if (!reference)
                listening->setRecording(false);
            wait(2000);
            if (!waitFor(finished, 10000))
                note(QStringLiteral("cycle %1: files still finishing").arg(cycle));
        }
        stalls.timer.stop();
        // Every sample overlapping an action's window, by kind of action.
        QMap<QString, std::vector<double>> byKind;
        std::vector<double> inWindows, elsewhere;
        for (const auto &s : stalls.samples) {
            bool in = false;
            QStringList kinds;
            for (const auto &[kind, at] : actions) {
                if (s.to >= at - 300 && s.from <= at + 300 && !kinds.contains(kind))
                    kinds << kind;
            }
            for (const QString &kind : kinds)
                byKind[kind].push_back(s.late), in = true;
            (in ? inWindows : elsewhere).push_back(s.late);
        }
        byKind[QStringLiteral("windows")] = inWindows;
        byKind[QStringLiteral("elsewhere")] = elsewhere;
        for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
            std::printf("stall %s %zu %.2f %.2f\n", qPrintable(it.key()), it->size(), percentile(*it, 1.0),
                        percentile(*it, 0.99));
        std::printf("actions %lld\n", qint64(actions.size()));
    } else if (mode == QLatin1String("drop")) {
        int saved = 0;
        QObject::connect(&recorder, &Recorder::fileSaved, [&] { ++saved; });
        listening->setRecording(true);
        // The drop, the reconnect, then some seconds of the second part.
        if (!waitFor([&] { return saved > 0; }, 40000))
            note(QStringLiteral("no part ended"));
        waitFor(playing, 30000);
        wait(6000);
        if (!recorder.isRecording())
            note(QStringLiteral("recording ended at the reconnect"));
        listening->setRecording(false);
        waitFor(finished, 30000);
    } else if (mode == QLatin1String("hls")) {
        listening->setRecording(true);
        wait(seconds * 1000);
        listening->setRecording(false);
        waitFor(finished, 30000);
    } else {
        std::fprintf(stderr, "unknown mode %s\n", qPrintable(mode));
        return 2;
    }
    // Files still signalled before the end.
    wait(200);
    std::printf("done\n");
    std::fflush(stdout);
    listening.reset();
    return 0;
}
