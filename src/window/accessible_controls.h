// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kelvaro {

// Teaches Qt's accessibility what the window's own kinds of control are, so
// that screen readers are told the truth: the window is a frame named by its
// caption, a label that opens the home page is a link (which they can press),
// the two lines are separators and the player's area is a named group.
// Only registers a factory: nothing is made until assistive technology asks,
// so it costs start-up nothing. Safe to call more than once.
void installAccessibleControls();

}  // namespace kelvaro
