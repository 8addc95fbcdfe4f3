// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop_program.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace kelvaro::testing {

ToolResult runTool(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess process;
    process.start(program, args);
    ToolResult r;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return r;
    }
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    r.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return r;
}

QString run(const QString &program, const QStringList &args)
{
    const ToolResult r = runTool(program, args);
    return r.exitCode == 0 ? r.out : QString();
}

QString xdotool(const QStringList &args)
{
    return run(QStringLiteral("xdotool"), args);
}

QString copyProgram(const QString &folder, const QByteArray *list)
{
    QDir().mkpath(folder);
    const QString binary = QStringLiteral(KELVARO_BINARY_DIR);
    QFile::copy(binary + QStringLiteral("/kelvaro"), folder + QStringLiteral("/kelvaro"));
    QFile::copy(binary + QStringLiteral("/kelvaro_webengine.so"), folder + QStringLiteral("/kelvaro_webengine.so"));
    QFile::copy(binary + QStringLiteral("/alarm.opus"), folder + QStringLiteral("/alarm.opus"));
    if (list) {
        QFile file(folder + QStringLiteral("/电台.ini"));
        if (file.open(QIODevice::WriteOnly))
            file.write(*list);
    }
    return folder + QStringLiteral("/kelvaro");
}

QString settingsFile(const QProcessEnvironment &env)
{
    const QString config = env.value(QStringLiteral("XDG_CONFIG_HOME"),
                                     env.value(QStringLiteral("HOME")) + QStringLiteral("/.config"));
    return config + QStringLiteral("/kelvaro/settings.ini");
}

bool DesktopProgram::start(const QString &executable, const QProcessEnvironment &env, bool keptSettings)
{
    if (!keptSettings)
        QFile::remove(settingsFile(env));
    process_.setProcessEnvironment(env);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(executable, {});
    if (!process_.waitForStarted(30000))
        return false;
    const QString pid = QString::number(process_.processId());
    // Bounded by the clock: each look runs xdotool, slow on a loaded machine.
    const QDeadlineTimer deadline(30000);
    while (window_.isEmpty() && running() && !deadline.hasExpired()) {
        window_ = xdotool({"search", "--onlyvisible", "--pid", pid, "--name", "Kelvaro"})
                      .section(QLatin1Char('\n'), 0, 0);
        if (window_.isEmpty())
            QTest::qWait(100);
    }
    return !window_.isEmpty();
}

void DesktopProgram::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString DesktopProgram::caption() const
{
    return xdotool({"getwindowname", window_});
}

bool DesktopProgram::mapped() const
{
    return run(QStringLiteral("xwininfo"), {"-id", window_}).contains(QStringLiteral("IsViewable"));
}

bool DesktopProgram::minimised() const
{
    return run(QStringLiteral("xprop"), {"-id", window_, "_NET_WM_STATE"})
        .contains(QStringLiteral("_NET_WM_STATE_HIDDEN"));
}

QSize DesktopProgram::clientSize() const
{
    const QString info = run(QStringLiteral("xwininfo"), {"-id", window_});
    static const QRegularExpression w(QStringLiteral("Width: (\\d+)")), h(QStringLiteral("Height: (\\d+)"));
    return {w.match(info).captured(1).toInt(), h.match(info).captured(1).toInt()};
}

QString DesktopProgram::trayIcon() const
{
    const QStringList windows =
        xdotool({"search", "--onlyvisible", "--pid", QString::number(pid()), "--name", "Kelvaro"})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression height(QStringLiteral("Height: (\\d+)"));
    for (const QString &w : windows) {
        if (w == window_)
            continue;
        const QString info = run(QStringLiteral("xwininfo"), {"-id", w});
        if (info.contains(QStringLiteral("IsViewable")) && height.match(info).captured(1).toInt() <= 32)
            return w;
    }
    return {};
}

QImage DesktopProgram::screenshot(const QString &saveAs) const
{
    QTemporaryDir dir;
    const QString path = saveAs.isEmpty() ? dir.filePath(QStringLiteral("shot.png")) : saveAs;
    run(QStringLiteral("import"), {"-window", window_, path});
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

void DesktopProgram::click(int x, int y) const
{
    xdotool({"mousemove", "--window", window_, QString::number(x), QString::number(y)});
    xdotool({"click", "1"});
}

void DesktopProgram::keys(const QStringList &names) const
{
    xdotool(QStringList{"key", "--window", window_} + names);
}

void DesktopProgram::minimiseToTray() const
{
    xdotool({"windowminimize", window_});
}

void DesktopProgram::chooseStation(int n) const
{
    xdotool({"windowactivate", "--sync", window_});
    click(40, 42);
    QStringList down;
    for (int i = 0; i < n; ++i)
        down << QStringLiteral("Down");
    keys(down << QStringLiteral("Return"));
}

}  // namespace kelvaro::testing
