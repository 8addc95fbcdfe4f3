// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// Where the program reads its station list from, and why.
struct StationListLocation {
    QString path;
    bool personal = false;  // the user's own list in the config folder
};

// The user's own station list: <config folder>/kelvaro/电台.ini, where the
// config folder is $XDG_CONFIG_HOME when that is an absolute path, else
// ~/.config. Empty on Windows, where the list beside the executable is the
// only one (the program is used portably there).
QString personalStationListPath();

// The list the program reads: the personal list when that file exists, else
// the one beside the executable. Only looks; never creates or copies a file.
StationListLocation lookUpStationList(const QString &executableFolder);

}  // namespace kelvaro
