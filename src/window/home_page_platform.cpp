// SPDX-License-Identifier: GPL-3.0-or-later
// Platform-specific way of opening the home page: on Windows the shell's
// "explorer <address>" started with a hidden window, elsewhere the desktop's
// own URL opener.
#include "home_page.h"

#ifdef Q_OS_WIN
#include <QProcess>
#include <qt_windows.h>
#else
#include <QDesktopServices>
#include <QUrl>
#endif

namespace kelvaro {

void openInBrowser(const QString &address)
{
#ifdef Q_OS_WIN
    QProcess process;
    process.setProgram(QStringLiteral("explorer"));
    process.setNativeArguments(address);
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_HIDE;
    });
    process.startDetached();
#else
    QDesktopServices::openUrl(QUrl(address));
#endif
}

}  // namespace kelvaro
