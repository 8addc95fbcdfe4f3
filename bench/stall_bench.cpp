// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how long the event loop is held while a user chooses stations
// quickly in the real window, for bench/stall-bench. A 1 ms precise timer
// runs throughout; every time it fires late, the lateness is one stall
// sample, filed under the station choice in effect. Choices follow each other
// every --gap-ms milliseconds, in rounds of: a stream, a failing address, a
// web page, back to the stream; the first stream and the first page of the
// run are filed apart (they load the player's and the page's engines). With --idle no station is chosen (the
// reference: what the timer alone sees on this machine).
//
//   stall_bench --stream <url> --page <url> [--rounds N] [--gap-ms N] [--idle]
//
// Prints one line per kind of choice: "stall <kind> <samples> <max ms> <p99 ms>".

#include "form1.h"
#include "stall_sampler.h"
#include "tree_view.h"
#include "web_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvaro;
using kelvaro::bench::percentile;

namespace {

struct Choice {
    QString kind;
    QString key;
    QString text;
};

} // namespace

int main(int argc, char *argv[])
{
    prepareWebViewBeforeApplication();
    QApplication app(argc, argv);
    QString stream, page;
    int rounds = 5, gapMs = 400;
    bool idle = false;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (args[i] == QLatin1String("--stream"))
            stream = next, ++i;
        else if (args[i] == QLatin1String("--page"))
            page = next, ++i;
        else if (args[i] == QLatin1String("--rounds"))
            rounds = next.toInt(), ++i;
        else if (args[i] == QLatin1String("--gap-ms"))
            gapMs = next.toInt(), ++i;
        else if (args[i] == QLatin1String("--idle"))
            idle = true;
    }

    Form1 form;
    form.show();

    QList<Choice> plan;
    for (int r = 0; r < rounds; ++r) {
        plan << Choice{r == 0 ? QStringLiteral("first-stream") : QStringLiteral("stream"), stream,
                       QStringLiteral("流")}
             << Choice{QStringLiteral("failing"), QStringLiteral("http://127.0.0.1:1/none.mp3"),
                       QStringLiteral("坏")}
             << Choice{r == 0 ? QStringLiteral("first-page") : QStringLiteral("page"), page,
                       QStringLiteral("网页")}
             << Choice{QStringLiteral("stream"), stream, QStringLiteral("流")};
    }

    QMap<QString, std::vector<double>> stalls;
    QString current = QStringLiteral("start");
    QElapsedTimer clock;
    qint64 last = -1;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            stalls[current].push_back(std::max(0.0, (now - last) / 1e6 - 1.0));
        last = now;
    });

    int next = 0;
    QTimer step;
    step.setInterval(gapMs);
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (next >= plan.size()) {
            step.stop();
            tick.stop();
            std::vector<double> all;
            for (auto it = stalls.cbegin(); it != stalls.cend(); ++it) {
                if (it.key() == QLatin1String("start"))
                    continue;
                all.insert(all.end(), it->begin(), it->end());
                std::printf("stall %s %zu %.2f %.2f\n", qPrintable(it.key()), it->size(),
                            percentile(*it, 1.0), percentile(*it, 0.99));
            }
            std::printf("stall all %zu %.2f %.2f\n", all.size(), percentile(all, 1.0),
                        percentile(all, 0.99));
            std::fflush(stdout);
            app.quit();
            return;
        }
        const Choice &c = plan[next++];
        current = idle ? QStringLiteral("idle") : c.kind;
        if (!idle)
            Q_EMIT form.TreeView1->nodeClick(c.key, c.text);
    });

    // Measured once the window is up and the start-up work after the first
    // paint has had its time.
    QTimer::singleShot(1500, [&] {
        clock.start();
        tick.start();
        step.start();
    });
    return app.exec();
}
