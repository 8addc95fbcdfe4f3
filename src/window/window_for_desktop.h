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

    MediaPlayer &player() override;
    bool hiddenInTray() const override;
    QString stationKey() const override;
    QString stationName() const override;
    int stationNumber() const override;
    QString stationBeside(int step) const override;
    void chooseStation(const QString &key) override;
    void raise() override;
    void close() override;

private:
    Form1 &form_;
};

}  // namespace kelvaro
