// SPDX-License-Identifier: GPL-3.0-or-later
#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace kelvaro {

namespace {

#ifdef Q_OS_WIN
const QString kRunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kRunName = QStringLiteral("Kelvaro");
#else
QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/kelvaro.desktop");
}
#endif

}  // namespace

QString autostartEntry(const QString &program)
{
    // An argument with anything the Exec key reserves is quoted, with the
    // characters that must be escaped inside quotes escaped.
    QString exec = program;
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (std::any_of(exec.cbegin(), exec.cend(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (QChar c : exec) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        exec = u'"' + quoted + u'"';
    }
    // The key's own escapes: a backslash is written twice, a percent sign
    // twice.
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Kelvaro\n"
                          "Comment=Kelvaro 在登录时启动并隐藏到托盘，以便定时任务按时执行\n"
                          "Exec=%1 --hidden\n"
                          "Icon=org.example.Kelvaro\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec);
}

bool autostartEnabled()
{
#ifdef Q_OS_WIN
    return QSettings(kRunKey, QSettings::NativeFormat).contains(kRunName);
#else
    return QFileInfo::exists(entryPath());
#endif
}

bool setAutostartEnabled(bool on, const QString &program)
{
#ifdef Q_OS_WIN
    QSettings run(kRunKey, QSettings::NativeFormat);
    if (on)
        run.setValue(kRunName, QStringLiteral("\"%1\" --hidden").arg(QDir::toNativeSeparators(program)));
    else
        run.remove(kRunName);
    run.sync();
    return run.status() == QSettings::NoError;
#else
    const QString path = entryPath();
    if (!on)
        return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(autostartEntry(program).toUtf8());
    return file.commit();
#endif
}

}  // namespace kelvaro
