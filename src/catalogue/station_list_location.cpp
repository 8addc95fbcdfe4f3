// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_list_location.h"

#include "station_file.h"

#include <QFileInfo>

namespace kelvaro {

StationListLocation lookUpStationList(const QString &executableFolder)
{
    const QString personal = personalStationListPath();
    if (!personal.isEmpty() && QFileInfo(personal).isFile())
        return {personal, true};
    return {stationListPath(executableFolder), false};
}

}  // namespace kelvaro
