// SPDX-License-Identifier: GPL-3.0-or-later
// The directory client against stand-in directory servers on 127.0.0.1
// (tests/support/directory_server.py): falling over from slow, failing,
// malformed and oversized servers to a good one, what it sends, the stations
// it makes of a hostile answer, cancelled searches, clicks and the filter
// lists' cache.
#include "directory_client.h"
#include "directory_stand_in.h"
#include "player_test_support.h"
#include "station_document.h"
#include "address_check.h"
#include "wall_clock_wait.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace kelvaro;
using testing::ChildProcess;

namespace {

constexpr int kServerTimeoutMs = 1500;
constexpr int kWaitMs = 20000;

using DirectoryServer = testing::DirectoryStandIn;

// A client on the given servers, tried in this order.
std::unique_ptr<DirectoryClient> clientFor(const QStringList &servers)
{
    qputenv("KELVARO_DIRECTORY_URL", servers.join(QLatin1Char(',')).toUtf8());
    qputenv("KELVARO_DIRECTORY_TIMEOUT_MS", QByteArray::number(kServerTimeoutMs));
    return std::make_unique<DirectoryClient>();
}

// Everything a client says.
struct Answers {
    explicit Answers(DirectoryClient &client)
    {
        QObject::connect(&client, &DirectoryClient::searchFinished, &client,
                         [this](int id, const QList<DirectoryStation> &s, bool m) {
                             finished << id;
                             stations = s;
                             more = m;
                         });
        QObject::connect(&client, &DirectoryClient::searchFailed, &client, [this](int id, const QString &message) {
            failed << id;
            messages << message;
        });
        QObject::connect(&client, &DirectoryClient::filtersReady, &client,
                         [this](DirectoryClient::FilterKind kind, const QList<DirectoryFilter> &f) {
                             filterKinds << kind;
                             filters = f;
                         });
        QObject::connect(&client, &DirectoryClient::filtersFailed, &client,
                         [this](DirectoryClient::FilterKind, const QString &message) { messages << message; });
    }
    int count() const { return int(finished.size() + failed.size() + filterKinds.size() + messages.size()); }
    QStringList names() const
    {
        QStringList out;
        for (const DirectoryStation &s : stations)
            out << s.name;
        return out;
    }
    QList<int> finished;
    QList<int> failed;
    QStringList messages;
    QList<DirectoryStation> stations;
    bool more = false;
    QList<DirectoryClient::FilterKind> filterKinds;
    QList<DirectoryFilter> filters;
};

const QStringList kWorkingChinese = {QStringLiteral("示例新闻台"), QStringLiteral("示例音乐台"),
                                     QStringLiteral("示例经济台"), QStringLiteral("摇滚 & 流行 + 电台"),
                                     QStringLiteral("示例交通台")};

}  // namespace

class TestDirectoryClient : public QObject {
    Q_OBJECT
private slots:
    void failover_data();
    void failover();
    void searchesAsAsked();
    void cleansHostileStations();
    void newerSearchCancelsOlder();
    void countsListens();
    void filterListsCached();
};

void TestDirectoryClient::failover_data()
{
    QTest::addColumn<QStringList>("first");  // empty: nothing listens there
    QTest::addColumn<bool>("goodSecond");
    QTest::addColumn<QString>("message");    // empty: the good server's stations
    const QString unreadable = QStringLiteral("电台目录的回答无法读取，请稍后重试。");
    const QString cannotConnect = QStringLiteral("无法连接电台目录，请检查网络后重试。");
    QTest::newRow("slow, then good") << QStringList{"--delay", "60"} << true << QString();
    QTest::newRow("500, then good") << QStringList{"--status", "500"} << true << QString();
    QTest::newRow("malformed, then good") << QStringList{"--malformed"} << true << QString();
    QTest::newRow("huge, then good") << QStringList{"--huge"} << true << QString();
    QTest::newRow("closed port, then good") << QStringList() << true << QString();
    QTest::newRow("malformed only") << QStringList{"--malformed"} << false << unreadable;
    QTest::newRow("huge only") << QStringList{"--huge"} << false << unreadable;
    QTest::newRow("huge, announced, only") << QStringList{"--huge-announced"} << false << unreadable;
    QTest::newRow("500 only") << QStringList{"--status", "500"} << false << cannotConnect;
    QTest::newRow("slow only") << QStringList{"--delay", "60"} << false << cannotConnect;
}

