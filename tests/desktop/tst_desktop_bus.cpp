// SPDX-License-Identifier: GPL-3.0-or-later
// The program as the desktop sees it: the built executable on a desktop with
// a window manager and a notification area, a private session bus started
// here, and the desktop's own clients (playerctl, gdbus) driving it. Streams
// come from a real Icecast server and from the ICY server of the player's
// tests (which sends a stream title), both on 127.0.0.1.
#include "desktop_program.h"
#include "player_test_support.h"
#include "wall_clock_wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUrl>
#include <QTest>

#include <csignal>

using namespace kelvaro::testing;

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.kelvaro");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

QString playerctl(const QStringList &args)
{
    return run(QStringLiteral("playerctl"), QStringList{"-p", "kelvaro"} + args);
}

// A playerctl command that prints nothing; true when it succeeded.
bool playerctlDoes(const QStringList &args)
{
    return runTool(QStringLiteral("playerctl"), QStringList{"-p", "kelvaro"} + args).exitCode == 0;
}

// A method call on the program's MPRIS object; the reply as gdbus prints it.
QString callMpris(const QString &member, const QStringList &args = {})
{
    return run(QStringLiteral("gdbus"), QStringList{"call", "--session", "--dest", kService, "--object-path",
                                                    "/org/mpris/MediaPlayer2", "--method", member}
                                            + args);
}

QString busProperty(const QString &interface, const QString &name)
{
    return callMpris(QStringLiteral("org.freedesktop.DBus.Properties.Get"), {interface, name});
}

// Whether a notification area is there (someone owns its selection): told
// when a tray check fails, to tell a missing tray from a program fault.
const char *trayState()
{
    const ToolResult r = runTool(QStringLiteral("python3"),
                             {"-c", "import sys; from Xlib import display\nd = display.Display()\n"
                                    "sys.exit(0 if d.get_selection_owner(d.intern_atom('_NET_SYSTEM_TRAY_S0')) else 1)"});
    return r.exitCode == 0 ? "the notification area is there" : "no notification area";
}

// A window of the program's on the screen other than `known`; empty when none.
QString otherWindowOnScreen(const DesktopProgram &program, const QString &known)
{
    const QStringList windows = xdotool({"search", "--onlyvisible", "--pid", QString::number(program.pid())})
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &window : windows) {
        if (window != known)
            return window;
    }
    return {};
}

// Whether a window has been taken into another one (an icon into the
// notification area) rather than sitting on the root window.
bool embedded(const QString &window)
{
    const QString tree = run(QStringLiteral("xwininfo"), {"-id", window, "-tree"});
    static const QRegularExpression parent(QStringLiteral("Parent window id: \\S+ (.*)"));
    const QRegularExpressionMatch m = parent.match(tree);
    return m.hasMatch() && !m.captured(1).contains(QLatin1String("the root window"));
}

// A command that keeps printing (playerctl --follow), read line by line.
class Follower {
public:
    explicit Follower(const QStringList &args)
    {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("playerctl"), QStringList{"-p", "kelvaro", "--follow"} + args);
        process_.waitForStarted(10000);
    }
    ~Follower()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QStringList lines()
    {
        buffer_ += process_.readAllStandardOutput();
        return QString::fromUtf8(buffer_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Whether `expected` appeared, in this order, among the lines so far.
    bool saw(const QStringList &expected)
    {
        int next = 0;
        for (const QString &line : lines()) {
            if (next < expected.size() && line.trimmed() == expected[next])
                ++next;
        }
        return next == expected.size();
    }

private:
    QProcess process_;
    QByteArray buffer_;
};

}  // namespace

class TestDesktopBus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void desktopClientsDriveThePlayer();
    void secondStartHandsOverToTheFirst();
    void quitFromTheTrayMenu();
    void settingsSurviveAKill();
    void personalListComesFirst();
    void withoutASoundDeviceNothingPlays();

private:
    QString prepareFolder(const QByteArray &list);
    QProcessEnvironment withoutBus() const;

    AlsaCapture capture_;
    IcecastServer icecast_;
    FaultServer icy_;
    ChildProcess bus_;
    QString busAddress_;
    QTemporaryDir work_;
    int folders_ = 0;
};

