// SPDX-License-Identifier: GPL-3.0-or-later
// kelvaro-check --probe, run as a program against local servers: a real
// Icecast mount, the fault server (404, 500, stall, garbage, playlists), a
// closed port, a page server and refused addresses, in one list. Checks the
// kind of every result in file order, both outputs, the exit codes, that no
// more than --jobs connections are ever open, and Ctrl-C.
#include "page_server.h"
#include "player_test_support.h"
#include "wall_clock_wait.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#endif

using namespace kelvaro;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString checker() { return QStringLiteral(KELVARO_BINARY_DIR "/kelvaro-check"); }

// Runs the checker while the test's own event loop keeps running (the
// test's servers live on it).
Run runChecker(const QStringList &args, int timeoutMs = 120000)
{
    QProcess process;
    process.start(checker(), args);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    QDeadlineTimer deadline(timeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(50);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

// Accepts connections and never answers; counts how many are open at once.
class SilentServer : public QObject {
public:
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    int accepted() const { return m_accepted; }
    int open() const { return int(m_open.size()); }
    int mostOpen() const { return m_mostOpen; }

    SilentServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                // A connection closed just before this one arrived may not
                // have been noticed yet: look at each open one first.
                for (QTcpSocket *other : QList<QTcpSocket *>(m_open))
                    other->waitForReadyRead(0);
                ++m_accepted;
                m_open.append(socket);
                m_mostOpen = std::max(m_mostOpen, open());
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    m_open.removeAll(socket);
                    socket->deleteLater();
                });
            }
        });
    }

private:
    QTcpServer m_server;
    QList<QTcpSocket *> m_open;
    int m_accepted = 0;
    int m_mostOpen = 0;
};

}  // namespace

class TestStationProbe : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mixedListInFileOrder();
    void exitCodes_data();
    void exitCodes();
    void neverMoreThanJobsConnections();
    void interruptPrintsWhatIsKnown();

private:
    QString write(const QString &name, const QString &text);

    QTemporaryDir m_dir;
    testing::FaultServer m_faults;
    testing::IcecastServer m_icecast;
    testing::PageServer m_pages;
};

void TestStationProbe::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(checker()));
    const QString mp3 = m_dir.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(testing::makeTone(mp3, 440, 20,
                              {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                               QStringLiteral("128k")}));
    QVERIFY(m_faults.start(mp3));

    QVERIFY2(m_icecast.start(), qPrintable(m_icecast.errorLog()));
    QVERIFY(m_icecast.startMp3Source(QStringLiteral("/tone.mp3"), 440));
    QVERIFY2(m_icecast.waitForMount(QStringLiteral("/tone.mp3")), qPrintable(m_icecast.errorLog()));

    const QString pages = m_dir.filePath(QStringLiteral("pages"));
    QVERIFY(QDir().mkpath(pages));
    QFile page(pages + QStringLiteral("/radio.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><body>radio</body></html>");
    page.close();
    QVERIFY(m_pages.start(pages));
}

QString TestStationProbe::write(const QString &name, const QString &text)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(text.toUtf8());
    return path;
}

