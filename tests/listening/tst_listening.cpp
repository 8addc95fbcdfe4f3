// SPDX-License-Identifier: GPL-3.0-or-later
// What plays, without a window: stations chosen and followed through edits
// of the list, neighbours in the list's order, the computer kept awake by
// any session, and the media controls on a private session bus told of every
// change, whoever made it.
#include "desktop_window.h"
#include "listening.h"
#include "mpris.h"
#include "playback_engine.h"
#include "player_test_support.h"
#include "wall_clock_wait.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

using namespace kelvaro;
using namespace kelvaro::testing;

namespace {

// An engine that plays nothing by itself; a test says when a load has
// started to play.
class HeldEngine : public PlaybackEngine {
    Q_OBJECT
public:
    void load(const QString &) override {}
    void stop() override {}
    void setPaused(bool) override {}
    void setVolume(int) override {}
    void setMute(bool) override {}
    void requestPlaybackTime() override {}
    void restartSoundOutput() override {}
    void checkSoundOutput() override {}
    QStringList seeks;
    void seekTo(double seconds) override { seeks << QStringLiteral("to %1").arg(seconds); }
    void seekBy(double seconds) override { seeks << QStringLiteral("by %1").arg(seconds); }
    void plays()
    {
        emit loaded(false);
        emit playing();
    }
};

struct Engines {
    QList<HeldEngine *> made;
    Listening::EngineMaker maker()
    {
        return [this](bool) {
            made << new HeldEngine;
            return made.last();
        };
    }
};

// Everything a choice shows, in order.
struct SurfaceLog : StationSurface {
    QStringList log;
    void showPlayer(bool visible) override { log << (visible ? "player.show" : "player.hide"); }
    void showFrame(bool visible) override { log << (visible ? "frame.show" : "frame.hide"); }
    void Navigate(const QString &a) override { log << "web.Navigate " + a; }
    void setCaption(const QString &t) override { log << "caption " + t; }
};

StationTable table(const QList<StationRecord> &rows)
{
    StationTable t;
    for (qsizetype i = 0; i < rows.size(); ++i)
        t.row(int(i) + 1) = rows[i];
    return t;
}

const QString kHeading = QStringLiteral("mms://127.0.0.1");

class BusWindow : public DesktopWindow {
public:
    explicit BusWindow(Listening &listening) : listening_(listening) {}
    Listening &listening() override { return listening_; }
    bool hiddenInTray() const override { return false; }
    void raise() override {}
    void quit() override {}

private:
    Listening &listening_;
};

// Records the player properties that the bus is told have changed, and
// where the bus is told playback jumped to.
class PropertiesWatch : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
    QList<qlonglong> seekedTo;
public slots:
    void seeked(qlonglong position) { seekedTo << position; }
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &)
    {
        if (interface == QLatin1String("org.mpris.MediaPlayer2.Player"))
            changes << properties;
    }
};

}  // namespace

class TestListening : public QObject {
    Q_OBJECT
private slots:
    void choicesFollowTheList();
    void anySessionKeepsTheComputerAwake();
    void theBusHearsOfChangesMadeInCode();
};

