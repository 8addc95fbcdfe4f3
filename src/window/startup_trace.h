// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kelvaro {

// With KELVARO_STARTUP_TRACE set in the environment, prints the time since
// the first mark and since the previous one, with what was just done, to the
// error output. Used to see where start-up time goes; silent otherwise.
void startupMark(const char *what);

} // namespace kelvaro
