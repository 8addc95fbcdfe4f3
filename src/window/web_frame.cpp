// SPDX-License-Identifier: GPL-3.0-or-later
#include "web_frame.h"

#include <QGroupBox>

namespace kelvaro {

WebFrame createWebFrame(QWidget *window)
{
    WebFrame f;
    f.frame = new QGroupBox(QStringLiteral("Frame1"), window);
    f.frame->setObjectName(QStringLiteral("Frame1"));
    f.frame->setGeometry(0, 208, 272, 77);
    f.view = new WebView(f.frame);
    f.view->setObjectName(QStringLiteral("WebBrowser1"));
    f.view->setGeometry(-944, -13, 1610, 1700);
    return f;
}

void WebFramePageArea::showFrame(bool visible)
{
    m_frame.frame->setVisible(visible);
}

void WebFramePageArea::Navigate(const QString &address)
{
    m_frame.view->Navigate(address);
}

} // namespace kelvaro