// One search with a failing server first: the answer comes from the good
// server behind it, or, without one, one message and no stations. A server
// given up on is hung up on (oversized answers as soon as 8 MiB are
// exceeded), and the next search starts with the server that answered.
void TestDirectoryClient::failover()
{
    QFETCH(QStringList, first);
    QFETCH(bool, goodSecond);
    QFETCH(QString, message);
    DirectoryServer bad, good;
    QString badUrl = QStringLiteral("http://127.0.0.1:%1").arg(testing::freePort());
    if (!first.isEmpty()) {
        QVERIFY(bad.start(first));
        badUrl = bad.url();
    }
    QStringList servers{badUrl};
    if (goodSecond) {
        QVERIFY(good.start({}));
        servers << good.url();
    }
    const std::unique_ptr<DirectoryClient> client = clientFor(servers);
    Answers answers(*client);
    const int id = client->search(DirectoryQuery());
    WALL_TRY_VERIFY(answers.count() > 0, kWaitMs);
    if (!first.isEmpty())
        QCOMPARE(bad.requests(QStringLiteral("/json/stations/search")).size(), 1);
    if (message.isEmpty()) {
        QCOMPARE(answers.finished, QList<int>{id});
        QCOMPARE(answers.names(), kWorkingChinese);
        QVERIFY(!answers.more);
    } else {
        QCOMPARE(answers.failed, QList<int>{id});
        QCOMPARE(answers.messages, QStringList{message});
        QVERIFY(answers.finished.isEmpty());
    }
    if (first.contains(QLatin1String("--delay")))
        WALL_TRY_COMPARE(bad.lines(QStringLiteral("HUNGUP ")).size(), 1, kWaitMs);
    if (first.contains(QLatin1String("--huge")) || first.contains(QLatin1String("--huge-announced"))) {
        WALL_TRY_COMPARE(bad.lines(QStringLiteral("SENT ")).size(), 1, kWaitMs);
        const qint64 sent = bad.lines(QStringLiteral("SENT ")).constFirst().section(QLatin1Char(' '), 0, 0).toLongLong();
        // Of 256 MiB: what was read, and what the two sockets' buffers took
        // before the client hung up (on loopback up to some tens of MiB).
        QVERIFY2(sent < 64 * 1024 * 1024, qPrintable(QString::number(sent)));
    }
    if (goodSecond) {
        // The server that answered is asked first from now on.
        const int again = client->search(DirectoryQuery());
        WALL_TRY_COMPARE(answers.finished.size(), 2, kWaitMs);
        QCOMPARE(answers.finished.last(), again);
        QCOMPARE(good.requests(QStringLiteral("/json/stations/search")).size(), 2);
        if (!first.isEmpty())
            QCOMPARE(bad.requests(QStringLiteral("/json/stations/search")).size(), 1);
    }
}

// What goes out: every field of the query, encoded so that "&" and "+"
// arrive as typed, popularity order, paging; the User-Agent names the program.
void TestDirectoryClient::searchesAsAsked()
{
    DirectoryServer server;
    QVERIFY(server.start({"--extra", "12"}));
    const std::unique_ptr<DirectoryClient> client = clientFor({server.url()});
    Answers answers(*client);
    const auto ask = [&](const DirectoryQuery &query) {
        const int before = int(answers.finished.size());
        const int id = client->search(query);
        return testing::waitUntil([&] { return answers.count() > before; }, kWaitMs) && answers.finished.last() == id;
    };
    DirectoryQuery byName;
    byName.name = QStringLiteral(" & 流行 + ");
    QVERIFY(ask(byName));
    QCOMPARE(answers.names(), QStringList{QStringLiteral("摇滚 & 流行 + 电台")});

    DirectoryQuery jazz;
    jazz.countryCode.clear();
    jazz.tag = QStringLiteral("jazz");
    jazz.language = QStringLiteral("english");
    QVERIFY(ask(jazz));
    QCOMPARE(answers.stations.size(), 1);
    QCOMPARE(answers.stations[0].countryCode, QStringLiteral("CH"));
    QCOMPARE(answers.stations[0].tags, QStringList{QStringLiteral("jazz")});

    DirectoryQuery broken;
    broken.name = QStringLiteral("停播");
    QVERIFY(ask(broken));
    QVERIFY(answers.stations.isEmpty());
    broken.hideBroken = false;
    QVERIFY(ask(broken));
    QCOMPARE(answers.stations.size(), 1);
    QVERIFY(!answers.stations[0].working);

    DirectoryQuery page;
    page.tag = QStringLiteral("test");
    page.limit = 5;
    QVERIFY(ask(page));
    QCOMPARE(answers.names().join(QLatin1Char('|')), QStringLiteral("测试电台 1|测试电台 2|测试电台 3|测试电台 4|测试电台 5"));
    QVERIFY(answers.more);
    page.offset = 10;
    QVERIFY(ask(page));
    QCOMPARE(answers.names().join(QLatin1Char('|')), QStringLiteral("测试电台 11|测试电台 12"));
    QVERIFY(!answers.more);

    const QStringList requests = server.requests(QStringLiteral("/json/stations/search"));
    QCOMPARE(requests.size(), 6);
    QVERIFY2(requests.last().contains(QLatin1String("countrycode=CN&hidebroken=true&limit=5&offset=10&order=clickcount&reverse=true&tag=test ")),
             qPrintable(requests.last()));
    for (const QString &request : requests)
        QVERIFY2(request.endsWith(QLatin1String(" Kelvaro/" KELVARO_VERSION_TEXT)), qPrintable(request));
}

