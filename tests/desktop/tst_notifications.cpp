// SPDX-License-Identifier: GPL-3.0-or-later
// Notifications of new stream titles: the built program on a desktop with a
// private session bus, stations that each send a title of their own (the
// desktop's next and previous change the station, and so the title), and a
// stand-in notification service (this test itself, on that bus) that
// records what it is asked to show. A notification comes only while the
// window is hidden in the notification area, each replaces the one before,
// and without a service nothing is shown or kept for later.
#include "accessibility_bus.h"
#include "desktop_program.h"
#include "player_test_support.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace kelvaro::testing;

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");

// The title the desktop's media interface reports for the program.
QString currentTitle()
{
    return run(QStringLiteral("playerctl"), {"-p", "kelvaro", "metadata", "xesam:title"});
}

// Calls a method of the program's media interface, as the desktop does;
// gdbus's answer ("()" for none), empty when the call failed.
QString mpris(const QString &method)
{
    const QString interface = method == QLatin1String("Raise") ? QStringLiteral("org.mpris.MediaPlayer2")
                                                                : QStringLiteral("org.mpris.MediaPlayer2.Player");
    return run(QStringLiteral("gdbus"), {"call", "--session", "--dest", "org.mpris.MediaPlayer2.kelvaro",
                                         "--object-path", "/org/mpris/MediaPlayer2", "--method",
                                         interface + QLatin1Char('.') + method});
}

}  // namespace

// The stand-in for the desktop's notification service.
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString appName;
        uint replaces = 0;
        QString summary;
        QString body;
        uint id = 0;
    };
    QList<Shown> shown;

    bool hasBody(const QString &body) const
    {
        return std::any_of(shown.cbegin(), shown.cend(), [&](const Shown &s) { return s.body == body; });
    }

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        const uint id = replacesId != 0 ? replacesId : ++lastId_;
        shown.append({appName, replacesId, summary, body, id});
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    void CloseNotification(uint) {}
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        vendor = QStringLiteral("Kelvaro tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("stand-in");
    }

private:
    uint lastId_ = 0;
};

class TestNotifications : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void titlesWhileHiddenInTheTray();

private:
    bool offerService();
    void withdrawService();

    AlsaCapture capture_;
    FaultServer server_;
    PrivateSessionBus session_;
    StandInNotifications standIn_;
    QTemporaryDir work_;
};

void TestNotifications::initTestCase()
{
    QVERIFY(capture_.setUp());
    const QString mp3 = work_.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(makeTone(mp3, 440, 10, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}));
    QVERIFY(server_.start(mp3));
    QVERIFY(session_.start());
    QVERIFY(QDBusConnection::sessionBus().registerObject(QStringLiteral("/org/freedesktop/Notifications"), &standIn_,
                                                         QDBusConnection::ExportAllSlots));
}

void TestNotifications::cleanupTestCase()
{
    QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    session_.stop();
}

bool TestNotifications::offerService()
{
    return QDBusConnection::sessionBus().registerService(kNotifications);
}

void TestNotifications::withdrawService()
{
    QDBusConnection::sessionBus().unregisterService(kNotifications);
}

void TestNotifications::titlesWhileHiddenInTheTray()
{
    // Six stations in one category, each sending a title of its own; the
    // desktop's "next" and "previous" move between them.
    const QStringList stations = {QStringLiteral("甲台"), QStringLiteral("乙台"), QStringLiteral("丙台"),
                                  QStringLiteral("丁台"), QStringLiteral("戊台"), QStringLiteral("己台")};
    QByteArray list = "本地;;mms://127.0.0.1;;\r\n";
    for (const QString &name : stations) {
        const QString title = name.left(1) + QStringLiteral("之歌");
        list += name.toUtf8() + ";;"
                + server_.url(QStringLiteral("/stream.mp3?enc=utf8&title=")
                              + QString::fromLatin1(QUrl::toPercentEncoding(title)))
                      .toUtf8()
                + ";;\r\n";
    }
    const auto playing = [](const QString &station) {
        // The station's own title, once the player has it.
        const QString title = station.left(1) + QStringLiteral("之歌");
        QTRY_COMPARE_WITH_TIMEOUT(currentTitle(), title, 60000);
    };
    QVERIFY(offerService());

    DesktopProgram program;
    QVERIFY(program.start(copyProgram(work_.filePath(QStringLiteral("app")), &list)));

    // Titles come while the window is shown: no notification.
    program.chooseStation(1);
    QTRY_COMPARE_WITH_TIMEOUT(program.caption(), QStringLiteral("正在收听甲台"), 10000);
    playing(QStringLiteral("甲台"));
    QVERIFY(!mpris(QStringLiteral("Next")).isEmpty());
    playing(QStringLiteral("乙台"));
    QVERIFY(standIn_.shown.isEmpty());

    // Hidden in the tray: a new title is notified, named by its station.
    program.minimiseToTray();
    QTRY_VERIFY_WITH_TIMEOUT(!program.mapped(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(program.inTray(), 10000);
    QVERIFY(standIn_.shown.isEmpty());
    QVERIFY(!mpris(QStringLiteral("Next")).isEmpty());
    playing(QStringLiteral("丙台"));
    QTRY_COMPARE_WITH_TIMEOUT(standIn_.shown.size(), 1, 30000);
    const StandInNotifications::Shown first = standIn_.shown[0];
    QCOMPARE(first.appName, QStringLiteral("Kelvaro"));
    QCOMPARE(first.replaces, 0u);
    QCOMPARE(first.summary, QStringLiteral("丙台"));
    QCOMPARE(first.body, QStringLiteral("丙之歌"));

    // The next one replaces it rather than piling up.
    QVERIFY(!mpris(QStringLiteral("Next")).isEmpty());
    playing(QStringLiteral("丁台"));
    QTRY_COMPARE_WITH_TIMEOUT(standIn_.shown.size(), 2, 30000);
    QCOMPARE(standIn_.shown[1].replaces, first.id);
    QCOMPARE(standIn_.shown[1].summary, QStringLiteral("丁台"));
    QCOMPARE(standIn_.shown[1].body, QStringLiteral("丁之歌"));

    // No service on the bus: nothing is shown, and the title that came
    // meanwhile is not kept for later.
    withdrawService();
    QVERIFY(!mpris(QStringLiteral("Next")).isEmpty());
    playing(QStringLiteral("戊台"));
    QVERIFY(program.running());
    QVERIFY(offerService());
    QVERIFY(!mpris(QStringLiteral("Next")).isEmpty());
    playing(QStringLiteral("己台"));
    QTRY_COMPARE_WITH_TIMEOUT(standIn_.shown.size(), 3, 30000);
    QCOMPARE(standIn_.shown[2].body, QStringLiteral("己之歌"));
    QCOMPARE(standIn_.shown[2].replaces, first.id);
    QVERIFY(!standIn_.hasBody(QStringLiteral("戊之歌")));

    // Back from the tray: titles are not notified any more.
    QVERIFY(!mpris(QStringLiteral("Raise")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(program.mapped(), 10000);
    QVERIFY(!mpris(QStringLiteral("Previous")).isEmpty());
    playing(QStringLiteral("戊台"));
    QVERIFY(!mpris(QStringLiteral("Previous")).isEmpty());
    playing(QStringLiteral("丁台"));
    QCOMPARE(standIn_.shown.size(), 3);
}

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications.moc"