void TestListening::choicesFollowTheList()
{
    Engines engines;
    Listening listening(engines.maker());
    SurfaceLog surface;
    listening.setSurface(&surface);
    // 乙台 twice: the second line is not in the tree, so it is no neighbour.
    listening.setStations(table({{"新闻", kHeading, {}},
                                 {"甲台", "http://127.0.0.1:9/a", {}},
                                 {"乙台", "http://127.0.0.1:9/b", {}},
                                 {"乙台又", "http://127.0.0.1:9/b", {}},
                                 {"网页台", "http://127.0.0.1:9/p.html#1", {}},
                                 {"音乐", kHeading, {}},
                                 {"丙台", "http://127.0.0.1:9/c", {}}}));
    QSignalSpy chosen(&listening, &Listening::stationChosen);
    QSignalSpy changed(&listening, &Listening::stationChanged);

    // Chosen by address, with its name and category from the list; the
    // stream plays and the window is told in the choice's order.
    QVERIFY(listening.chooseListed(QStringLiteral("http://127.0.0.1:9/b")));
    QCOMPARE(listening.station(), (Station{"http://127.0.0.1:9/b", "乙台", "新闻"}));
    QCOMPARE(surface.log, (QStringList{"caption 正在收听乙台", "player.show", "frame.hide", "web.Navigate about:blank"}));
    QCOMPARE(listening.audible().url(), QStringLiteral("http://127.0.0.1:9/b"));
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(listening.stationNumber(), 3);
    QCOMPARE(listening.stationBeside(-1), QStringLiteral("http://127.0.0.1:9/a"));
    QCOMPARE(listening.stationBeside(+1), QStringLiteral("http://127.0.0.1:9/p.html#1"));
    QVERIFY(!listening.chooseListed(QStringLiteral("http://127.0.0.1:9/nowhere")));
    QCOMPARE(chosen.count(), 1);

    // Renamed and moved to another category in the list: it plays on under
    // its new name; then its address changes in an edit and it follows.
    listening.setStations(table({{"音乐", kHeading, {}},
                                 {"乙台新名", "http://127.0.0.1:9/b", {}},
                                 {"丙台", "http://127.0.0.1:9/c", {}}}));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(listening.station(), (Station{"http://127.0.0.1:9/b", "乙台新名", "音乐"}));
    QCOMPARE(listening.stationBeside(+1), QStringLiteral("http://127.0.0.1:9/c"));
    QCOMPARE(listening.stationBeside(-1), QString());
    listening.stationMoved(QStringLiteral("http://127.0.0.1:9/b"), QStringLiteral("http://127.0.0.1:9/b2"));
    listening.setStations(table({{"音乐", kHeading, {}},
                                 {"乙台新名", "http://127.0.0.1:9/b2", {}},
                                 {"丙台", "http://127.0.0.1:9/c", {}}}));
    QCOMPARE(listening.station().address, QStringLiteral("http://127.0.0.1:9/b2"));
    QCOMPARE(listening.stationBeside(+1), QStringLiteral("http://127.0.0.1:9/c"));
    QCOMPARE(listening.audible().url(), QStringLiteral("http://127.0.0.1:9/b"));  // not restarted

    // A station that is not in the list, named by its address, and a page.
    surface.log.clear();
    QVERIFY(listening.choose({"http://127.0.0.1:9/x", "http://127.0.0.1:9/x", {}}));
    QCOMPARE(surface.log.first(), QStringLiteral("caption 正在收听http://127.0.0.1:9/x"));
    QCOMPARE(listening.stationNumber(), 0);
    QCOMPARE(listening.stationBeside(+1), QString());
    surface.log.clear();
    QVERIFY(listening.choose({"http://127.0.0.1:9/p.html#1", "网页台", {}}));
    QCOMPARE(surface.log, (QStringList{"caption 正在收听网页台", "web.Navigate about:blank", "frame.show",
                                       "player.hide", "web.Navigate http://127.0.0.1:9/p.html#1"}));
    QCOMPARE(listening.state(), Listening::State::Stopped);
    QVERIFY(!listening.choose({}));
}

void TestListening::anySessionKeepsTheComputerAwake()
{
    Engines engines;
    Listening listening(engines.maker());
    QSignalSpy awake(&listening, &Listening::keepsAwakeChanged);
    listening.choose({"http://127.0.0.1:9/a", "甲台", {}});
    QVERIFY(!listening.keepsAwake());  // connecting is not enough
    engines.made[0]->plays();
    QVERIFY(listening.keepsAwake());

    // A session in the background, without sound, holds it while the one
    // heard stops; ending it lets the computer sleep again, once.
    PlayerSession *background = listening.startBackground(QStringLiteral("http://127.0.0.1:9/rec"));
    QCOMPARE(engines.made.size(), 2);
    engines.made[1]->plays();
    listening.audible().stop();
    QVERIFY(listening.keepsAwake());
    listening.endBackground(background);
    QVERIFY(!listening.keepsAwake());
    QCOMPARE(awake.count(), 2);
    QCOMPARE(awake.last().first().toBool(), false);
}

