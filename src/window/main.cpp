// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm_ringer.h"
#include "autostart.h"
#include "desktop_session.h"
#include "font_warm_up.h"
#include "form1.h"
#include "history_store.h"
#include "listening_memory.h"
#include "settings_file.h"
#include "program_icons.h"
#include "single_instance.h"
#include "sleep_controls.h"
#include "startup_trace.h"
#include "station_list_preload.h"
#include "timer_command.h"
#include "timers.h"
#include "web_view.h"
#include "window_for_desktop.h"
#include "window_system.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
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

// What this start asks for: the first "--word" on the command line is the
// verb, and whatever follows it its arguments; without one, to show the
// window. Anything before it (what Qt leaves of its own options) is ignored.
kelvaro::InstanceRequest requestFromCommandLine(const QStringList &arguments, const QByteArray &activationToken)
{
    kelvaro::InstanceRequest request{QStringLiteral("show"), {}, activationToken};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].startsWith(QLatin1String("--")) && arguments[i].size() > 2) {
            request.verb = arguments[i].mid(2);
            request.arguments = arguments.mid(i + 1);
            break;
        }
    }
    return request;
}

void say(std::FILE *stream, const QString &text)
{
    if (!text.isEmpty())
        std::fputs((text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')).toLocal8Bit().constData(),
                   stream);
}

// Tells what the running copy made of the request; the exit status: 0 when
// it was done, 2 when it was refused or not understood.
int reportAnswer(const kelvaro::InstanceRequest &request, const kelvaro::InstanceAnswer &answer)
{
    using Status = kelvaro::InstanceAnswer::Status;
    switch (answer.status) {
    case Status::Done:
        say(stdout, answer.text);
        return 0;
    case Status::Refused:
        say(stderr, QStringLiteral("kelvaro: ") + answer.text);
        return 2;
    case Status::Unknown:
        say(stderr, QStringLiteral("kelvaro: 正在运行的 Kelvaro 不认识 --%1").arg(request.verb));
        return 2;
    case Status::NoAnswer:
        break;
    }
    say(stderr, QStringLiteral("kelvaro: 正在运行的 Kelvaro 没有回答 --%1（它可能是较早的版本）").arg(request.verb));
    return 2;
}

// Requests about the timers, which start the program hidden in the
// notification area when it does not run.
bool isTimerVerb(const QString &verb)
{
    return verb == QLatin1String("sleep") || verb == QLatin1String("alarm") || verb == QLatin1String("record-at") ||
           verb == QLatin1String("timers");
}

// What is wrong with a timer request before any station list is read
// (the running copy checks the station); empty when nothing is.
QString timerRequestProblem(const kelvaro::InstanceRequest &request)
{
    const QDateTime now = QDateTime::currentDateTime();
    const kelvaro::StationFinder anyStation = [](const QString &name) {
        return std::optional<std::pair<QString, QString>>({name, name});
    };
    if (request.verb == QLatin1String("sleep"))
        return kelvaro::parseSleep(request.arguments).error;
    if (request.verb == QLatin1String("alarm"))
        return kelvaro::parseAlarm(request.arguments, now, anyStation).error;
    if (request.verb == QLatin1String("record-at"))
        return kelvaro::parseRecordAt(request.arguments, now, anyStation).error;
    return {};
}

// No copy runs: one is started, hidden in the notification area, and the
// request goes to it once it answers.
int startHiddenAndHandOver(kelvaro::SingleInstance &instance, const kelvaro::InstanceRequest &request)
{
    if (const QString problem = timerRequestProblem(request); !problem.isEmpty()) {
        say(stderr, QStringLiteral("kelvaro: ") + problem);
        return 2;
    }
    instance.release();
    // The started copy keeps none of this start's standard streams: whoever
    // reads them (a pipe, a script) sees them end when this start ends.
    QProcess copy;
    copy.setProgram(QCoreApplication::applicationFilePath());
    copy.setArguments({QStringLiteral("--hidden")});
    copy.setStandardInputFile(QProcess::nullDevice());
    copy.setStandardOutputFile(QProcess::nullDevice());
    copy.setStandardErrorFile(QProcess::nullDevice());
    if (!copy.startDetached()) {
        say(stderr, QStringLiteral("kelvaro: 无法启动 Kelvaro"));
        return 2;
    }
    constexpr int kStartMs = 30000;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kStartMs) {
        kelvaro::SingleInstance started;
        if (kelvaro::InstanceAnswer answer; started.handOverToRunningInstance(request, answer))
            return reportAnswer(request, answer);
        started.release();
        QThread::msleep(100);
    }
    say(stderr, QStringLiteral("kelvaro: Kelvaro 没有及时启动"));
    return 2;
}

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

    // A second start hands its request over to the running instance and ends.
    const kelvaro::InstanceRequest request = requestFromCommandLine(QCoreApplication::arguments(), activationToken);
    kelvaro::SingleInstance instance;
    if (kelvaro::InstanceAnswer answer; instance.handOverToRunningInstance(request, answer))
        return reportAnswer(request, answer);
    // This start is the instance.
    if (request.verb == QLatin1String("quit"))
        return 0;  // nothing runs that could be ended
    if (isTimerVerb(request.verb))
        return startHiddenAndHandOver(instance, request);
    const bool hidden = request.verb == QLatin1String("hidden");
    if (request.verb != QLatin1String("show") && !hidden) {
        say(stderr, QStringLiteral("kelvaro: 不认识的选项 --%1").arg(request.verb));
        return 2;
    }

    // The list and the listener's settings are read on workers while the
    // window is made.
    kelvaro::StationListPreload stationList(QCoreApplication::applicationDirPath());
    kelvaro::ListeningMemory memory(kelvaro::settingsFilePath(QCoreApplication::applicationDirPath()));
    kelvaro::Form1 form(nullptr, &stationList);
    memory.restore(form.listening());
    kelvaro::startupMark("window made and loaded");
    // The program-wide icon (for any window without its own) costs a round
    // of window updates, the session bus a few round trips, and answering
    // later starts a socket; none is needed for the first frame, so they wait
    // until it is on the screen.
    // The timers end before the window, whose listening layer they use.
    std::unique_ptr<kelvaro::Timers> timers;
    AfterFirstPaint afterFirstPaint([&form, &instance, &memory, &timers] {
        // Later starts are answered once the timers are read, so that a
        // timer request finds them; the file is small and opens at once.
        timers = std::make_unique<kelvaro::Timers>(
            form.listening(), kelvaro::historyFilePath(QCoreApplication::applicationDirPath()),
            kelvaro::Listening::onLibmpv(), kelvaro::AlarmRinger::soundBeside(QCoreApplication::applicationDirPath()));
        QObject::connect(timers.get(), &kelvaro::Timers::loaded, &instance, &kelvaro::SingleInstance::listen);
        QTimer::singleShot(3000, &instance, &kelvaro::SingleInstance::listen);  // should the file never answer
        kelvaro::startupMark("timers");
        QApplication::setWindowIcon(kelvaro::programIcon());
        kelvaro::startupMark("application icon");
        kelvaro::joinDesktop(*new kelvaro::WindowForDesktop(form));
        kelvaro::startupMark("desktop bus");
        form.showTrayIconWhereMinimisingIsUnseen();
        kelvaro::startupMark("tray icon");
        form.enableEditing();
        kelvaro::startupMark("station editing");
        auto *playLast = new QAction(QStringLiteral("启动时播放上次的电台"), &form);
        playLast->setCheckable(true);
        playLast->setChecked(memory.playLastAtStart());
        QObject::connect(playLast, &QAction::toggled, &memory, &kelvaro::ListeningMemory::setPlayLastAtStart);
        form.addOption(playLast);
        memory.playLastIfWanted();
        kelvaro::startupMark("last station");
        form.enableHistory(kelvaro::historyFilePath(QCoreApplication::applicationDirPath()));
        kelvaro::startupMark("history");
        form.enableTimers(*timers, [](std::optional<bool> set) {
            if (set)
                kelvaro::setAutostartEnabled(*set, QCoreApplication::applicationFilePath());
            return kelvaro::autostartEnabled();
        });
        QAction *inStatus = form.sleepControls()->showInStatusAction();
        inStatus->setChecked(memory.sleepTimeShown());
        QObject::connect(inStatus, &QAction::toggled, &memory, &kelvaro::ListeningMemory::setSleepTimeShown);
        form.setOfferAutostart(!memory.autostartOffered());
        QObject::connect(&form, &kelvaro::Form1::autostartOffered, &memory,
                         [&memory] { memory.setAutostartOffered(true); });
        kelvaro::announceAlarms(timers->alarm());
        kelvaro::startupMark("timers shown");
    });
    form.installEventFilter(&afterFirstPaint);
    using kelvaro::InstanceAnswer;
    using kelvaro::InstanceRequest;
    instance.handle(QStringLiteral("show"), [&form](const InstanceRequest &asked) {
        form.restore(asked.activationToken);
        return InstanceAnswer{InstanceAnswer::Status::Done, {}};
    });
    instance.handle(QStringLiteral("hidden"), [](const InstanceRequest &) {
        return InstanceAnswer{InstanceAnswer::Status::Done, {}};
    });
    for (const QString &verb : {QStringLiteral("sleep"), QStringLiteral("alarm"), QStringLiteral("record-at"),
                               QStringLiteral("timers")}) {
        instance.handle(verb, [&timers](const InstanceRequest &asked) {
            const std::optional<kelvaro::Timers::Answer> answer = timers->handle(asked.verb, asked.arguments);
            if (!answer)
                return InstanceAnswer{InstanceAnswer::Status::Unknown, {}};
            return InstanceAnswer{answer->done ? InstanceAnswer::Status::Done : InstanceAnswer::Status::Refused,
                                  answer->text};
        });
    }
    // Ended once the answer is on its way.
    instance.handle(QStringLiteral("quit"), [&form](const InstanceRequest &) {
        QTimer::singleShot(0, &form, &kelvaro::Form1::quit);
        return InstanceAnswer{InstanceAnswer::Status::Done, {}};
    });
    if (hidden)
        form.startHiddenInTray();
    else
        form.show();
    kelvaro::startupMark("shown");
    return app.exec();
}
