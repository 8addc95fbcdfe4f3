// SPDX-License-Identifier: GPL-3.0-or-later
// Session-scoped names and the session bus check, per platform.
#include "desktop_platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvaro::platform {

namespace {

#ifdef Q_OS_WIN
QString sessionTag()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return QStringLiteral("%1-%2").arg(qEnvironmentVariable("USERNAME")).arg(session);
}
#else
// The user's runtime folder, when the session has one.
QString runtimeFolder()
{
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || QDir::isRelativePath(folder) || !QFileInfo(folder).isDir())
        return {};
    return folder;
}
#endif

}  // namespace

QString instanceSocketName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("kelvaro-instance-") + sessionTag();
#else
    const QString runtime = runtimeFolder();
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("kelvaro.instance"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("kelvaro-%1.instance").arg(getuid()));
#endif
}

bool instanceSocketInPrivateFolder()
{
#ifdef Q_OS_WIN
    return false;
#else
    return !runtimeFolder().isEmpty();
#endif
}

QString instanceLockPath()
{
#ifdef Q_OS_WIN
    return QDir(QDir::tempPath()).filePath(QStringLiteral("kelvaro-instance-%1.lock").arg(sessionTag()));
#else
    return instanceSocketName() + QStringLiteral(".lock");
#endif
}

#ifdef Q_OS_WIN

// A file opened with no sharing is the lock: a second open fails with a
// sharing violation while it is held, and the system deletes the file when
// its last handle goes, also when the process dies.
InstanceLock::Result InstanceLock::tryLock()
{
    if (handle_ != -1)
        return Result::Taken;
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(path_.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? Result::Held : Result::Unusable;
    handle_ = reinterpret_cast<qintptr>(h);
    return Result::Taken;
}

InstanceLock::~InstanceLock()
{
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

#else

// flock() on the lock file. The file may be removed by the holder between
// our open and our lock, leaving us a lock on a file nobody else can find;
// so once locked, the path must still name the file we hold, else try again.
InstanceLock::Result InstanceLock::tryLock()
{
    if (handle_ != -1)
        return Result::Taken;
    const QByteArray path = QFile::encodeName(path_);
    for (int attempt = 0; attempt < 10; ++attempt) {
        // Never through a link: without a runtime folder the file lies in
        // the shared temporary folder.
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return Result::Unusable;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? Result::Held : Result::Unusable;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            handle_ = fd;
            return Result::Taken;
        }
        ::close(fd);
    }
    return Result::Unusable;
}

// The file goes before the lock, so nobody can take a lock on it afterwards
// (see tryLock()).
InstanceLock::~InstanceLock()
{
    if (handle_ == -1)
        return;
    ::unlink(QFile::encodeName(path_).constData());
    ::close(int(handle_));
}

#endif

bool sessionBusAvailable()
{
#ifdef Q_OS_WIN
    return false;
#else
    // Without an address the bus library would try to launch a bus of its
    // own; the program must not start one, so it only uses a bus that is there.
    // Joining happens on the UI thread: only a local (unix:) bus is used,
    // never one that would mean a network connection.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address.startsWith("unix:");
    const QString runtime = runtimeFolder();
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
#endif
}

}  // namespace kelvaro::platform
