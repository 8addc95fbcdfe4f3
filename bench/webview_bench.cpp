// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the window's player area through station choices for the
// webview-bench script: a window laid out like the program's, with Frame1 and
// the web view (or, in mode "none", without them), commanded by lines on
// standard input ("page", "stream", "quit") and reporting on standard output.
//
//   webview_bench --mode none|lazy|eager --url <page address> [--discard-ms N]

#include "station_choice.h"
#include "web_frame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QImage>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

using namespace kelvaro;

namespace {

const QColor kBlock(0x20, 0xa0, 0x40);

struct Player : PlayerArea {
    QWidget *area = nullptr;
    void showPlayer(bool visible) override { area->setVisible(visible); }
    void stop() override {}
    void setURL(const QString &) override {}
};
struct Title : Caption {
    QWidget *w = nullptr;
    void setCaption(const QString &t) override { w->setWindowTitle(t); }
};

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

bool areaShowsBlock(QWidget &window)
{
    const QImage img = window.screen()->grabWindow(window.winId(), 0, 208, 254, 77).toImage();
    if (img.width() != 254 || img.height() != 77)
        return false;
    for (int y = 0; y < img.height(); y += 4)
        for (int x = 0; x < img.width(); x += 4) {
            const QRgb p = img.pixel(x, y);
            if (qAbs(qRed(p) - kBlock.red()) > 2 || qAbs(qGreen(p) - kBlock.green()) > 2
                || qAbs(qBlue(p) - kBlock.blue()) > 2)
                return false;
        }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QString mode = QStringLiteral("lazy");
    QString url;
    int discardMs = 30000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString k = QString::fromLocal8Bit(argv[i]);
        const QString v = QString::fromLocal8Bit(argv[i + 1]);
        if (k == QLatin1String("--mode"))
            mode = v;
        else if (k == QLatin1String("--url"))
            url = v;
        else if (k == QLatin1String("--discard-ms"))
            discardMs = v.toInt();
    }
    const bool withView = mode != QLatin1String("none");
    if (withView)
        prepareWebViewBeforeApplication();
    QApplication app(argc, argv);

    QWidget window;
    window.setFixedSize(254, 287);
    window.move(0, 0);
    Player player;
    player.area = new QWidget(&window);
    player.area->setGeometry(0, 208, 256, 77);
    Title title;
    title.w = &window;
    WebFrame frame;
    std::unique_ptr<WebFramePageArea> page;
    if (withView) {
        frame = createWebFrame(&window);
        frame.view->setDiscardDelay(std::chrono::milliseconds(discardMs));
        frame.frame->hide();
        page = std::make_unique<WebFramePageArea>(frame);
        if (mode == QLatin1String("eager")) {
            if (!frame.view->preloadEngine())
                return 2;
            frame.view->Navigate(QStringLiteral("about:blank"));
        }
    }
    window.show();

    QElapsedTimer clock;
    QTimer poll;
    poll.setInterval(5);
    QString waitingFor;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (waitingFor == QLatin1String("paint") && areaShowsBlock(window)) {
            poll.stop();
            say(QStringLiteral("painted %1").arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1));
        } else if (waitingFor == QLatin1String("discard") && frame.view->isDiscarded()) {
            poll.stop();
            say(QStringLiteral("discarded"));
        }
    });

    auto command = [&](const std::string &line) {
        if (line == "quit" || !withView) {
            if (line == "quit")
                app.quit();
            return;
        }
        if (line == "page") {
            waitingFor = QStringLiteral("paint");
            clock.start();
            chooseStation(url, QStringLiteral("网页"), player, *page, title);
            // How long the click kept the event loop from running.
            say(QStringLiteral("blocked %1").arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1));
            poll.start();
        } else if (line == "stream") {
            waitingFor = QStringLiteral("discard");
            chooseStation(QStringLiteral("http://127.0.0.1:1/stream"), QStringLiteral("流"), player,
                          *page, title);
            poll.start();
        }
    };

    // Standard input is read on its own thread so the event loop never waits.
    std::thread reader([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
            QMetaObject::invokeMethod(&app, [&command, line] { command(line); },
                                      Qt::QueuedConnection);
            if (line == "quit")
                return;
        }
        QMetaObject::invokeMethod(&app, [&app] { app.quit(); }, Qt::QueuedConnection);
    });
    reader.detach();

    QTimer::singleShot(0, [&] { say(QStringLiteral("ready %1").arg(QCoreApplication::applicationPid())); });
    return app.exec();
}