// A hostile answer: every station kept fits a station line and is one the
// player opens; duplicates once; refused addresses replaced or dropped.
void TestDirectoryClient::cleansHostileStations()
{
    DirectoryServer server;
    QVERIFY(server.start({"--stations", "nasty"}));
    const std::unique_ptr<DirectoryClient> client = clientFor({server.url()});
    Answers answers(*client);
    DirectoryQuery all;
    all.countryCode.clear();
    all.hideBroken = false;
    client->search(all);
    WALL_TRY_VERIFY(answers.count() > 0, kWaitMs);
    QStringList got;
    for (const DirectoryStation &s : std::as_const(answers.stations)) {
        got << s.name + QStringLiteral(" <") + s.address + QLatin1Char('>');
        QVERIFY2(StationDocument::nameProblem(s.name).isEmpty(), qPrintable(s.name));
        QVERIFY2(StationDocument::addressProblem(s.address).isEmpty() && isAllowedStreamAddress(s.address),
                 qPrintable(s.address));
    }
    const QStringList expected = {
        QStringLiteral("新闻；广播 <http://127.0.0.1:9/semicolons>"),
        QStringLiteral("第一行 第二行 第三行 <http://127.0.0.1:9/lines>"),
        QStringLiteral("右到左 <http://127.0.0.1:9/rlo>"),
        QStringLiteral("音乐 🎵 电台 <http://127.0.0.1:9/emoji>"),
        QStringLiteral("脚本 <http://127.0.0.1:9/resolved>"),
        QStringLiteral("nameless.invalid <http://nameless.invalid:8000/live>"),
        QStringLiteral("尾巴 <http://127.0.0.1:9/tail>"),
        QStringLiteral("控制 字符[31m <http://127.0.0.1:9/controls>"),
    };
    QCOMPARE(got, expected);
    const DirectoryStation &tail = answers.stations[6];
    QCOMPARE(tail.countryCode, QStringLiteral("CN"));
    QCOMPARE(tail.tags, (QStringList{QStringLiteral("pop"), QStringLiteral("news")}));
    QVERIFY(!tail.working);
    QVERIFY(answers.stations[0].working);
}

// A newer search, or cancelSearch(), ends the search in flight: its
// connection is closed and it is never answered.
void TestDirectoryClient::newerSearchCancelsOlder()
{
    DirectoryServer server;
    QVERIFY(server.start({"--delay", "1"}));
    const std::unique_ptr<DirectoryClient> client = clientFor({server.url()});
    Answers answers(*client);
    const int older = client->search(DirectoryQuery());
    WALL_TRY_COMPARE(server.requests(QStringLiteral("/json/stations/search")).size(), 1, kWaitMs);
    DirectoryQuery other;
    other.name = QStringLiteral("音乐");
    const int newer = client->search(other);
    QVERIFY(newer != older);
    WALL_TRY_VERIFY(answers.count() > 0, kWaitMs);
    QCOMPARE(answers.finished, QList<int>{newer});
    QCOMPARE(answers.names(), QStringList{QStringLiteral("示例音乐台")});
    QCOMPARE(server.lines(QStringLiteral("HUNGUP ")).size(), 1);

    client->search(DirectoryQuery());
    WALL_TRY_COMPARE(server.requests(QStringLiteral("/json/stations/search")).size(), 3, kWaitMs);
    client->cancelSearch();
    WALL_TRY_COMPARE(server.lines(QStringLiteral("HUNGUP ")).size(), 2, kWaitMs);
    QTest::qWait(300);
    QCOMPARE(answers.count(), 1);
}