void TestDesktopBus::initTestCase()
{
    QVERIFY(capture_.setUp());
    QVERIFY(icecast_.start());
    QVERIFY(icecast_.startMp3Source(QStringLiteral("/tone.mp3"), 550));
    QVERIFY(icecast_.waitForMount(QStringLiteral("/tone.mp3")));
    const QString mp3 = work_.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(makeTone(mp3, 550, 10, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}));
    QVERIFY(icy_.start(mp3));

    // A session bus of this test's own, ended with it (by PID, also when the
    // test dies: the wrapper stops the bus when its stdin closes).
    QVERIFY(bus_.start(QStringLiteral("python3"),
                       {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("dbus-daemon"),
                        QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                        QStringLiteral("--print-address=1")}));
    WALL_TRY_VERIFY(bus_.output().contains('\n'), 20000);
    busAddress_ = QString::fromUtf8(bus_.output()).trimmed();
    QVERIFY(busAddress_.startsWith(QLatin1String("unix:")));
    qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.toUtf8());
}

void TestDesktopBus::cleanupTestCase()
{
    bus_.stop();
}

QString TestDesktopBus::prepareFolder(const QByteArray &list)
{
    return copyProgram(work_.filePath(QStringLiteral("app%1").arg(++folders_)), &list);
}

QProcessEnvironment TestDesktopBus::withoutBus() const
{
    // An address where no bus answers. (With no address at all, the bus
    // library that Qt itself uses would launch a bus for the X display, one
    // that outlives the test.)
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + work_.filePath(QStringLiteral("no-bus")));
    return env;
}

