// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_list_check.h"
#include "station_probe.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kelvaro {

struct ProbeCounts {
    int plays = 0;
    int fails = 0;
    int refused = 0;
    int pages = 0;
    int pagesWithError = 0;  // no answer, or an HTTP error status
    int notProbed = 0;
};

ProbeCounts countResults(const std::vector<ProbeResult> &results);

// 0: every station plays (and every page answers); 1: some do not;
// 130: the probe was interrupted before every station was known.
int probeExitCode(const std::vector<ProbeResult> &results, bool interrupted);

// The short English word for a result: "plays", "fails", "refused", "page",
// "not-probed".
const char *outcomeKeyword(ProbeResult::Outcome outcome);

// Text output, UTF-8: a header, then per category its name and one line per
// station, then the summary.
QByteArray probeHeaderText(const StationListCheck &check, const QString &fileName, int stations,
                           const StationProbe::Options &options);
QByteArray probeCategoryText(const QString &category);
QByteArray probeLineText(const ProbeTarget &target, const ProbeResult &result);
QByteArray probeSummaryText(const std::vector<ProbeResult> &results, double seconds, bool interrupted);

// One JSON object: the list's encoding and problems as in the checker's
// report, the stations in file order with their results, and the summary.
QByteArray probeReportJson(const StationListCheck &check, const QList<ProbeTarget> &targets,
                           const std::vector<ProbeResult> &results, const StationProbe::Options &options,
                           double seconds, bool interrupted);

}  // namespace kelvaro