void TestListening::theBusHearsOfChangesMadeInCode()
{
    // A session bus of this test's own, ended with it.
    ChildProcess bus;
    QVERIFY(bus.start(QStringLiteral("python3"),
                      {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("dbus-daemon"),
                       QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                       QStringLiteral("--print-address=1")}));
    QVERIFY(waitUntil([&] { return bus.output().contains('\n'); }, 20000));
    const QString address = QString::fromUtf8(bus.output()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

    Engines engines;
    Listening listening(engines.maker());
    listening.setStations(table({{"新闻", kHeading, {}},
                                 {"甲台", "http://127.0.0.1:9/a", {}},
                                 {"乙台", "http://127.0.0.1:9/b", {}}}));
    BusWindow window(listening);
    auto *service = new MprisService(window);
    QVERIFY(service->publish());

    QDBusConnection watcher = QDBusConnection::connectToBus(address, QStringLiteral("watcher"));
    QVERIFY(watcher.isConnected());
    PropertiesWatch watch;
    QVERIFY(watcher.connect(QString(), MprisService::kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("PropertiesChanged"), &watch,
                            SLOT(changed(QString, QVariantMap, QStringList))));
    // The match is in place once a call through the same connection returns.
    watcher.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));

    // No input event anywhere: a volume set by the program itself is told.
    listening.setVolume(30);
    QVERIFY(waitUntil([&] { return !watch.changes.isEmpty(); }, 10000));
    QCOMPARE(watch.changes.last().value(QStringLiteral("Volume")).toDouble(), 0.3);

    // A station chosen in code: its name, the neighbours and the state.
    watch.changes.clear();
    listening.chooseListed(QStringLiteral("http://127.0.0.1:9/a"));
    engines.made[0]->plays();
    QVERIFY(waitUntil([&] {
        QVariantMap seen;
        for (const QVariantMap &change : std::as_const(watch.changes))
            seen.insert(change);
        return seen.value(QStringLiteral("PlaybackStatus")) == QStringLiteral("Playing")
            && seen.value(QStringLiteral("CanGoNext")) == true;
    }, 10000));
    QCOMPARE(service->metadata().value(QStringLiteral("xesam:album")).toString(), QStringLiteral("甲台"));

    // Paused with 40 s kept: the bus may move within it, and hears where to.
    HeldEngine &engine = *engines.made[0];
    emit engine.received(2, 40, false);
    emit engine.playbackTime(38);
    listening.audible().pause();
    QVERIFY(waitUntil([&] { return watch.changes.last().value(QStringLiteral("CanSeek")) == true; }, 10000));
    QVERIFY(watcher.connect(QString(), MprisService::kObjectPath, QStringLiteral("org.mpris.MediaPlayer2.Player"),
                            QStringLiteral("Seeked"), &watch, SLOT(seeked(qlonglong))));
    const auto call = [&](const QString &method, const QVariantList &args) {
        QDBusMessage m = QDBusMessage::createMethodCall(MprisService::kServiceName, MprisService::kObjectPath,
                                                        QStringLiteral("org.mpris.MediaPlayer2.Player"), method);
        m.setArguments(args);
        return watcher.call(m, QDBus::BlockWithGui).type() == QDBusMessage::ReplyMessage;
    };
    const QVariant track = service->metadata().value(QStringLiteral("mpris:trackid"));
    QVERIFY(call(QStringLiteral("Seek"), {qlonglong(-10'000'000)}));
    QVERIFY(call(QStringLiteral("SetPosition"),
                 {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/kelvaro/station/99"))), qlonglong(0)}));
    QVERIFY(call(QStringLiteral("SetPosition"), {track, qlonglong(0)}));
    QCOMPARE(engine.seeks, (QStringList{"by -10", "to 2"}));
    QCOMPARE(service->position(), qlonglong(2'000'000));
    QVERIFY(waitUntil([&] { return watch.seekedTo.size() == 2; }, 10000));
    QCOMPARE(watch.seekedTo, (QList<qlonglong>{28'000'000, 2'000'000}));

    delete service;
    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    bus.stop();
}

QTEST_GUILESS_MAIN(TestListening)
#include "tst_listening.moc"
