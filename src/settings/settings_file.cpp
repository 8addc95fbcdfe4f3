// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_file.h"

#include <QList>

namespace kelvaro {

namespace {

constexpr char kVolume[] = "volume";
constexpr char kMute[] = "mute";
constexpr char kLastStation[] = "last-station";
constexpr char kPlayLast[] = "play-last-at-start";
constexpr char kSplitBySong[] = "record-split-by-song";
constexpr char kSleepTimeShown[] = "sleep-time-in-status";
constexpr char kAutostartOffered[] = "autostart-offered";

QByteArray yesNo(bool on)
{
    return on ? QByteArrayLiteral("yes") : QByteArrayLiteral("no");
}

}  // namespace

QByteArray writeSettings(const ListenerSettings &settings)
{
    QByteArray text = QByteArrayLiteral("# Kelvaro: what the listener set, kept across starts.\n");
    text += kVolume + QByteArrayLiteral("=") + QByteArray::number(settings.volume) + '\n';
    text += kMute + QByteArrayLiteral("=") + yesNo(settings.mute) + '\n';
    // An address is one line by the list's own rules; anything else is not kept.
    if (!settings.lastStation.contains(QLatin1Char('\n')) && !settings.lastStation.contains(QLatin1Char('\r')))
        text += kLastStation + QByteArrayLiteral("=") + settings.lastStation.toUtf8() + '\n';
    text += kPlayLast + QByteArrayLiteral("=") + yesNo(settings.playLastAtStart) + '\n';
    text += kSplitBySong + QByteArrayLiteral("=") + yesNo(settings.splitBySong) + '\n';
    text += kSleepTimeShown + QByteArrayLiteral("=") + yesNo(settings.sleepTimeShown) + '\n';
    text += kAutostartOffered + QByteArrayLiteral("=") + yesNo(settings.autostartOffered) + '\n';
    return text;
}

ListenerSettings readSettings(const QByteArray &text)
{
    ListenerSettings settings;
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('#') || equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        bool ok = false;
        if (key == kVolume) {
            if (const int volume = value.toInt(&ok); ok && volume >= 0 && volume <= 100)
                settings.volume = volume;
        } else if (key == kMute && (value == "yes" || value == "no")) {
            settings.mute = value == "yes";
        } else if (key == kLastStation) {
            settings.lastStation = QString::fromUtf8(value);
        } else if (key == kPlayLast && (value == "yes" || value == "no")) {
            settings.playLastAtStart = value == "yes";
        } else if (key == kSplitBySong && (value == "yes" || value == "no")) {
            settings.splitBySong = value == "yes";
        } else if (key == kSleepTimeShown && (value == "yes" || value == "no")) {
            settings.sleepTimeShown = value == "yes";
        } else if (key == kAutostartOffered && (value == "yes" || value == "no")) {
            settings.autostartOffered = value == "yes";
        }
    }
    return settings;
}

}  // namespace kelvaro
