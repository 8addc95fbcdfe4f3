// SPDX-License-Identifier: GPL-3.0-or-later
#include "plain_controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace kelvaro {

Line::Line(QWidget *parent, QPoint from, QPoint to) : QWidget(parent), from_(from), to_(to)
{
    setGeometry(QRect(from, to).normalized());  // both end points included
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Line::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.drawLine(from_ - pos(), to_ - pos());
}

Label::Label(const QString &caption, QWidget *parent) : QLabel(caption, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Label::setOneCharacterPerLine(bool on)
{
    column_ = on;
    update();
}

void Label::setLink(bool on)
{
    link_ = on;
    setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus);
}

void Label::keyPressEvent(QKeyEvent *event)
{
    const bool press = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
                       || event->key() == Qt::Key_Space;
    if (link_ && press && !event->isAutoRepeat()) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void Label::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void Label::paintEvent(QPaintEvent *event)
{
    if (!column_) {
        QLabel::paintEvent(event);
        if (link_ && hasFocus()) {
            // Around the text only, inside the label's own rectangle.
            QPainter painter(this);
            QStyleOptionFocusRect frame;
            frame.initFrom(this);
            frame.rect = QRect(0, 0, std::min(width(), fontMetrics().horizontalAdvance(text()) + 2), height());
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
        }
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    const QString caption = text();
    const qsizetype count = caption.size();
    if (count == 0)
        return;
    // The font's line spacing, squeezed just enough for the whole caption to
    // fit the label's height, but never below the characters' own height.
    const int pitch = std::max<int>(metrics.ascent(), std::min<int>(metrics.lineSpacing(),
                                                                    height() / static_cast<int>(count)));
    int y = 0;
    for (const QChar ch : caption) {
        painter.drawText(QRect(0, y, width(), pitch), Qt::AlignHCenter | Qt::AlignVCenter, QString(ch));
        y += pitch;
    }
}

}  // namespace kelvaro
