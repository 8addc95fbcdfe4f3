// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping the computer awake while a stream plays: the built program on a
// desktop with a private session bus and a private system bus, and stand-ins
// (this test itself) for the desktop portal's Inhibit and for logind's
// inhibitor locks and its word that the computer woke. The program asks the
// portal when there is one, else logind; for suspending only, never for
// idleness (the screen saver); lets go on pause, stop and when it is killed;
// and opens the station afresh on waking.
#include "accessibility_bus.h"
#include "desktop_program.h"
#include "player_test_support.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <unistd.h>

using namespace kelvaro::testing;

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kLogind = QStringLiteral("org.freedesktop.login1");

QString mpris(const QString &method)
{
    return run(QStringLiteral("gdbus"), {"call", "--session", "--dest", "org.mpris.MediaPlayer2.kelvaro",
                                         "--object-path", "/org/mpris/MediaPlayer2", "--method",
                                         QStringLiteral("org.mpris.MediaPlayer2.Player.") + method});
}

}  // namespace

// One inhibitor the portal stand-in handed out: closed through its handle.
class PortalRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    bool closed = false;
public slots:
    void Close() { closed = true; }
};

class PortalStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    QList<uint> flags;
    QList<PortalRequest *> requests;
public slots:
    QDBusObjectPath Inhibit(const QString &, uint what, const QVariantMap &)
    {
        flags.append(what);
        auto *request = new PortalRequest;
        request->setParent(this);
        requests.append(request);
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/test/%1").arg(requests.size());
        QDBusConnection::sessionBus().registerObject(path, request, QDBusConnection::ExportAllSlots);
        return QDBusObjectPath(path);
    }
};

// logind's inhibitor locks: each is the write end of a pipe whose read end
// stays here; the lock is released when every copy of the write end is
// closed, which the read end sees as its end.
class LogindStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList asked;  // "what/mode"
    QList<int> readEnds;
    ~LogindStandIn() override
    {
        for (int fd : readEnds)
            ::close(fd);
    }
    bool released(int i) const
    {
        pollfd p{readEnds.value(i, -1), POLLIN, 0};
        char byte;
        return ::poll(&p, 1, 0) == 1 && ::read(p.fd, &byte, 1) == 0;
    }
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &, const QString &, const QString &mode)
    {
        asked.append(what + QLatin1Char('/') + mode);
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        readEnds.append(fds[0]);
        QDBusUnixFileDescriptor lock(fds[1]);  // a copy of its own
        ::close(fds[1]);
        return lock;
    }
};

class TestSleepInhibit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void portalWhilePlaying();
    void logindWithoutPortal();

private:
    QProcessEnvironment environment() const;
    // The built program, with one stream station, started from a folder of its own.
    bool startProgram(DesktopProgram &program);

    AlsaCapture capture_;
    FaultServer server_;
    PrivateSessionBus session_;
    PrivateSessionBus system_;
    PortalStandIn portal_;
    LogindStandIn logind_;
    QTemporaryDir work_;
    int folders_ = 0;
};

void TestSleepInhibit::initTestCase()
{
    QVERIFY(capture_.setUp());
    const QString mp3 = work_.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(makeTone(mp3, 440, 10, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}));
    QVERIFY(server_.start(mp3));
    QVERIFY(session_.start());
    QVERIFY(system_.start(nullptr));  // stands in for the system bus
    QDBusConnection session = QDBusConnection::sessionBus();
    QVERIFY(session.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal_,
                                   QDBusConnection::ExportAllSlots));
    QDBusConnection system = QDBusConnection::connectToBus(system_.address(), QStringLiteral("system"));
    QVERIFY(system.isConnected());
    QVERIFY(system.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind_,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(system.registerService(kLogind));
}

void TestSleepInhibit::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("system"));
    system_.stop();
    session_.stop();
}

QProcessEnvironment TestSleepInhibit::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), system_.address());
    return env;
}

bool TestSleepInhibit::startProgram(DesktopProgram &program)
{
    // 乙台 plays three seconds, then its server goes away for good.
    const QByteArray list = "本地;;mms://127.0.0.1;;\r\n甲台;;" + server_.url(QStringLiteral("/stream.mp3")).toUtf8()
                            + ";;\r\n乙台;;" + server_.url(QStringLiteral("/drop?after=3&down=100000")).toUtf8()
                            + ";;\r\n";
    return program.start(copyProgram(work_.filePath(QStringLiteral("app%1").arg(++folders_)), &list),
                         environment());
}

void TestSleepInhibit::portalWhilePlaying()
{
    QVERIFY(QDBusConnection::sessionBus().registerService(kPortal));
    DesktopProgram program;
    QVERIFY(startProgram(program));
    QVERIFY(portal_.flags.isEmpty());  // nothing plays yet

    program.chooseStation(1);
    QTRY_COMPARE_WITH_TIMEOUT(portal_.flags.size(), 1, 60000);
    QCOMPARE(portal_.flags[0], 4u);  // suspend; not idle (8), which is the screen saver's
    QVERIFY(!portal_.requests[0]->closed);

    QVERIFY(!mpris(QStringLiteral("Pause")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(portal_.requests[0]->closed, 30000);
    QVERIFY(!mpris(QStringLiteral("Play")).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(portal_.flags.size(), 2, 60000);
    // Woken from sleep, as logind says on the system bus: the live station
    // is opened afresh, and the computer is kept awake again once it plays.
    const int requests = server_.requests().count(QStringLiteral("/stream.mp3"));
    QVERIFY(QDBusConnection(QStringLiteral("system"))
                .send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                 QStringLiteral("PrepareForSleep"))
                      << false));
    QTRY_COMPARE_WITH_TIMEOUT(server_.requests().count(QStringLiteral("/stream.mp3")), requests + 1, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(portal_.flags.size(), 3, 60000);
    QVERIFY(portal_.requests[1]->closed);
    QVERIFY(!mpris(QStringLiteral("Stop")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(portal_.requests[2]->closed, 30000);
    QCOMPARE(portal_.flags.size(), 3);
    QVERIFY(logind_.asked.isEmpty());
    program.stop();
    QVERIFY(QDBusConnection::sessionBus().unregisterService(kPortal));
}

void TestSleepInhibit::logindWithoutPortal()
{
    DesktopProgram program;
    QVERIFY(startProgram(program));
    program.chooseStation(1);
    QTRY_COMPARE_WITH_TIMEOUT(logind_.asked.size(), 1, 60000);
    QCOMPARE(logind_.asked[0], QStringLiteral("sleep/block"));
    QVERIFY(!logind_.released(0));

    QVERIFY(!mpris(QStringLiteral("Pause")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(logind_.released(0), 30000);
    QVERIFY(!mpris(QStringLiteral("Play")).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(logind_.asked.size(), 2, 60000);
    QVERIFY(!logind_.released(1));

    // Killed outright: the system closes the lock with the process.
    ::kill(pid_t(program.pid()), SIGKILL);
    QVERIFY(program.process().waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(logind_.released(1), 10000);
    QCOMPARE(logind_.asked.size(), 2);

    // A stream that is lost lets go as well, while the player tries to get
    // it back.
    DesktopProgram again;
    QVERIFY(startProgram(again));
    again.chooseStation(2);
    QTRY_COMPARE_WITH_TIMEOUT(logind_.asked.size(), 3, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(logind_.released(2), 60000);
    QVERIFY(again.running());
}

QTEST_GUILESS_MAIN(TestSleepInhibit)
#include "tst_sleep_inhibit.moc"
