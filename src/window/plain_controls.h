// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QWidget>

namespace kelvaro {

// A thin solid line between two points, in the palette's text colour.
class Line : public QWidget {
    Q_OBJECT
public:
    Line(QWidget *parent, QPoint from, QPoint to);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPoint from_;
    QPoint to_;
};

// A plain label that reports a mouse click. Its text can also be set to
// read downwards, one character per line, in a column too narrow for two.
class Label : public QLabel {
    Q_OBJECT
public:
    Label(const QString &caption, QWidget *parent);

    // Lays the caption out one character per line, spaced evenly when the
    // font's own line height would not fit the label.
    void setOneCharacterPerLine(bool on);

    // A label that opens something when clicked: it looks the same, but the
    // keyboard reaches it (Tab, then Enter or Space), it shows a focus frame
    // while it has focus, and assistive technology is told it is a link.
    void setLink(bool on);
    bool isLink() const { return link_; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool column_ = false;
    bool link_ = false;
};

}  // namespace kelvaro
