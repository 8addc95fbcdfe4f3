// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace kelvaro {

// What the program keeps about the listener.
struct ListenerSettings {
    int volume = 100;
    bool mute = false;
    QString lastStation;  // the address of the station last chosen
    bool playLastAtStart = false;
    bool splitBySong = false;  // recordings: a file for every song
    bool sleepTimeShown = false;  // the sleep timer's time left on the status line
    bool autostartOffered = false;  // starting at login was offered once already

    bool operator==(const ListenerSettings &) const = default;
};

// The settings file: <config folder>/kelvaro/settings.ini beside the user's
// own station list; on Windows, beside the program, as the list is there.
QString settingsFilePath(const QString &executableFolder);

// The file's text: one "key=value" line each, UTF-8. Reading takes what it
// knows and can use and leaves the rest at its default, so that a file
// written by hand, by a newer version or cut short never stops a start.
QByteArray writeSettings(const ListenerSettings &settings);
ListenerSettings readSettings(const QByteArray &text);

}  // namespace kelvaro
