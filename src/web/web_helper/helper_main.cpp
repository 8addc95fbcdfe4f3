// SPDX-License-Identifier: GPL-3.0-or-later
// kelvaro-web: shows one web-page station's page for the program's web view,
// in a window that it makes a child of the window id it is given (the web
// view's own native window), and takes its orders on standard input. It ends
// on "quit" or when its input closes (the program ended), and with it the
// whole web engine and its processes.

#include "engine_view.h"
#include "keyboard_focus.h"
#include "page_accessibility.h"
#include "web_helper/helper_protocol.h"

#include <QApplication>
#include <QEvent>
#include <QInputEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

using namespace kelvaro;

namespace {

void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The page window. A click into the page gives it the keyboard and tells the
// program so, with the click's time: no window manager does that for a
// window inside another program's window, and the program's own focus must
// follow unless the user has clicked into the program's window since.
class PageWindow : public QWidget
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress && windowHandle()) {
            // One press is offered to every widget (and window) on its way:
            // act once.
            const quint64 time = static_cast<QInputEvent *>(event)->timestamp();
            if (time != 0 && time == m_lastPress)
                return false;
            m_lastPress = time;
            takeKeyboardFocus(windowHandle(), time);
            say(QByteArray(helper::kFocused) + ' ' + QByteArray::number(time));
        }
        return false;
    }

private:
    quint64 m_lastPress = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("KELVARO_DEBUG"))
        qInstallMessageHandler(quietMessages);
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QApplication app(argc, argv);

    WId parentId = 0;
    QSize size(1, 1);
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--parent")) {
            parentId = WId(args[i + 1].toULongLong());
        } else if (args[i] == QLatin1String("--size")) {
            const QStringList wh = args[i + 1].split(QLatin1Char('x'));
            if (wh.size() == 2)
                size = QSize(wh[0].toInt(), wh[1].toInt()).expandedTo(QSize(1, 1));
        }
    }
    if (parentId == 0)
        return 2;
    QWindow *parentWindow = QWindow::fromWinId(parentId);
    if (!parentWindow)
        return 2;

    PageWindow page;
    page.setAttribute(Qt::WA_NativeWindow);
    page.setWindowFlags(Qt::FramelessWindowHint);
    page.winId();
    page.windowHandle()->setParent(parentWindow);
    page.setGeometry(0, 0, size.width(), size.height());
    exposePageWindow(&page);

    WebEngineSurface *surface = createEngineSurface(&page, [](bool ok) {
        say(QByteArray(helper::kLoaded) + (ok ? " 1" : " 0"));
    });
    if (!surface)
        return 3;
    QWidget *view = surface->widget();
    view->setGeometry(0, 0, size.width(), size.height());
    // The engine makes the widget that takes the mouse when the page
    // arrives: watch every press in the helper.
    app.installEventFilter(&page);
    page.setFocusProxy(view);
    page.show();

    // The page's sound and renderer, reported when they change.
    bool audible = false;
    qint64 renderer = -1;
    QTimer watch;
    watch.setInterval(150);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (surface->isAudible() != audible) {
            audible = !audible;
            say(QByteArray(helper::kAudible) + (audible ? " 1" : " 0"));
        }
        if (surface->rendererPid() != renderer) {
            renderer = surface->rendererPid();
            say(QByteArray(helper::kRenderer) + ' ' + QByteArray::number(renderer));
        }
    });
    watch.start();

    auto command = [&](const std::string &line) {
        const QByteArray text = QByteArray::fromStdString(line).trimmed();
        const qsizetype space = text.indexOf(' ');
        const QByteArray word = space < 0 ? text : text.left(space);
        if (word == helper::kLoad && space > 0) {
            surface->load(QUrl::fromEncoded(text.mid(space + 1)));
        } else if (word == helper::kName) {
            const QString name =
                space < 0 ? QString() : QUrl::fromPercentEncoding(text.mid(space + 1));
            page.setAccessibleName(name);
            page.setWindowTitle(name);
        } else if (word == helper::kFocus) {
            takeKeyboardFocus(page.windowHandle(),
                              space < 0 ? 0 : text.mid(space + 1).toULongLong());
            view->setFocus(Qt::TabFocusReason);
        } else if (word == helper::kQuit) {
            // Not quit(): that first tries to close the windows, and the
            // program's window that holds ours is not ours to close.
            QCoreApplication::exit(0);
        }
    };

    // Standard input is read on its own thread (portable, and the event loop
    // never waits for it); every line is handled on the main thread. The
    // thread may still wait for input when the helper ends: the gate, shut
    // before the application object goes, keeps it from posting to it.
    struct Gate {
        std::mutex mutex;
        bool open = true;
    };
    const auto gate = std::make_shared<Gate>();
    std::thread reader([gate, &app, &command] {
        const auto post = [&](auto work) {
            const std::lock_guard lock(gate->mutex);
            if (gate->open)
                QMetaObject::invokeMethod(&app, std::move(work), Qt::QueuedConnection);
        };
        std::string line;
        while (std::getline(std::cin, line))
            post([&command, line] { command(line); });
        post([] { QCoreApplication::exit(0); });
    });
    reader.detach();

    const int code = app.exec();
    {
        const std::lock_guard lock(gate->mutex);
        gate->open = false;
    }
    // The page and its profile go before the application object.
    delete surface;
    return code;
}
