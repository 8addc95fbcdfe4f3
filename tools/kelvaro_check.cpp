// SPDX-License-Identifier: GPL-3.0-or-later
// kelvaro-check: shows what Kelvaro makes of a station list — the tree it
// would show and every line it skips or cannot reach — and, with --probe,
// which of its stations still play.
//
//   kelvaro-check FILE          plain text
//   kelvaro-check --json FILE   one JSON object
//   kelvaro-check --probe [--jobs N] [--timeout S] [--json] FILE
//
// Without FILE, the list Kelvaro itself would read (the personal one, else
// the one beside this program); which one is said on stderr.
//
// Exit code: 0 no problem (with --probe: every station plays), 1 problems
// found (some station does not play), 2 FILE cannot be read (or the command
// line is wrong), 130 the probe was interrupted.
#include "console_platform.h"
#include "probe_report.h"
#include "station_list_check.h"
#include "station_list_location.h"
#include "station_probe.h"
#include "stream_check.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <cstdio>

namespace {

constexpr char kUsage[] = "usage: kelvaro-check [--json] [FILE]\n"
                          "       kelvaro-check --probe [--jobs N] [--timeout S] [--json] [FILE]\n";
constexpr int kMaxJobs = 64;
constexpr double kMaxTimeoutSeconds = 3600;

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

struct CommandLine {
    bool ok = true;
    bool json = false;
    bool probe = false;
    bool probeOptionsGiven = false;
    bool worker = false;  // --probe-worker: run as one of the probe's workers
    kelvaro::StationProbe::Options options;
    QString file;
};

CommandLine parse(const QStringList &args)
{
    CommandLine cl;
    QStringList files;
    for (qsizetype i = 0; i < args.size() && cl.ok; ++i) {
        QString arg = args[i];
        QString value;
        const bool takesValue = arg == QLatin1String("--jobs") || arg == QLatin1String("--timeout")
            || arg.startsWith(QLatin1String("--jobs=")) || arg.startsWith(QLatin1String("--timeout="));
        if (takesValue) {
            if (const qsizetype eq = arg.indexOf(QLatin1Char('=')); eq > 0) {
                value = arg.mid(eq + 1);
                arg.truncate(eq);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                cl.ok = false;
                break;
            }
            cl.probeOptionsGiven = true;
        }
        bool number = false;
        if (arg == QLatin1String("--json")) {
            cl.json = true;
        } else if (arg == QLatin1String("--probe")) {
            cl.probe = true;
        } else if (arg == QLatin1String("--probe-worker")) {
            cl.worker = true;
        } else if (arg == QLatin1String("--jobs")) {
            const int jobs = value.toInt(&number);
            cl.ok = number && jobs >= 1 && jobs <= kMaxJobs;
            cl.options.jobs = jobs;
        } else if (arg == QLatin1String("--timeout")) {
            const double s = value.toDouble(&number);
            cl.ok = number && s >= 0.1 && s <= kMaxTimeoutSeconds;
            cl.options.timeout = std::chrono::milliseconds(qint64(s * 1000));
        } else if (arg.startsWith(QLatin1String("--"))) {
            cl.ok = false;
        } else {
            files << arg;
        }
    }
    if (cl.worker)
        return cl;
    cl.ok = cl.ok && files.size() <= 1 && (cl.probe || !cl.probeOptionsGiven);
    if (cl.ok && files.size() == 1) {
        cl.file = files.first();
    } else if (cl.ok) {
        const kelvaro::StationListLocation where = kelvaro::lookUpStationList(QCoreApplication::applicationDirPath());
        cl.file = where.path;
        write(stderr, (where.personal ? QStringLiteral("checking the personal list %1\n")
                                      : QStringLiteral("checking the list beside the program %1\n"))
                          .arg(cl.file)
                          .toUtf8());
    }
    return cl;
}

// The probe's text output: one line per station as soon as it and every
// station before it in the tree are done, so categories stay together, and
// on a terminal a progress line below them.
class ProbePrinter {
public:
    ProbePrinter(const kelvaro::StationProbe &probe, bool progress) : m_probe(probe), m_progress(progress) {}

