// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace kelvaro {

// Where the web view's parts (the engine plugin, the helper program) are
// looked for: beside the executable, then in the folder they were built into
// (so that tests and benchmarks find them too).
inline QStringList webComponentFolders()
{
    QStringList folders{QCoreApplication::applicationDirPath()};
#ifdef KELVARO_WEBVIEW_PLUGIN_DIR
    folders << QStringLiteral(KELVARO_WEBVIEW_PLUGIN_DIR);
#endif
    return folders;
}

}  // namespace kelvaro
