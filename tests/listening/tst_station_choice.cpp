// SPDX-License-Identifier: GPL-3.0-or-later
// The order of the calls a station choice makes is its behaviour: these tests
// record every call on the player, the page area and the caption in one log
// and compare the whole log.

#include "station_choice.h"

#include <QStringList>
#include <QTest>

using namespace kelvaro;

namespace {

struct Recorder : PlayerArea, PageArea, Caption {
    QStringList log;
    void showPlayer(bool visible) override { log << (visible ? "player.show" : "player.hide"); }
    void stop() override { log << "player.stop"; }
    void setURL(const QString &a) override { log << "player.URL " + a; }
    void showFrame(bool visible) override { log << (visible ? "frame.show" : "frame.hide"); }
    void Navigate(const QString &a) override { log << "web.Navigate " + a; }
    void setCaption(const QString &t) override { log << "caption " + t; }

    void choose(const QString &key, const QString &text) { chooseStation(key, text, *this, *this, *this); }
};

const QString kStream = QStringLiteral("mms://radio.example/live");
const QString kPage = QStringLiteral("http://radio.example/player.html#1");

QStringList streamCalls(const QString &name, const QString &address)
{
    return {QStringLiteral("caption 正在收听") + name, "player.show", "frame.hide",
            "web.Navigate about:blank", "player.stop", "player.URL " + address};
}

QStringList pageCalls(const QString &name, const QString &address)
{
    return {QStringLiteral("caption 正在收听") + name, "web.Navigate about:blank", "player.stop",
            "frame.show", "player.hide", "web.Navigate " + address};
}

} // namespace

class StationChoiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nodesThatAreNotStationsDoNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("category") << QStringLiteral("音乐") << QStringLiteral("音乐");
        QTest::newRow("name equals stream address") << kStream << kStream;
        QTest::newRow("name equals page address") << kPage << kPage;
        QTest::newRow("empty node") << QString() << QString();
    }
    void nodesThatAreNotStationsDoNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        Recorder r;
        r.choose(key, text);
        QCOMPARE(r.log, QStringList());
    }

    void singleChoice_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("stream") << kStream << QStringLiteral("中国之声")
                                << streamCalls(QStringLiteral("中国之声"), kStream);
        QTest::newRow("page, marker kept") << kPage << QStringLiteral("网页台")
                                           << pageCalls(QStringLiteral("网页台"), kPage);
        QTest::newRow("marker in the middle")
            << QStringLiteral("https://x.example/a.html#1?b") << QStringLiteral("中间")
            << pageCalls(QStringLiteral("中间"), QStringLiteral("https://x.example/a.html#1?b"));
        // The marker is case-sensitive and must be whole.
        QTest::newRow("upper-case marker is a stream")
            << QStringLiteral("http://x.example/a.HTML#1") << QStringLiteral("大写")
            << streamCalls(QStringLiteral("大写"), QStringLiteral("http://x.example/a.HTML#1"));
        QTest::newRow("html without #1 is a stream")
            << QStringLiteral("http://x.example/a.html#2") << QStringLiteral("二")
            << streamCalls(QStringLiteral("二"), QStringLiteral("http://x.example/a.html#2"));
        // Text that differs only in case is still a station.
        QTest::newRow("key and text differ in case")
            << QStringLiteral("http://a.example/s") << QStringLiteral("HTTP://A.EXAMPLE/S")
            << streamCalls(QStringLiteral("HTTP://A.EXAMPLE/S"), QStringLiteral("http://a.example/s"));
    }
    void singleChoice()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Recorder r;
        r.choose(key, text);
        QCOMPARE(r.log, expected);
    }

    void choicesInSequence()
    {
        // Stream after page, page after stream, and the same station twice
        // (restarted / reloaded each time: the handler keeps no state), with
        // a category click in between that changes nothing.
        Recorder r;
        r.choose(kPage, QStringLiteral("网页台"));
        r.choose(kStream, QStringLiteral("中国之声"));
        r.choose(QStringLiteral("新闻"), QStringLiteral("新闻"));
        r.choose(kStream, QStringLiteral("中国之声"));
        r.choose(kPage, QStringLiteral("网页台"));
        r.choose(kPage, QStringLiteral("网页台"));

        const QStringList expected = pageCalls(QStringLiteral("网页台"), kPage)
            + streamCalls(QStringLiteral("中国之声"), kStream)
            + streamCalls(QStringLiteral("中国之声"), kStream)
            + pageCalls(QStringLiteral("网页台"), kPage)
            + pageCalls(QStringLiteral("网页台"), kPage);
        QCOMPARE(r.log, expected);
    }
};

QTEST_GUILESS_MAIN(StationChoiceTest)
#include "tst_station_choice.moc"
