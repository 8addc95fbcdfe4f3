// The least a Qt Widgets program can do: show an empty 254 x 287 window.
// bench/startup-bench compares Kelvaro's start-up against it.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(254, 287);
    window.show();
    return app.exec();
}
