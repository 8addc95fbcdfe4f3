// SPDX-License-Identifier: GPL-3.0-or-later
// The platform half of writing the station list: getting written bytes and
// a rename onto the disk before the write is called done.
#include "station_list_writer.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kelvaro {

bool flushFileToDisk(QFileDevice &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
#else
    return ::fsync(file.handle()) == 0;
#endif
}

void flushFolderToDisk(const QString &folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);  // NTFS journals the rename itself
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

}  // namespace kelvaro
