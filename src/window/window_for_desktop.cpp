// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_for_desktop.h"

#include "form1.h"

namespace kelvaro {

WindowForDesktop::WindowForDesktop(Form1 &form) : DesktopWindow(&form), form_(form) {}

Listening &WindowForDesktop::listening()
{
    return form_.listening();
}

bool WindowForDesktop::hiddenInTray() const
{
    return form_.hiddenInTray();
}

void WindowForDesktop::raise()
{
    form_.restore();
}

void WindowForDesktop::quit()
{
    form_.quit();
}

}  // namespace kelvaro
