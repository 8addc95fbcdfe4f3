// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_shift_disk.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace kelvaro {

#ifdef Q_OS_LINUX
namespace {

// Calls `use` with each descriptor of this process open on a file in
// `folder`. The engine deleted the file's name, so the descriptor is the
// only way to it.
template <typename Use>
void forOpenFilesIn(const QString &folder, Use use)
{
    const QString prefix = QDir(folder).absolutePath() + QLatin1Char('/');
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFileInfo(fds.filePath(name)).symLinkTarget();
        if (target.startsWith(prefix))
            use(name.toInt());
    }
}

}  // namespace
#endif

bool freeHeadOfOpenFile(const QString &folder, qint64 bytes)
{
#ifdef Q_OS_LINUX
    bool freed = false;
    forOpenFilesIn(folder, [&](int fd) {
        freed = fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, off_t(bytes)) == 0 || freed;
    });
    return freed;
#else
    // Elsewhere the file keeps its bytes until the connection ends.
    Q_UNUSED(folder);
    Q_UNUSED(bytes);
    return false;
#endif
}

qint64 openFilesDiskUse(const QString &folder)
{
#ifdef Q_OS_LINUX
    qint64 used = 0;
    forOpenFilesIn(folder, [&](int fd) {
        struct stat st {};
        if (fstat(fd, &st) == 0)
            used += qint64(st.st_blocks) * 512;
    });
    return used;
#else
    Q_UNUSED(folder);
    return -1;
#endif
}

bool processRuns(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return false;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
#endif
}

}  // namespace kelvaro