// One request per listen, to the station's own /json/url/<uuid>; ids that
// are not station ids are not sent.
void TestDirectoryClient::countsListens()
{
    DirectoryServer server;
    QVERIFY(server.start({}));
    const std::unique_ptr<DirectoryClient> client = clientFor({server.url()});
    Answers answers(*client);
    client->search(DirectoryQuery());
    WALL_TRY_VERIFY(answers.count() > 0, kWaitMs);
    QCOMPARE(answers.stations.size(), kWorkingChinese.size());
    const QString uuid = answers.stations[1].uuid;
    QVERIFY(!uuid.isEmpty());
    client->countListen(QStringLiteral("../tags"));
    client->countListen(uuid);
    WALL_TRY_COMPARE(server.lines(QStringLiteral("CLICK ")), QStringList{uuid}, kWaitMs);
    QCOMPARE(server.lines(QStringLiteral("REQUEST ")).size(), 2);
}

// Filter lists: asked for once while the program runs, the most used tags
// first; a failure is told and not kept.
void TestDirectoryClient::filterListsCached()
{
    DirectoryServer server;
    QVERIFY(server.start({"--extra", "3"}));
    const std::unique_ptr<DirectoryClient> client = clientFor({server.url()});
    Answers answers(*client);
    using Kind = DirectoryClient::FilterKind;
    QList<QList<DirectoryFilter>> lists;
    for (Kind kind : {Kind::Tags, Kind::Countries, Kind::Languages}) {
        client->requestFilters(kind);
        WALL_TRY_COMPARE(answers.filterKinds.size(), int(lists.size()) + 1, kWaitMs);
        QCOMPARE(answers.filterKinds.last(), kind);
        lists << answers.filters;
    }
    const QList<DirectoryFilter> &tags = lists[0];
    QVERIFY(tags.size() >= 3);
    QCOMPARE(tags[0].name, QStringLiteral("test"));
    QCOMPARE(tags[0].stationCount, 3);
    for (qsizetype i = 1; i < tags.size(); ++i)
        QVERIFY(tags[i - 1].stationCount >= tags[i].stationCount);
    QCOMPARE(lists[1].size(), 2);
    QCOMPARE(lists[1][0].code, QStringLiteral("CN"));
    QCOMPARE(lists[1][0].name, QStringLiteral("China"));
    QCOMPARE(lists[1][0].stationCount, 8);  // the broken one not counted
    QCOMPARE(lists[2][0].name, QStringLiteral("chinese"));

    for (Kind kind : {Kind::Tags, Kind::Countries, Kind::Languages})
        client->requestFilters(kind);
    WALL_TRY_COMPARE(answers.filterKinds.size(), 6, kWaitMs);
    QCOMPARE(answers.filters.size(), lists[2].size());
    for (const QString path : {"/json/tags", "/json/countries", "/json/languages"})
        QCOMPARE(server.requests(path).size(), 1);
    QVERIFY(server.requests(QStringLiteral("/json/tags")).constFirst().contains(
        QLatin1String("hidebroken=true&limit=200&order=stationcount&reverse=true ")));

    DirectoryServer failing;
    QVERIFY(failing.start({"--status", "503"}));
    const std::unique_ptr<DirectoryClient> second = clientFor({failing.url()});
    Answers failures(*second);
    second->requestFilters(Kind::Tags);
    WALL_TRY_COMPARE(failures.messages.size(), 1, kWaitMs);
    second->requestFilters(Kind::Tags);
    WALL_TRY_COMPARE(failures.messages.size(), 2, kWaitMs);
    QCOMPARE(failing.requests(QStringLiteral("/json/tags")).size(), 2);
    QVERIFY(failures.filterKinds.isEmpty());
}

QTEST_GUILESS_MAIN(TestDirectoryClient)
#include "tst_directory_client.moc"
