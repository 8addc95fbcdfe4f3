// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_list_preload.h"

#include "station_list_location.h"

namespace kelvaro {

StationListPreload::StationListPreload(const QString &executableFolder)
    : read_(std::async(std::launch::async, [this, executableFolder] {
          location_ = lookUpStationList(executableFolder);
          return readStationList(location_.path);
      }))
{
}

StationListPreload::~StationListPreload()
{
    if (read_.valid())
        read_.wait();
}

StationListRead StationListPreload::take()
{
    return read_.get();
}

}  // namespace kelvaro