void TestDesktopBus::desktopClientsDriveThePlayer()
{
    const QByteArray tone = icecast_.url(QStringLiteral("/tone.mp3")).toUtf8();
    const QString title = QStringLiteral("晚间新闻 · 第一时间");
    const QByteArray titled =
        icy_.url(QStringLiteral("/stream.mp3?enc=utf8&title=") + QString::fromLatin1(QUrl::toPercentEncoding(title)))
            .toUtf8();
    const QByteArray list = "本地;;mms://127.0.0.1;;\r\n"
                            "甲台;;" + tone + "?a;;\r\n"
                            "乙台;;" + titled + ";;\r\n"
                            "丙台;;" + tone + "?c;;\r\n"
                            "远方;;mms://127.0.0.1;;\r\n"
                            "丁台;;" + tone + "?d;;\r\n";
    DesktopProgram program;
    QVERIFY(program.start(prepareFolder(list)));

    // Published once the window is up; nothing chosen yet.
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Stopped"), 20000);
    QCOMPARE(busProperty(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity")),
             QStringLiteral("(<'Kelvaro'>,)"));
    QCOMPARE(busProperty(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("DesktopEntry")),
             QStringLiteral("(<'org.example.Kelvaro'>,)"));
    QCOMPARE(busProperty(kPlayer, QStringLiteral("CanSeek")), QStringLiteral("(<false>,)"));
    QCOMPARE(busProperty(kPlayer, QStringLiteral("CanGoNext")), QStringLiteral("(<false>,)"));

    Follower status({"status"});
    Follower titles({"metadata", "xesam:title"});
    Follower volumes({"volume"});

    // A station chosen in the tree plays; the desktop sees it and its name.
    program.chooseStation(2);
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听乙台"), 10000);
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 30000);
    QCOMPARE(playerctl({"metadata", "xesam:album"}), QStringLiteral("乙台"));
    QVERIFY(capture_.waitForAudio(capture_.size(), AlsaCapture::kRate * AlsaCapture::kBytesPerFrame, 60000));
    QCOMPARE(busProperty(kPlayer, QStringLiteral("CanGoNext")), QStringLiteral("(<true>,)"));
    QCOMPARE(busProperty(kPlayer, QStringLiteral("CanGoPrevious")), QStringLiteral("(<true>,)"));

    // The title the stream sends reaches the desktop, as a change it is told of.
    WALL_TRY_COMPARE(playerctl({"metadata", "xesam:title"}), title, 30000);
    WALL_TRY_VERIFY(titles.saw({title}), 10000);
    QCOMPARE(playerctl({"metadata", "xesam:album"}), QStringLiteral("乙台"));

    // Transport commands, each seen by the follower as a change.
    QVERIFY(playerctlDoes({"pause"}));
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Paused"), 20000);
    QVERIFY(playerctlDoes({"play-pause"}));
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 20000);
    QVERIFY(playerctlDoes({"stop"}));
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Stopped"), 20000);
    QVERIFY(playerctlDoes({"play"}));
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 20000);
    WALL_TRY_VERIFY(status.saw({"Stopped", "Playing", "Paused", "Playing", "Stopped", "Playing"}), 10000);

    // Volume 0..1 is the player's 0..100; out-of-range values are clamped.
    QCOMPARE(playerctl({"volume"}), QStringLiteral("1.000000"));
    QVERIFY(playerctlDoes({"volume", "0.25"}));
    WALL_TRY_COMPARE(playerctl({"volume"}), QStringLiteral("0.250000"), 10000);
    QVERIFY(!callMpris(QStringLiteral("org.freedesktop.DBus.Properties.Set"),
                       {kPlayer, "Volume", "<7.5>"}).isNull());
    WALL_TRY_COMPARE(playerctl({"volume"}), QStringLiteral("1.000000"), 10000);
    WALL_TRY_VERIFY(volumes.saw({"1.000000", "0.250000", "1.000000"}), 10000);

    // Next and previous stay within the station's category.
    QVERIFY(!callMpris(kPlayer + QStringLiteral(".Next")).isNull());
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听丙台"), 10000);
    WALL_TRY_COMPARE(playerctl({"metadata", "xesam:album"}), QStringLiteral("丙台"), 10000);
    QCOMPARE(playerctl({"metadata", "xesam:title"}), QStringLiteral("丙台"));  // this stream sends no title
    WALL_TRY_COMPARE(busProperty(kPlayer, QStringLiteral("CanGoNext")), QStringLiteral("(<false>,)"), 10000);
    QVERIFY(!callMpris(kPlayer + QStringLiteral(".Next")).isNull());  // the last one: nothing happens
    QVERIFY(!callMpris(kPlayer + QStringLiteral(".Previous")).isNull());
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听乙台"), 10000);
    QVERIFY(!callMpris(kPlayer + QStringLiteral(".Previous")).isNull());
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听甲台"), 10000);
    WALL_TRY_COMPARE(busProperty(kPlayer, QStringLiteral("CanGoPrevious")), QStringLiteral("(<false>,)"),
                              10000);
    QVERIFY(!callMpris(kPlayer + QStringLiteral(".Previous")).isNull());  // the first one: nothing happens
    QVERIFY(!callMpris(kPlayer + QStringLiteral(".Next")).isNull());
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听乙台"), 10000);
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 30000);

    // Raise brings the window back from the tray, as the tray icon does.
    program.minimiseToTray();
    WALL_TRY_VERIFY(!program.mapped(), 10000);
    WALL_TRY_VERIFY2(program.inTray(), trayState(), 10000);
    QVERIFY(!callMpris(QStringLiteral("org.mpris.MediaPlayer2.Raise")).isNull());
    WALL_TRY_VERIFY(program.mapped(), 10000);
    QVERIFY(!program.minimised());
    WALL_TRY_VERIFY(!program.inTray(), 10000);

    // Quit closes the program as closing its window does.
    QVERIFY(!callMpris(QStringLiteral("org.mpris.MediaPlayer2.Quit")).isNull());
    QVERIFY(program.process().waitForFinished(10000));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    WALL_TRY_VERIFY(!run(QStringLiteral("playerctl"), {"-l"}).contains(QStringLiteral("kelvaro")), 10000);
}

