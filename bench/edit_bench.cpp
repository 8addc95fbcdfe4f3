// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the user's station list from the real window, for bench/edit-bench:
// a 900-row list of the user's own, then N edits one after the other (a
// station moved down and back up, each a whole save: the file read again,
// the backup and the new list written and flushed, the rename). A 1 ms
// precise timer runs throughout; its lateness is the UI thread's stall. The
// same timer over the same time with no edit is the reference.
//
//   edit_bench [--edits N]
//
// Prints "idle <max ms> <p99 ms>", "edits <max ms> <p99 ms>",
// "save <median ms> <max ms>" (from asking for an edit to the tree filled
// again) and "rss <before KiB> <after KiB>".

#include "form1.h"
#include "station_editor.h"
#include "stall_sampler.h"
#include "tree_view.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvaro;
using kelvaro::bench::percentile;
using kelvaro::bench::StallSampler;

namespace {

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

}  // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    int edits = 100;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--edits"))
            edits = args[i + 1].toInt();
    }

    // 30 categories of 29 stations: 900 rows, CR LF, as lists kept on Windows.
    QDir().mkpath(config.filePath(QStringLiteral("kelvaro")));
    QFile list(config.filePath(QStringLiteral("kelvaro/电台.ini")));
    if (!list.open(QIODevice::WriteOnly))
        return 2;
    for (int c = 0; c < 30; ++c) {
        list.write(QStringLiteral("分类%1;;mms://127.0.0.1;;\r\n").arg(c).toUtf8());
        for (int s = 0; s < 29; ++s)
            list.write(QStringLiteral("电台%1-%2;;http://127.0.0.1:9/%1/%2;;备注\r\n").arg(c).arg(s).toUtf8());
    }
    list.close();

    Form1 form;
    form.show();
    form.enableEditing();
    form.TreeView1->topLevelItem(15)->setExpanded(true);
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();

    StallSampler sampler;
    // The reference: the timer alone, for as long as the edits will take
    // (measured first, then the same span again).
    std::vector<double> saves;
    const long before = rssKiB();
    sampler.start();
    QElapsedTimer span;
    span.start();
    QElapsedTimer one;
    int done = 0;
    QEventLoop editing;
    StationEditor *editor = form.editor();
    const QString address = QStringLiteral("http://127.0.0.1:9/15/3");
    const auto next = [&] {
        one.start();
        const int to = done % 2 == 0 ? 4 : 3;
        editor->apply([=](StationDocument &d) { return d.moveStation(address, QStringLiteral("分类15"), to); });
    };
    QObject::connect(editor, &StationEditor::editFinished, &app, [&](const StationListStore::Outcome &outcome) {
        if (outcome.kind != StationListStore::Outcome::Kind::Saved) {
            std::fprintf(stderr, "edit failed: %s\n", qPrintable(outcome.message));
            editing.exit(1);
            return;
        }
        saves.push_back(double(one.nsecsElapsed()) / 1e6);
        if (++done == edits)
            editing.quit();
        else
            QTimer::singleShot(0, &app, next);
    });
    next();
    if (editing.exec() != 0)
        return 1;
    const qint64 editingMs = span.elapsed();
    sampler.stop();
    const std::vector<double> editStalls = sampler.samples;
    const long after = rssKiB();

    sampler.start();
    QEventLoop idle;
    QTimer::singleShot(int(editingMs), &idle, &QEventLoop::quit);
    idle.exec();
    sampler.stop();

    std::printf("idle %.2f %.2f\n", percentile(sampler.samples, 1.0), percentile(sampler.samples, 0.99));
    std::printf("edits %.2f %.2f\n", percentile(editStalls, 1.0), percentile(editStalls, 0.99));
    std::printf("save %.2f %.2f\n", percentile(saves, 0.5), percentile(saves, 1.0));
    std::printf("rss %ld %ld\n", before, after);
    return 0;
}
