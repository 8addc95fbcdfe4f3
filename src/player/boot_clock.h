// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kelvaro {

// Time since the computer started, counting the time it was asleep
// (suspended). Qt's timers and QElapsedTimer use a clock that stands still
// while the computer sleeps, so only this one shows how long the program
// did not run across a suspend.
std::chrono::milliseconds bootClock();

}  // namespace kelvaro
