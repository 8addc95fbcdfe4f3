// SPDX-License-Identifier: GPL-3.0-or-later
// The platform half of where the station list is looked up: the personal
// list's folder follows the XDG base directory rules on Unix desktops; on
// Windows there is no personal list.
#include "station_list_location.h"

#include "station_file.h"

#include <QDir>

namespace kelvaro {

QString personalStationListPath()
{
#ifdef Q_OS_WIN
    return {};
#else
    // A relative $XDG_CONFIG_HOME is invalid and must be ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty() || QDir::isRelativePath(home))
            return {};
        config = QDir(home).filePath(QStringLiteral(".config"));
    }
    return QDir(config).filePath(QStringLiteral("kelvaro/") + kStationFileName);
#endif
}

}  // namespace kelvaro