void TestStationProbe::mixedListInFileOrder()
{
    const QString page = QStringLiteral("http://127.0.0.1:%1").arg(m_pages.port());
    const QString closedPort = QStringLiteral("http://127.0.0.1:%1/live").arg(testing::freePort());
    // name, address, expected result, failure word (or HTTP status for a page)
    struct Row {
        QString name, address, result, detail;
    };
    const QList<Row> rows = {
        {QStringLiteral("icecast"), m_icecast.url(QStringLiteral("/tone.mp3")), "plays", ""},
        {QStringLiteral("missing"), m_faults.url(QStringLiteral("/404")), "fails", "not-found"},
        {QStringLiteral("broken"), m_faults.url(QStringLiteral("/500")), "fails", "server-error"},
        {QStringLiteral("closed"), closedPort, "fails", "cannot-connect"},
        {QStringLiteral("local file"), QStringLiteral("file:///etc/hostname"), "refused", "refused"},
        {QStringLiteral("page"), page + QStringLiteral("/radio.html#1"), "page", "200"},
        {QStringLiteral("stall"), m_faults.url(QStringLiteral("/stall")), "fails", "timeout"},
        {QStringLiteral("garbage"), m_faults.url(QStringLiteral("/garbage")), "fails", "unsupported"},
        {QStringLiteral("pls to a dead mount"),
         m_faults.url(QStringLiteral("/list.pls?target=") + m_icecast.url(QStringLiteral("/gone.mp3"))), "fails",
         "not-found"},
        {QStringLiteral("asx to the mount"),
         m_faults.url(QStringLiteral("/list.asx?target=") + m_icecast.url(QStringLiteral("/tone.mp3"))), "plays", ""},
        {QStringLiteral("titled"), m_faults.url(QStringLiteral("/stream.mp3?title=%E6%99%9A%E9%97%B4%E6%96%B0%E9%97%BB")),
         "plays", "晚间新闻"},
        {QStringLiteral("gone page"), page + QStringLiteral("/gone.html#1"), "page", "404"},
        {QStringLiteral("file page"), QStringLiteral("file:///etc/hostname.html#1"), "refused", "refused"},
    };
    // Two categories, the first heading repeated: its stations are grouped
    // in the tree but keep their file order in JSON. A duplicate address and
    // a station before any heading are not in the tree and not probed.
    QString list = QStringLiteral("orphan;;%1;;\r\n").arg(rows[1].address);
    list += QStringLiteral("直播;;mms://127.0.0.1;;\r\n");
    for (int i = 0; i < 6; ++i)
        list += rows[i].name + QStringLiteral(";;") + rows[i].address + QStringLiteral(";;\r\n");
    list += QStringLiteral("其他;;mms://127.0.0.1;;\r\n");
    for (int i = 6; i < 9; ++i)
        list += rows[i].name + QStringLiteral(";;") + rows[i].address + QStringLiteral(";;\r\n");
    list += QStringLiteral("直播;;mms://127.0.0.1;;\r\n");
    for (int i = 9; i < rows.size(); ++i)
        list += rows[i].name + QStringLiteral(";;") + rows[i].address + QStringLiteral(";;\r\n");
    list += QStringLiteral("again;;%1;;\r\n").arg(rows[0].address);
    const QString path = write(QStringLiteral("mixed.ini"), list);

    const Run json = runChecker({QStringLiteral("--probe"), QStringLiteral("--jobs"), QStringLiteral("4"),
                                 QStringLiteral("--timeout"), QStringLiteral("3"), QStringLiteral("--json"), path});
    QCOMPARE(json.exitCode, 1);
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(json.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(sortedKeys(root), (QStringList{"elapsed_seconds", "encoding", "interrupted", "jobs", "problems",
                                            "stations", "summary", "timeout_seconds"}));
    QCOMPARE(root[QLatin1String("interrupted")].toBool(), false);
    QCOMPARE(root[QLatin1String("jobs")].toInt(), 4);
    // The orphan, the repeated heading and the duplicate address.
    QCOMPARE(root[QLatin1String("problems")].toArray().size(), 3);

    const QJsonArray stations = root[QLatin1String("stations")].toArray();
    QCOMPARE(stations.size(), rows.size());
    int previousRow = 0;
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject s = stations[i].toObject();
        const QByteArray where = rows[i].name.toUtf8() + ": " + QJsonDocument(s).toJson(QJsonDocument::Compact);
        QVERIFY2(s[QLatin1String("row")].toInt() > previousRow, where.constData());
        previousRow = s[QLatin1String("row")].toInt();
        QCOMPARE(s[QLatin1String("name")].toString(), rows[i].name);
        QCOMPARE(s[QLatin1String("address")].toString(), rows[i].address);
        QCOMPARE(s[QLatin1String("category")].toString(),
                 i >= 6 && i < 9 ? QStringLiteral("其他") : QStringLiteral("直播"));
        QVERIFY2(s[QLatin1String("result")].toString() == rows[i].result, where.constData());
        if (rows[i].result == QLatin1String("plays")) {
            QCOMPARE(sortedKeys(s), (QStringList{"address", "category", "line", "name", "result", "row",
                                                 "seconds_to_audio", "title"}));
            // The Icecast mount sends no title of its own.
            QVERIFY2(s[QLatin1String("title")].toString() == rows[i].detail, where.constData());
            QVERIFY(s[QLatin1String("seconds_to_audio")].toDouble() > 0);
        } else if (rows[i].result == QLatin1String("page")) {
            QVERIFY2(s[QLatin1String("http_status")].toInt() == rows[i].detail.toInt(), where.constData());
        } else {
            QVERIFY2(s[QLatin1String("failure")].toString() == rows[i].detail, where.constData());
            QVERIFY(!s[QLatin1String("message")].toString().isEmpty());
        }
    }
    const QJsonObject summary = root[QLatin1String("summary")].toObject();
    QCOMPARE(summary[QLatin1String("plays")].toInt(), 3);
    QCOMPARE(summary[QLatin1String("fails")].toInt(), 6);
    QCOMPARE(summary[QLatin1String("refused")].toInt(), 2);
    QCOMPARE(summary[QLatin1String("pages")].toInt(), 2);
    QCOMPARE(summary[QLatin1String("pages_with_error")].toInt(), 1);
    QCOMPARE(summary[QLatin1String("not_probed")].toInt(), 0);

    // The text: the categories of the tree, each once, with the player's own
    // Chinese texts; no progress line when the output is not a terminal.
    const Run text = runChecker({QStringLiteral("--probe"), QStringLiteral("--timeout"), QStringLiteral("3"), path});
    QCOMPARE(text.exitCode, 1);
    const QString out = QString::fromUtf8(text.out);
    QVERIFY2(!out.contains(QLatin1Char('\r')), qPrintable(out));
    const qsizetype live = out.indexOf(QStringLiteral("\n  直播\n"));
    const qsizetype other = out.indexOf(QStringLiteral("\n  其他\n"));
    QVERIFY2(live > 0 && other > live && out.count(QStringLiteral("\n  直播\n")) == 1, qPrintable(out));
    // The repeated category's later stations come under its one heading.
    QVERIFY2(out.indexOf(QStringLiteral("asx to the mount")) < other, qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("missing  <") + rows[1].address + QStringLiteral(">  not-found: 找不到该地址（404）\n")),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("\"晚间新闻\"")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Plays: 3, fails: 6, refused: 2, pages: 2 (1 with an error)\n")),
             qPrintable(out));
}

