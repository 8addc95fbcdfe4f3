// SPDX-License-Identifier: GPL-3.0-or-later
// The program in a Wayland session: the built executable beside a headless
// sway (tests/window/support/with-sway, watched with swaymsg) and an X
// server (with-desktop), with a private session bus where this test stands
// in for the desktop's notification area (a StatusNotifierWatcher). With an
// X server there (XWayland) the program runs through X11; with none it is a
// native Wayland client, which is never told that it was minimised: its
// icon is in the notification area from the start, and a later start, the
// media controls' Raise and the icon bring the window back to the front
// through activation requests. The compositor here gives the keyboard to a
// window that presents a valid token.
#include "accessibility_bus.h"
#include "desktop_program.h"
#include "wall_clock_wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro::testing;

namespace {

// The compositor's view of the window of process `pid` (sway's tree node);
// empty when it has none.
QJsonObject view(qint64 pid)
{
    std::function<QJsonObject(const QJsonObject &)> find = [&](const QJsonObject &node) -> QJsonObject {
        if (node.value(QStringLiteral("pid")).toInteger() == pid)
            return node;
        for (const char *children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue &child : node.value(QLatin1String(children)).toArray()) {
                const QJsonObject found = find(child.toObject());
                if (!found.isEmpty())
                    return found;
            }
        }
        return {};
    };
    return find(QJsonDocument::fromJson(run(QStringLiteral("swaymsg"), {"-r", "-t", "get_tree"}).toUtf8()).object());
}

bool focused(qint64 pid)
{
    return view(pid).value(QStringLiteral("focused")).toBool();
}

// Goes to an empty workspace, as a user turning to something else: the
// window is out of sight and nothing has the keyboard.
void lookAway()
{
    run(QStringLiteral("swaymsg"), {"workspace", "elsewhere"});
}

QString swayLog()
{
    QFile log(qEnvironmentVariable("SWAY_LOG"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

}  // namespace

// The stand-in for the desktop's notification area.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredItems() const { return items; }
    QStringList items;

public slots:
    void RegisterStatusNotifierItem(const QString &service) { items << service; }
    void RegisterStatusNotifierHost(const QString &) {}
};

class TestWayland : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void withAnXServerItRunsThroughX11();
    void nativeWaylandWindowComesBackThroughActivation();

private:
    QProcessEnvironment environment(bool withX) const;
    bool startNative(QProcess &program, const QProcessEnvironment &env);

    PrivateSessionBus session_;
    StandInWatcher watcher_;
    QTemporaryDir work_;
    QString executable_;
};

void TestWayland::initTestCase()
{
    QVERIFY(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    QVERIFY(session_.start());
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher_,
                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    QVERIFY(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    const QByteArray list = "本地;;mms://127.0.0.1;;\r\n";
    executable_ = copyProgram(work_.filePath(QStringLiteral("app")), &list);
}

void TestWayland::cleanupTestCase()
{
    QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    session_.stop();
}

QProcessEnvironment TestWayland::environment(bool withX) const
{
    // As a Wayland session gives it: the compositor's socket, the X server's
    // display where there is XWayland, the session's type (with which Qt by
    // itself would choose Wayland), and no choice of Qt's platform.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    env.remove(QStringLiteral("XDG_SESSION_DESKTOP"));
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    if (!withX)
        env.remove(QStringLiteral("DISPLAY"));
    return env;
}

bool TestWayland::startNative(QProcess &program, const QProcessEnvironment &env)
{
    program.setProcessEnvironment(env);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(executable_, {});
    return program.waitForStarted(30000)
        && waitUntil([&] { return !view(program.processId()).isEmpty(); }, 30000);
}

void TestWayland::withAnXServerItRunsThroughX11()
{
    // Both there: the window is on the X server, with its size, and nothing
    // of it on the compositor; minimised, it goes to the notification area.
    DesktopProgram program;
    QVERIFY(program.start(executable_, environment(true)));
    QCOMPARE(program.clientSize(), QSize(254, 287));
    QVERIFY(view(program.pid()).isEmpty());
    watcher_.items.clear();
    program.minimiseToTray();
    WALL_TRY_VERIFY(!program.mapped(), 10000);
    WALL_TRY_VERIFY(!watcher_.items.isEmpty(), 10000);
    program.stop();

    // The user's own choice of platform wins.
    QProcessEnvironment env = environment(true);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    QProcess native;
    QVERIFY(startNative(native, env));
    native.terminate();
    QVERIFY(native.waitForFinished(10000));
}

void TestWayland::nativeWaylandWindowComesBackThroughActivation()
{
    const QProcessEnvironment env = environment(false);
    watcher_.items.clear();
    QProcess program;
    QVERIFY(startNative(program, env));
    const qint64 pid = program.processId();
    const QJsonObject window = view(pid);
    QCOMPARE(window.value(QStringLiteral("app_id")).toString(), QStringLiteral("org.example.Kelvaro"));
    QCOMPARE(window.value(QStringLiteral("name")).toString(), QStringLiteral("Kelvaro"));
    // A window of fixed size floats, at that size.
    QCOMPARE(window.value(QStringLiteral("type")).toString(), QStringLiteral("floating_con"));
    const QJsonObject geometry = window.value(QStringLiteral("geometry")).toObject();
    QCOMPARE(QSize(geometry.value(QStringLiteral("width")).toInt(), geometry.value(QStringLiteral("height")).toInt()),
             QSize(254, 287));
    WALL_TRY_VERIFY(focused(pid), 10000);

    // The icon is in the notification area from the start.
    WALL_TRY_VERIFY(watcher_.items.size() == 1, 20000);
    const QString icon = watcher_.items.first();

    // A later start hands over the token it was launched with: the
    // compositor gets it (and refuses this made-up one).
    lookAway();
    QVERIFY(!focused(pid));
    QProcessEnvironment withToken = env;
    withToken.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("made-up-token"));
    QProcess second;
    second.setProcessEnvironment(withToken);
    second.start(executable_, {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    WALL_TRY_VERIFY(swayLog().contains(QStringLiteral("Rejecting activate request: unknown token")), 10000);

    // Without one, the program's own token brings the window back: after a
    // later start, the media controls' Raise and a click on the icon.
    const QList<std::function<bool()>> bringBack = {
        [&] {
            QProcess again;
            again.setProcessEnvironment(env);
            again.start(executable_, {});
            return again.waitForFinished(20000) && again.exitCode() == 0;
        },
        [] {
            return runTool(QStringLiteral("gdbus"),
                           {"call", "--session", "--dest", "org.mpris.MediaPlayer2.kelvaro", "--object-path",
                            "/org/mpris/MediaPlayer2", "--method", "org.mpris.MediaPlayer2.Raise"})
                       .exitCode
                == 0;
        },
        [&] {
            return runTool(QStringLiteral("gdbus"), {"call", "--session", "--dest", icon, "--object-path",
                                                     "/StatusNotifierItem", "--method",
                                                     "org.kde.StatusNotifierItem.Activate", "0", "0"})
                       .exitCode
                == 0;
        },
    };
    for (qsizetype i = 0; i < bringBack.size(); ++i) {
        lookAway();
        QVERIFY(!focused(pid));
        QVERIFY2(bringBack[i](), qPrintable(QString::number(i)));
        WALL_TRY_VERIFY2(focused(pid), qPrintable(QString::number(i)), 10000);
    }
    // The icon stays after the window came back.
    QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(icon));

    // The compositor's close ends the program, with success.
    run(QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1] kill").arg(pid)});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
