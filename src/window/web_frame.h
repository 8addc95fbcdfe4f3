// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_choice.h"
#include "web_view.h"

class QGroupBox;

namespace kelvaro {

// The window's Frame1 with WebBrowser1 inside, both children of the window:
// Frame1 at (0, 208), 272 x 77, captioned "Frame1"; WebBrowser1 at (-944, -13),
// 1610 x 1700 inside it, so the frame shows the page from 944 across and 13
// down and the view hides the frame's border and caption.
struct WebFrame {
    QGroupBox *frame = nullptr;
    WebView *view = nullptr;
};
WebFrame createWebFrame(QWidget *window);

// The page side of a station choice, on a Frame1 / WebBrowser1 pair.
class WebFramePageArea : public PageArea
{
public:
    explicit WebFramePageArea(WebFrame frame) : m_frame(frame) {}
    void showFrame(bool visible) override;
    void Navigate(const QString &address) override;

private:
    WebFrame m_frame;
};

} // namespace kelvaro
