// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings file lives: beside the user's own station list on Unix
// desktops (the XDG config folder), beside the program on Windows.
#include "settings_file.h"

#include "station_list_location.h"

#include <QDir>
#include <QFileInfo>

namespace kelvaro {

QString settingsFilePath([[maybe_unused]] const QString &executableFolder)
{
    static const QString name = QStringLiteral("settings.ini");
#ifdef Q_OS_WIN
    return QDir(executableFolder).filePath(name);
#else
    const QString personalList = personalStationListPath();
    return personalList.isEmpty() ? QString() : QFileInfo(personalList).dir().filePath(name);
#endif
}

}  // namespace kelvaro