void TestStationProbe::exitCodes_data()
{
    QTest::addColumn<QString>("list");  // "plays", "missing", "empty"
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    const QStringList probe = {QStringLiteral("--probe"), QStringLiteral("--timeout"), QStringLiteral("3")};
    QTest::newRow("every station plays") << "plays" << probe << 0;
    QTest::newRow("every station plays, json") << "plays" << (probe + QStringList{"--json"}) << 0;
    QTest::newRow("no station") << "empty" << probe << 0;
    QTest::newRow("unreadable list") << "missing" << probe << 2;
    QTest::newRow("jobs 0") << "plays" << (probe + QStringList{"--jobs", "0"}) << 2;
    QTest::newRow("timeout not a number") << "plays" << QStringList{"--probe", "--timeout", "x"} << 2;
    QTest::newRow("jobs without probe") << "plays" << QStringList{"--jobs=2"} << 2;
}

void TestStationProbe::exitCodes()
{
    QFETCH(QString, list);
    QFETCH(QStringList, args);
    QString path;
    if (list == QLatin1String("plays"))
        path = write(QStringLiteral("plays.ini"),
                     QStringLiteral("音乐;;mms://127.0.0.1;;\r\n曲;;%1;;\r\n页;;http://127.0.0.1:%2/radio.html#1;;\r\n")
                         .arg(m_faults.url(QStringLiteral("/stream.mp3")))
                         .arg(m_pages.port()));
    else if (list == QLatin1String("empty"))
        path = write(QStringLiteral("empty.ini"), QStringLiteral("音乐;;mms://127.0.0.1;;\r\n"));
    else
        path = m_dir.filePath(QStringLiteral("no such list.ini"));
    const Run run = runChecker(args + QStringList{path});
    QTEST(run.exitCode, "exitCode");
    if (run.exitCode == 2) {
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    } else if (args.contains(QLatin1String("--json"))) {
        const QJsonObject root = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(root[QLatin1String("summary")][QLatin1String("plays")].toInt(), 1);
        QCOMPARE(root[QLatin1String("summary")][QLatin1String("pages")].toInt(), 1);
    }
}

