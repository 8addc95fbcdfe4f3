// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_file.h"
#include "station_list_location.h"

#include <future>

namespace kelvaro {

// Finds and reads the station list (see lookUpStationList()) on a worker
// thread, so that the disk and the decoding overlap the window's
// construction instead of adding to it.
class StationListPreload {
public:
    explicit StationListPreload(const QString &executableFolder);
    ~StationListPreload();  // waits for the worker
    StationListPreload(const StationListPreload &) = delete;
    StationListPreload &operator=(const StationListPreload &) = delete;

    // The list as read, waiting for it if need be. Once only.
    StationListRead take();
    // Which list it was; known once take() has returned.
    const StationListLocation &location() const { return location_; }

private:
    StationListLocation location_;  // written by the worker before its result
    std::future<StationListRead> read_;
};

}  // namespace kelvaro
