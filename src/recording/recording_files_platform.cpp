// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_files_platform.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace kelvaro {

#ifdef Q_OS_WIN
// Windows refuses a handle that shares nothing while another one is open.
bool isOpenInThisProcess(const QString &path)
{
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return false;
}
#else
// The process's open files, as the kernel lists them.
bool isOpenInThisProcess(const QString &path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists())
        return false;
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files | QDir::Dirs)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == target)
            return true;
    }
    return false;
}
#endif

}  // namespace kelvaro
