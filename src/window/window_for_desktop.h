// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop_window.h"

namespace kelvaro {

class Form1;

// The window as the desktop side (media controls, notifications, sleep)
// sees it.
class WindowForDesktop : public DesktopWindow {
    Q_OBJECT
public:
    explicit WindowForDesktop(Form1 &form);

    Listening &listening() override;
    bool hiddenInTray() const override;
    void raise() override;
    void quit() override;

private:
    Form1 &form_;
};

}  // namespace kelvaro