    void stationFinished()
    {
        QByteArray lines;
        const auto &targets = m_probe.targets();
        const auto &results = m_probe.results();
        while (m_next < targets.size()
               && results[size_t(m_next)].outcome != kelvaro::ProbeResult::Outcome::NotProbed)
            lines += lineFor(m_next++);
        print(lines);
    }

    // Everything not printed yet (not probed after an interruption), then
    // the summary.
    void finish(double seconds, bool interrupted)
    {
        QByteArray lines;
        while (m_next < m_probe.targets().size())
            lines += lineFor(m_next++);
        lines += kelvaro::probeSummaryText(m_probe.results(), seconds, interrupted);
        m_progress = false;
        print(lines);
    }

    void tick(double seconds)
    {
        m_seconds = seconds;
        print({});
    }

private:
    QByteArray lineFor(qsizetype i)
    {
        const kelvaro::ProbeTarget &target = m_probe.targets()[i];
        QByteArray out;
        if (i == 0 || target.category != m_probe.targets()[i - 1].category)
            out += kelvaro::probeCategoryText(target.category);
        return out + kelvaro::probeLineText(target, m_probe.results()[size_t(i)]);
    }

    void print(const QByteArray &lines)
    {
        QByteArray out;
        if (m_shownWidth > 0)
            out += '\r' + QByteArray(m_shownWidth, ' ') + '\r';
        out += lines;
        m_shownWidth = 0;
        if (m_progress) {
            const QByteArray progress = QStringLiteral("  [%1/%2 done, %3 s]")
                                            .arg(m_probe.finishedCount())
                                            .arg(m_probe.targets().size())
                                            .arg(qint64(m_seconds))
                                            .toUtf8();
            out += progress;
            m_shownWidth = progress.size();
        }
        write(stdout, out);
    }

    const kelvaro::StationProbe &m_probe;
    bool m_progress;
    qsizetype m_next = 0;
    qsizetype m_shownWidth = 0;
    double m_seconds = 0;
};

int runProbe(const kelvaro::StationListCheck &check, const CommandLine &cl)
{
    kelvaro::StationProbe probe(kelvaro::probeTargets(check.read), cl.options);
    kelvaro::InterruptWatcher interrupts;
    QElapsedTimer clock;
    clock.start();
    bool interrupted = false;

    ProbePrinter printer(probe, !cl.json && kelvaro::stdoutIsTerminal());
    if (!cl.json) {
        write(stdout, kelvaro::probeHeaderText(check, cl.file, int(probe.targets().size()), cl.options));
        QObject::connect(&probe, &kelvaro::StationProbe::stationFinished, [&printer] { printer.stationFinished(); });
    }
    QTimer ticker;
    if (!cl.json) {
        QObject::connect(&ticker, &QTimer::timeout, [&] { printer.tick(clock.elapsed() / 1000.0); });
        ticker.start(1000);
        printer.tick(0);
    }
    QObject::connect(&interrupts, &kelvaro::InterruptWatcher::interrupted, [&] {
        interrupted = true;
        probe.stop();
    });
    QObject::connect(&probe, &kelvaro::StationProbe::finished, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    probe.start();
    QCoreApplication::exec();
    ticker.stop();

    const double seconds = clock.elapsed() / 1000.0;
    // An interruption that came after the last station changes nothing.
    interrupted = interrupted && probe.finishedCount() < probe.targets().size();
    if (cl.json)
        write(stdout, kelvaro::probeReportJson(check, probe.targets(), probe.results(), cl.options, seconds,
                                               interrupted));
    else
        printer.finish(seconds, interrupted);
    return kelvaro::probeExitCode(probe.results(), interrupted);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const CommandLine cl = parse(QCoreApplication::arguments().mid(1));
    if (!cl.ok) {
        write(stderr, kUsage);
        return 2;
    }
    if (cl.worker)
        return kelvaro::runProbeWorker(cl.options.timeout);

    const kelvaro::StationListCheck check = kelvaro::checkStationList(cl.file);
    if (!check.readable()) {
        write(stderr, kelvaro::checkReportText(check, cl.file));
        return check.exitCode();
    }
    if (cl.probe)
        return runProbe(check, cl);
    write(stdout, cl.json ? kelvaro::checkReportJson(check) : kelvaro::checkReportText(check, cl.file));
    return check.exitCode();
}
