// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The line protocol between the web view and its helper program kelvaro-web,
// one message per line of UTF-8 on the helper's standard input and output.
//
// Started as: kelvaro-web --parent <native window id> --size <width>x<height>
// The helper makes its page window a child of the given window, at (0, 0) and
// of the given size, and shows it.
//
// To the helper:                     From the helper:
//   load <percent-encoded address>     loaded 1|0        a load finished
//   focus <time>                       audible 1|0       the page's sound
//   name <percent-encoded name>        renderer <pid>    0 while none
//   quit (or end of input)
//                                      focused <time>    the page took the keyboard
//
// <time> in "focused" is the window system's time of the click into the page
// (X server time, or the message time on Windows; 0 when unknown), so that the
// program can tell it from a click into its own window made after it. In
// "focus" it is the time of the key that moved the keyboard to the page (Tab),
// so that the helper's request loses to any click made after that key, however
// late the helper gets to it; 0 when the program moved the keyboard on its own
// (the request then counts as made now).
//
// "name" is what assistive technology calls the page window (the station's
// name); the page's own title stays with the page.

namespace kelvaro::helper {

inline constexpr char kLoad[] = "load";
inline constexpr char kFocus[] = "focus";
inline constexpr char kName[] = "name";
inline constexpr char kQuit[] = "quit";

inline constexpr char kLoaded[] = "loaded";
inline constexpr char kAudible[] = "audible";
inline constexpr char kRenderer[] = "renderer";
inline constexpr char kFocused[] = "focused";

inline constexpr char kProgramName[] = "kelvaro-web";

} // namespace kelvaro::helper
