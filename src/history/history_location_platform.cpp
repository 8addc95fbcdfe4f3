// SPDX-License-Identifier: GPL-3.0-or-later
// Where the history file lives: the user's data folder on Unix desktops (the
// XDG data folder), beside the program on Windows, as the settings are.
#include "history_store.h"

#include <QDir>
#include <QStandardPaths>

namespace kelvaro {

QString historyFilePath([[maybe_unused]] const QString &executableFolder)
{
    static const QString name = QStringLiteral("history.sqlite");
#ifdef Q_OS_WIN
    return QDir(executableFolder).filePath(name);
#else
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("kelvaro/") + name);
#endif
}

}  // namespace kelvaro
