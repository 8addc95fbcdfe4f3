// kelvaro-check: shows what Kelvaro makes of a station list — the tree it
// would show and every line it skips or cannot reach.
//
//   kelvaro-check FILE          plain text
//   kelvaro-check --json FILE   one JSON object
//   kelvaro-check [--json]      the list Kelvaro itself would read (the
//                               personal one, else the one beside this
//                               program); says which on stderr
//
// Exit code: 0 no problem, 1 problems found, 2 FILE cannot be read (or the
// command line is wrong).
#include "station_list_check.h"
#include "station_list_location.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(QLatin1String("--")))) {
        write(stderr, "usage: kelvaro-check [--json] [FILE]\n");
        return 2;
    }
    QString file;
    if (args.isEmpty()) {
        const kelvaro::StationListLocation where =
            kelvaro::lookUpStationList(QCoreApplication::applicationDirPath());
        file = where.path;
        write(stderr, (where.personal ? QStringLiteral("checking the personal list %1\n")
                                      : QStringLiteral("checking the list beside the program %1\n"))
                          .arg(file)
                          .toUtf8());
    } else {
        file = args.first();
    }

    const kelvaro::StationListCheck check = kelvaro::checkStationList(file);
    if (!check.readable()) {
        write(stderr, kelvaro::checkReportText(check, file));
        return check.exitCode();
    }
    write(stdout, json ? kelvaro::checkReportJson(check) : kelvaro::checkReportText(check, file));
    return check.exitCode();
}
