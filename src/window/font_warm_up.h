// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

namespace kelvaro {

// Loads the system's font configuration on a worker thread while the UI
// thread connects to the display, so that the window's first text finds it
// ready: on Linux, fontconfig's set-up (its configuration files and font
// caches) takes about 10 ms, and the first widget with text waits for it.
// Elsewhere it does nothing. Made at the top of main(); the destructor waits
// for the thread.
class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp &) = delete;
    FontWarmUp &operator=(const FontWarmUp &) = delete;

private:
    std::thread thread_;
};

}  // namespace kelvaro
