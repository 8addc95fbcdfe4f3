// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

namespace kelvaro::testing {

// A desktop tool run to its end, and what it said.
struct ToolResult {
    int exitCode = -1;  // -1 when it crashed or did not end in time
    QString out;
    QString err;
};
ToolResult runTool(const QString &program, const QStringList &args, int timeoutMs = 20000);
// What a tool printed when it succeeded; empty otherwise.
QString run(const QString &program, const QStringList &args);
QString xdotool(const QStringList &args);

// The settings file the program keeps in the config folder of `env`.
QString settingsFile(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

// Copies the built program (and its in-process web engine plugin) into a new
// folder, with `list` as its 电台.ini unless it is null; returns the path of
// the copy's executable.
QString copyProgram(const QString &folder, const QByteArray *list);

// The built program started from a folder of its own, and its window as
// xdotool, xwininfo and xprop see it.
class DesktopProgram {
public:
    ~DesktopProgram() { stop(); }

    // True once the window is on the screen. The program starts without the
    // settings an earlier start kept (volume, mute, last station), as on a
    // new machine, unless `keptSettings`.
    bool start(const QString &executable, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
               bool keptSettings = false);
    void stop();  // SIGTERM, then SIGKILL after 5 s
    QProcess &process() { return process_; }
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }

    QString window() const { return window_; }
    QString caption() const;
    bool mapped() const;
    bool minimised() const;
    QSize clientSize() const;
    // The program's other visible window: its icon in the notification area,
    // no taller than the tray. Empty when there is none.
    QString trayIcon() const;
    bool inTray() const { return !trayIcon().isEmpty(); }
    QImage screenshot(const QString &saveAs = {}) const;

    void click(int x, int y) const;
    void keys(const QStringList &names) const;
    void minimiseToTray() const;
    // Opens the first category with a click and chooses its n-th station
    // (1-based) with the keyboard.
    void chooseStation(int n) const;

private:
    QProcess process_;
    QString window_;
};

}  // namespace kelvaro::testing
