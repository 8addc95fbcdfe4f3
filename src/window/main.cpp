// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop_session.h"
#include "font_warm_up.h"
#include "form1.h"
#include "program_icons.h"
#include "single_instance.h"
#include "startup_trace.h"
#include "station_list_preload.h"
#include "web_view.h"
#include "window_for_desktop.h"
#include "window_system.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <functional>
#include <utility>

namespace {

// In normal use the program prints nothing; Qt's own diagnostics are shown
// only when KELVARO_DEBUG is set in the environment.
void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Runs start-up work that the first frame does not need once the window has
// painted it (queued, so the paint reaches the screen first), or after a
// second at the latest: a window mapped on a desktop nobody looks at may not
// be painted for a long time.
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(std::function<void()> work) : work_(std::move(work))
    {
        QTimer::singleShot(1000, this, [this] { run(); });
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && work_) {
            watched->removeEventFilter(this);
            kelvaro::startupMark("first paint");
            QTimer::singleShot(0, this, [this] { run(); });
        }
        return false;
    }

private:
    void run()
    {
        if (work_)
            std::exchange(work_, nullptr)();
    }

    std::function<void()> work_;
};

}  // namespace

int main(int argc, char *argv[])
{
    kelvaro::startupMark("main");
    const kelvaro::FontWarmUp fontWarmUp;
    if (qEnvironmentVariableIsEmpty("KELVARO_DEBUG"))
        qInstallMessageHandler(quietMessages);
    kelvaro::prepareWebViewBeforeApplication();
    kelvaro::chooseWindowSystem();
    const QByteArray activationToken = kelvaro::takeLaunchActivationToken();

    QApplication app(argc, argv);
    kelvaro::startupMark("application");
    QApplication::setApplicationName(QStringLiteral("Kelvaro"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARO_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Kelvaro"));

    // A second start hands over to the running instance and ends.
    kelvaro::SingleInstance instance;
    if (instance.handOverToRunningInstance(activationToken))
        return 0;

    // The list is read on a worker while the window is made.
    kelvaro::StationListPreload stationList(QCoreApplication::applicationDirPath());
    kelvaro::Form1 form(nullptr, &stationList);
    kelvaro::startupMark("window made and loaded");
    // The program-wide icon (for any window without its own) costs a round
    // of window updates, the session bus a few round trips, and answering
    // later starts a socket; none is needed for the first frame, so they wait
    // until it is on the screen.
    AfterFirstPaint afterFirstPaint([&form, &instance] {
        instance.listen();
        kelvaro::startupMark("instance socket");
        QApplication::setWindowIcon(kelvaro::programIcon());
        kelvaro::startupMark("application icon");
        kelvaro::joinDesktop(*new kelvaro::WindowForDesktop(form));
        kelvaro::startupMark("desktop bus");
        form.showTrayIconWhereMinimisingIsUnseen();
        kelvaro::startupMark("tray icon");
        form.enableEditing();
        kelvaro::startupMark("station editing");
    });
    form.installEventFilter(&afterFirstPaint);
    QObject::connect(&instance, &kelvaro::SingleInstance::showRequested, &form, &kelvaro::Form1::restore);
    form.show();
    kelvaro::startupMark("shown");
    return app.exec();
}
