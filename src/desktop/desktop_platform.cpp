// Session-scoped names and the session bus check, per platform.
#include "desktop_platform.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
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