void TestDesktopBus::secondStartHandsOverToTheFirst()
{
    // No session bus at all: the program still runs, and still keeps to one
    // instance.
    const QProcessEnvironment env = withoutBus();
    const QString executable = prepareFolder("本地;;mms://127.0.0.1;;\r\n");
    DesktopProgram first;
    QVERIFY(first.start(executable, env));
    first.minimiseToTray();
    WALL_TRY_VERIFY(!first.mapped(), 10000);
    WALL_TRY_VERIFY2(first.inTray(), trayState(), 10000);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(executable, {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    WALL_TRY_VERIFY(first.mapped(), 10000);
    QVERIFY(!first.minimised());
    WALL_TRY_VERIFY(!first.inTray(), 10000);
    QVERIFY(first.process().state() == QProcess::Running);

    // A request the running copy does not know is refused on the caller's
    // side, never taken for done; the window stays where it is. --show is
    // what a bare start asks.
    first.minimiseToTray();
    WALL_TRY_VERIFY2(first.inTray(), trayState(), 10000);
    second.start(executable, {QStringLiteral("--no-such-request"), QStringLiteral("参数")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 2);
    QVERIFY2(second.readAllStandardError().contains("--no-such-request"), "the refusal names the request");
    QVERIFY(first.inTray());
    second.start(executable, {QStringLiteral("--show")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    WALL_TRY_VERIFY(first.mapped(), 10000);
    WALL_TRY_VERIFY(!first.inTray(), 10000);
    // Where no copy runs, the same request is refused before a window is made.
    QProcessEnvironment alone = env;
    QTemporaryDir aloneRuntime;
    QVERIFY(QFile::setPermissions(aloneRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    alone.insert(QStringLiteral("XDG_RUNTIME_DIR"), aloneRuntime.path());
    QProcess lone;
    lone.setProcessEnvironment(alone);
    lone.start(executable, {QStringLiteral("--no-such-request")});
    QVERIFY(lone.waitForFinished(20000));
    QCOMPARE(lone.exitCode(), 2);

    // Another session (its own runtime folder) does not see this one.
    QTemporaryDir otherRuntime;
    QVERIFY(QFile::setPermissions(otherRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment otherEnv = env;
    otherEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
    DesktopProgram other;
    QVERIFY(other.start(executable, otherEnv));
    QVERIFY(first.process().state() == QProcess::Running);
    other.stop();

    // A crash leaves the socket and the lock behind; the next start takes
    // them over and is then the one a further start hands over to.
    const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/kelvaro.instance");
    QVERIFY(QFileInfo::exists(socket));
    ::kill(static_cast<pid_t>(first.process().processId()), SIGKILL);
    QVERIFY(first.process().waitForFinished(10000));
    QVERIFY(QFileInfo::exists(socket));
    QVERIFY(QFileInfo::exists(socket + QStringLiteral(".lock")));

    DesktopProgram next;
    QVERIFY(next.start(executable, env));
    next.minimiseToTray();
    WALL_TRY_VERIFY(!next.mapped(), 10000);
    QProcess again;
    again.setProcessEnvironment(env);
    again.start(executable, {});
    QVERIFY(again.waitForFinished(20000));
    QCOMPARE(again.exitCode(), 0);
    WALL_TRY_VERIFY(next.mapped(), 10000);

    // A later start asked to end the running copy ends it, hidden in the
    // tray as it is, cleanly: the socket and the lock go with it.
    next.minimiseToTray();
    WALL_TRY_VERIFY2(next.inTray(), trayState(), 10000);
    again.start(executable, {QStringLiteral("--quit")});
    QVERIFY(again.waitForFinished(20000));
    QCOMPARE(again.exitCode(), 0);
    QVERIFY(next.process().waitForFinished(10000));
    QCOMPARE(next.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(next.process().exitCode(), 0);
    QVERIFY(!QFileInfo::exists(socket));
    QVERIFY(!QFileInfo::exists(socket + QStringLiteral(".lock")));
}

void TestDesktopBus::quitFromTheTrayMenu()
{
    // Playing, hidden in the notification area: 退出 from the icon's menu
    // ends the program as closing its window does.
    const QByteArray list = "本地;;mms://127.0.0.1;;\r\n甲台;;" + icecast_.url(QStringLiteral("/tone.mp3")).toUtf8() + ";;\r\n";
    DesktopProgram program;
    QVERIFY(program.start(prepareFolder(list)));
    program.chooseStation(1);
    WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 30000);
    program.minimiseToTray();
    WALL_TRY_VERIFY(!program.mapped(), 10000);
    WALL_TRY_VERIFY2(program.inTray(), trayState(), 10000);

    // The menu opens on a right click: the program's other window on the
    // screen. Its last item is 退出. The click waits until the icon sits in
    // the notification area: mapped first and embedded a moment later, it
    // moves under the pointer in between.
    const QString icon = program.trayIcon();
    WALL_TRY_VERIFY(embedded(icon), 10000);
    xdotool({"mousemove", "--window", icon, "4", "4", "click", "3"});
    QString menu;
    WALL_TRY_VERIFY(!(menu = otherWindowOnScreen(program, icon)).isEmpty(), 10000);
    static const QRegularExpression height(QStringLiteral("Height: (\\d+)"));
    const int menuHeight = height.match(run(QStringLiteral("xwininfo"), {"-id", menu})).captured(1).toInt();
    QVERIFY(menuHeight > 20);
    xdotool({"mousemove", "--window", menu, "30", QString::number(menuHeight - 10), "click", "1"});
    QVERIFY(program.process().waitForFinished(10000));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    WALL_TRY_VERIFY(!run(QStringLiteral("playerctl"), {"-l"}).contains(QStringLiteral("kelvaro")), 10000);
}

void TestDesktopBus::settingsSurviveAKill()
{
    // Volume, mute and the station last chosen are kept as they change: a
    // kill -9 right after leaves a whole file that the next start uses, and
    // nothing of what a paused station kept.
    const QByteArray tone = icecast_.url(QStringLiteral("/tone.mp3")).toUtf8();
    const QString executable =
        prepareFolder("本地;;mms://127.0.0.1;;\r\n甲台;;" + tone + "?a;;\r\n乙台;;" + tone + "?b;;\r\n");
    const QString settings = settingsFile();
    const auto cleanUp = qScopeGuard([&] { QFile::remove(settings); });
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/kelvaro");
    QStringList killedKept;
    const auto kept = [&] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    {
        DesktopProgram program;
        QVERIFY(program.start(executable));
        program.chooseStation(2);
        WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 30000);
        QVERIFY(playerctlDoes({"volume", "0.25"}));
        WALL_TRY_VERIFY2(kept().contains(QStringLiteral("volume=25\n")), qPrintable(kept()), 10000);
        QVERIFY(kept().contains(QStringLiteral("last-station=") + QString::fromUtf8(tone) + QStringLiteral("?b\n")));
        // Killed while paused: what the paused station kept lies in a folder
        // of its own, whose file has no name to leave behind.
        QVERIFY(playerctlDoes({"pause"}));
        WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Paused"), 10000);
        killedKept = QDir(cache).entryList({QStringLiteral("timeshift-%1-*").arg(program.pid())}, QDir::Dirs);
        QCOMPARE(killedKept.size(), 1);
        QCOMPARE(QDir(cache + QLatin1Char('/') + killedKept[0]).entryList(QDir::Files | QDir::Hidden), QStringList());
        ::kill(static_cast<pid_t>(program.pid()), SIGKILL);
        QVERIFY(program.process().waitForFinished(10000));
    }
    // Nothing half-written beside it.
    QCOMPARE(QDir(QFileInfo(settings).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.ini"});

    // Asked to play the last station at start (as the menu's check item
    // does), the next start plays it, at the volume kept; a station the list
    // no longer has is not played.
    QFile file(settings);
    QVERIFY(file.open(QIODevice::Append));
    file.write("play-last-at-start=yes\n");
    file.close();
    {
        DesktopProgram program;
        QVERIFY(program.start(executable, QProcessEnvironment::systemEnvironment(), true));
        WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听乙台"), 20000);
        WALL_TRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"), 30000);
        QCOMPARE(playerctl({"volume"}), QStringLiteral("0.250000"));
        // The killed copy's folder is gone once the next one plays.
        WALL_TRY_VERIFY(!QDir(cache).exists(killedKept[0]), 10000);
    }
    const QString other = prepareFolder("本地;;mms://127.0.0.1;;\r\n甲台;;" + tone + "?a;;\r\n");
    DesktopProgram program;
    QVERIFY(program.start(other, QProcessEnvironment::systemEnvironment(), true));
    QTest::qWait(2000);
    QCOMPARE(program.caption(), QStringLiteral("Kelvaro"));
    QCOMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
}

void TestDesktopBus::personalListComesFirst()
{
    const QByteArray tone = icecast_.url(QStringLiteral("/tone.mp3")).toUtf8();
    const QString personal = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/kelvaro/电台.ini");
    QVERIFY(QDir().mkpath(QFileInfo(personal).path()));
    const auto cleanUp = qScopeGuard([&] { QFile::remove(personal); });
    QFile file(personal);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("个人;;mms://127.0.0.1;;\n个人电台;;" + tone + "?mine;;\n");
    file.close();
    const QString executable = prepareFolder("旁边;;mms://127.0.0.1;;\r\n旁边电台;;" + tone + ";;\r\n");

    {
        DesktopProgram program;
        QVERIFY(program.start(executable, withoutBus()));
        program.chooseStation(1);
        WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听个人电台"), 10000);
    }
    // The checker, with no file named, checks the same list and says which.
    const QString checker = QStringLiteral(KELVARO_BINARY_DIR "/kelvaro-check");
    ToolResult check = runTool(checker, {});
    QCOMPARE(check.exitCode, 0);
    QVERIFY2(check.err.contains(personal), qPrintable(check.err));
    QVERIFY(check.out.contains(QStringLiteral("个人电台")));

    // Without the personal list, the one beside the program again.
    QVERIFY(QFile::remove(personal));
    {
        DesktopProgram program;
        QVERIFY(program.start(executable, withoutBus()));
        program.chooseStation(1);
        WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听旁边电台"), 10000);
    }
    check = runTool(checker, {});
    QVERIFY2(check.err.contains(QStringLiteral(KELVARO_BINARY_DIR "/电台.ini")), qPrintable(check.err));
    QVERIFY(!check.out.contains(QStringLiteral("个人电台")));
}

void TestDesktopBus::withoutASoundDeviceNothingPlays()
{
    // No sound server yet (its socket is where the program looks), ALSA
    // without a device, no PipeWire.
    PulseServer pulse;
    const QString alsa = work_.filePath(QStringLiteral("no-device.conf"));
    QFile conf(alsa);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ALSA_CONFIG_PATH"), alsa);
    env.insert(QStringLiteral("PULSE_SERVER"), pulse.address());
    env.insert(QStringLiteral("PIPEWIRE_REMOTE"), QStringLiteral("kelvaro-no-such-server"));
    const QString path = QStringLiteral("/stream.mp3?case=no-device");
    DesktopProgram program;
    QVERIFY(program.start(prepareFolder("本地;;mms://127.0.0.1;;\r\n甲台;;" + icy_.url(path).toUtf8() + ";;\r\n"), env));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}), QStringLiteral("Stopped"), 20000);

    // Chosen: it connects, finds no sound device and says it is not playing;
    // the station is left alone while the program waits.
    program.chooseStation(1);
    QTRY_COMPARE_WITH_TIMEOUT(program.caption(), QStringLiteral("正在收听甲台"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(icy_.requests().count(path), 1, 30000);
    QTest::qWait(6500);
    QCOMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
    QCOMPARE(icy_.requests().count(path), 1);

    // The sound server starts: the station plays into it by itself.
    QVERIFY(pulse.start());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}), QStringLiteral("Playing"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(pulse.playingStreams(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(icy_.requests().count(path), 2, 10000);
    program.stop();
}

QTEST_GUILESS_MAIN(TestDesktopBus)
#include "tst_desktop_bus.moc"