void TestStationProbe::neverMoreThanJobsConnections()
{
    SilentServer server;
    QVERIFY(server.listen());
    QString list = QStringLiteral("慢;;mms://127.0.0.1;;\r\n");
    for (int i = 1; i <= 7; ++i)
        list += QStringLiteral("s%1;;%2;;\r\n").arg(i).arg(server.url(QStringLiteral("/s%1").arg(i)));
    const Run run = runChecker({QStringLiteral("--probe"), QStringLiteral("--jobs"), QStringLiteral("3"),
                                QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("--json"),
                                write(QStringLiteral("silent.ini"), list)});
    QCOMPARE(run.exitCode, 1);
    const QJsonArray stations = QJsonDocument::fromJson(run.out).object()[QLatin1String("stations")].toArray();
    QCOMPARE(stations.size(), 7);
    for (const auto &s : stations)
        QCOMPARE(s[QLatin1String("failure")].toString(), QStringLiteral("timeout"));
    // One connection per station, never more than three at once, and each
    // closed when its station was given up.
    QCOMPARE(server.accepted(), 7);
    QCOMPARE(server.mostOpen(), 3);
    WALL_TRY_COMPARE(server.open(), 0, 5000);
}

void TestStationProbe::interruptPrintsWhatIsKnown()
{
#ifndef Q_OS_UNIX
    QSKIP("sends SIGINT");
#else
    SilentServer server;
    QVERIFY(server.listen());
    QString list = QStringLiteral("慢;;mms://127.0.0.1;;\r\n");
    list += QStringLiteral("missing;;%1;;\r\n").arg(m_faults.url(QStringLiteral("/404")));
    for (int i = 1; i <= 4; ++i)
        list += QStringLiteral("s%1;;%2;;\r\n").arg(i).arg(server.url(QStringLiteral("/s%1").arg(i)));
    QProcess process;
    process.start(checker(), {QStringLiteral("--probe"), QStringLiteral("--jobs"), QStringLiteral("3"),
                              QStringLiteral("--timeout"), QStringLiteral("120"),
                              write(QStringLiteral("interrupt.ini"), list)});
    QVERIFY(process.waitForStarted(10000));
    // Interrupted once the first result is out and the stalls are open.
    QByteArray out;
    WALL_TRY_VERIFY((out += process.readAllStandardOutput()).contains("not-found") && server.open() == 3,
                             60000);
    QVERIFY(::kill(pid_t(process.processId()), SIGINT) == 0);
    WALL_TRY_VERIFY(process.state() == QProcess::NotRunning, 30000);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    out += process.readAllStandardOutput();
    const QString text = QString::fromUtf8(out);
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\n    fails +missing  <[^>]*/404>  not-found: "))),
             qPrintable(text));
    QCOMPARE(text.count(QStringLiteral("not-probed")), 4);
    QVERIFY2(text.contains(QStringLiteral("Interrupted after")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("4 station(s) not probed")), qPrintable(text));
    // The workers went with it: every connection is closed.
    WALL_TRY_COMPARE(server.open(), 0, 5000);
    QCOMPARE(server.accepted(), 3);
#endif
}

QTEST_GUILESS_MAIN(TestStationProbe)
#include "tst_station_probe.moc"
