// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt Widgets program can do: show an empty 254 x 287 window.
// bench/startup-bench compares Kelvaro's start-up against it. With
// --chinese the window also shows one line of Chinese text, which is what
// loading a CJK font costs any program with a Chinese interface.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(254, 287);
    if (argc > 1 && std::strcmp(argv[1], "--chinese") == 0)
        (new QLabel(QStringLiteral("展开列表后单击频道收听"), &window))->move(8, 8);
    window.show();
    return app.exec();
}
