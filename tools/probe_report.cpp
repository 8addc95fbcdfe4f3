// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe_report.h"

#include <QLocale>

#include <algorithm>
#include <numeric>

namespace kelvaro {

namespace {

QString seconds(double s, int decimals)
{
    return QString::number(s, 'f', decimals);
}

QString failureText(PlayerFailure failure)
{
    return QString::fromLatin1(failureKeyword(failure)) + QStringLiteral(": ") + statustext::failure(failure);
}

void appendKey(QByteArray &out, const char *key)
{
    out += ", \"";
    out += key;
    out += "\": ";
}

// Titles come from the stations' servers and names from a hand-edited list:
// control characters (a terminal's escape sequences among them) are shown
// as U+FFFD instead of being written to the terminal.
QString printable(QString text)
{
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QChar::ReplacementCharacter;
    return text;
}

}  // namespace

ProbeCounts countResults(const std::vector<ProbeResult> &results)
{
    ProbeCounts c;
    for (const ProbeResult &r : results) {
        switch (r.outcome) {
        case ProbeResult::Outcome::Plays: ++c.plays; break;
        case ProbeResult::Outcome::Fails: ++c.fails; break;
        case ProbeResult::Outcome::Refused: ++c.refused; break;
        case ProbeResult::Outcome::Page:
            ++c.pages;
            if (!r.pageAnswered())
                ++c.pagesWithError;
            break;
        case ProbeResult::Outcome::NotProbed: ++c.notProbed; break;
        }
    }
    return c;
}

int probeExitCode(const std::vector<ProbeResult> &results, bool interrupted)
{
    if (interrupted)
        return 130;
    const ProbeCounts c = countResults(results);
    return c.fails + c.refused + c.pagesWithError + c.notProbed == 0 ? 0 : 1;
}

const char *outcomeKeyword(ProbeResult::Outcome outcome)
{
    switch (outcome) {
    case ProbeResult::Outcome::NotProbed: return "not-probed";
    case ProbeResult::Outcome::Plays: return "plays";
    case ProbeResult::Outcome::Fails: return "fails";
    case ProbeResult::Outcome::Refused: return "refused";
    case ProbeResult::Outcome::Page: return "page";
    }
    return "not-probed";
}

QByteArray probeHeaderText(const StationListCheck &check, const QString &fileName, int stations,
                           const StationProbe::Options &options)
{
    QString out = QStringLiteral("%1 (%2, %3 rows)\n")
                      .arg(fileName, QString::fromLatin1(encodingName(check.read.encoding)))
                      .arg(check.read.rowsFilled);
    const qint64 problems = check.problems.size() + check.problemsNotListed;
    if (problems > 0)
        out += QStringLiteral("The list has %1 problem(s); kelvaro-check without --probe lists them.\n")
                   .arg(problems);
    out += QStringLiteral("Probing %1 station(s), %2 at a time, at most %3 s each\n")
               .arg(stations)
               .arg(options.jobs)
               .arg(QLocale::c().toString(options.timeout.count() / 1000.0, 'g', 6));
    return out.toUtf8();
}

QByteArray probeCategoryText(const QString &category)
{
    return QStringLiteral("  %1\n").arg(category).toUtf8();
}

QByteArray probeLineText(const ProbeTarget &target, const ProbeResult &result)
{
    QString detail;
    switch (result.outcome) {
    case ProbeResult::Outcome::Plays:
        detail = seconds(result.msToAudio / 1000.0, 2) + QStringLiteral(" s");
        if (!result.title.isEmpty())
            detail += QStringLiteral("  \"%1\"").arg(printable(result.title));
        break;
    case ProbeResult::Outcome::Fails:
    case ProbeResult::Outcome::Refused:
        detail = failureText(result.failure);
        break;
    case ProbeResult::Outcome::Page:
        detail = result.httpStatus > 0 ? QStringLiteral("HTTP %1").arg(result.httpStatus)
                                       : failureText(result.failure);
        break;
    case ProbeResult::Outcome::NotProbed:
        break;
    }
    QString line = QStringLiteral("    %1  %2  <%3>")
                       .arg(QString::fromLatin1(outcomeKeyword(result.outcome)), -10)
                       .arg(printable(target.name), printable(target.address));
    if (!detail.isEmpty())
        line += QStringLiteral("  ") + detail;
    return (line + QLatin1Char('\n')).toUtf8();
}

QByteArray probeSummaryText(const std::vector<ProbeResult> &results, double secondsTaken, bool interrupted)
{
    const ProbeCounts c = countResults(results);
    QString out = QStringLiteral("Plays: %1, fails: %2, refused: %3, pages: %4")
                      .arg(c.plays)
                      .arg(c.fails)
                      .arg(c.refused)
                      .arg(c.pages);
    if (c.pagesWithError > 0)
        out += QStringLiteral(" (%1 with an error)").arg(c.pagesWithError);
    out += QLatin1Char('\n');
    if (interrupted)
        out += QStringLiteral("Interrupted after %1 s; %2 station(s) not probed\n")
                   .arg(seconds(secondsTaken, 1))
                   .arg(c.notProbed);
    else
        out += QStringLiteral("Done in %1 s\n").arg(seconds(secondsTaken, 1));
    return out.toUtf8();
}

QByteArray probeReportJson(const StationListCheck &check, const QList<ProbeTarget> &targets,
                           const std::vector<ProbeResult> &results, const StationProbe::Options &options,
                           double secondsTaken, bool interrupted)
{
    QByteArray out;
    out += "{\"encoding\": ";
    appendJsonString(out, QString::fromLatin1(encodingName(check.read.encoding)));
    out += ",\n \"jobs\": " + QByteArray::number(options.jobs);
    out += ",\n \"timeout_seconds\": " + QByteArray::number(options.timeout.count() / 1000.0, 'g', 6);

    // File order: the probe runs in tree order.
    std::vector<int> order(size_t(targets.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return targets[a].row < targets[b].row; });
    out += ",\n \"stations\": [";
    bool first = true;
    for (const int i : order) {
        const ProbeTarget &t = targets[i];
        const ProbeResult &r = results[size_t(i)];
        out += first ? "\n  {" : ",\n  {";
        first = false;
        out += "\"row\": " + QByteArray::number(t.row) + ", \"line\": " + QByteArray::number(t.line);
        appendKey(out, "category");
        appendJsonString(out, t.category);
        appendKey(out, "name");
        appendJsonString(out, t.name);
        appendKey(out, "address");
        appendJsonString(out, t.address);
        appendKey(out, "result");
        appendJsonString(out, QString::fromLatin1(outcomeKeyword(r.outcome)));
        if (r.outcome == ProbeResult::Outcome::Plays) {
            appendKey(out, "seconds_to_audio");
            out += QByteArray::number(r.msToAudio / 1000.0, 'f', 3);
            appendKey(out, "title");
            appendJsonString(out, r.title);
        }
        if (r.outcome == ProbeResult::Outcome::Page) {
            appendKey(out, "http_status");
            out += QByteArray::number(r.httpStatus);
        }
        if (r.failure != PlayerFailure::None) {
            appendKey(out, "failure");
            appendJsonString(out, QString::fromLatin1(failureKeyword(r.failure)));
            appendKey(out, "message");
            appendJsonString(out, statustext::failure(r.failure));
        }
        out += '}';
    }
    out += "],\n \"problems\": [";
    first = true;
    for (const ListProblem &p : check.problems) {
        out += first ? "\n  {" : ",\n  {";
        first = false;
        out += "\"line\": " + QByteArray::number(p.line);
        appendKey(out, "kind");
        appendJsonString(out, p.kind);
        appendKey(out, "message");
        appendJsonString(out, p.message);
        out += '}';
    }
    out += ']';
    if (check.problemsNotListed > 0)
        out += ",\n \"problems_not_listed\": " + QByteArray::number(check.problemsNotListed);

    const ProbeCounts c = countResults(results);
    out += ",\n \"summary\": {\"stations\": " + QByteArray::number(qsizetype(results.size()));
    out += ", \"plays\": " + QByteArray::number(c.plays);
    out += ", \"fails\": " + QByteArray::number(c.fails);
    out += ", \"refused\": " + QByteArray::number(c.refused);
    out += ", \"pages\": " + QByteArray::number(c.pages);
    out += ", \"pages_with_error\": " + QByteArray::number(c.pagesWithError);
    out += ", \"not_probed\": " + QByteArray::number(c.notProbed) + '}';
    out += ",\n \"interrupted\": ";
    out += interrupted ? "true" : "false";
    out += ",\n \"elapsed_seconds\": " + QByteArray::number(secondsTaken, 'f', 1);
    out += "}\n";
    return out;
}

}  // namespace kelvaro
