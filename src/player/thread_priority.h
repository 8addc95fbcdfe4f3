// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kelvaro {

// Lowers the calling thread's scheduling priority a few steps below normal.
// On Linux the threads it starts afterwards inherit it (an engine made here
// runs all its threads lower), so work in the background, such as recording
// a station nobody hears, gives way to the audio that is heard when the
// computer is busy. Best effort: nothing happens where it is not allowed.
void lowerThisThreadsPriority();

}  // namespace kelvaro
