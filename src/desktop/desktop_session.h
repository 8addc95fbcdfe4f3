// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kelvaro {

class DesktopWindow;

// Publishes the window on the desktop's session bus (media keys, sound menu,
// playerctl). Called once the window has been painted for the first time, so
// that talking to the bus never delays the first picture. Without a session
// bus, or in a build without D-Bus, nothing happens.
void joinDesktop(DesktopWindow &window);

class AlarmRinger;
// Tells of a ringing alarm with a desktop notification offering 停止 and
// 稍后提醒. Without a session bus, nothing happens.
void announceAlarms(AlarmRinger &ringer);

}  // namespace kelvaro
