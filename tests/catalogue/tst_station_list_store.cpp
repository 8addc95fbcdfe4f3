// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the user's own station list: the first edit makes it from the list
// shown, each save keeps one backup, undo writes the earlier version back; a
// change made outside the program is never overwritten; an unwritable folder,
// a read-only file or a full disk changes nothing; and a writer killed at any
// moment leaves the old file or the new one, never a mix.
#include "station_list_store.h"
#include "station_list_writer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace kelvaro;
using Outcome = StationListStore::Outcome;

namespace {

const QByteArray kShown = "新闻;;mms://127.0.0.1;;\r\n"
                          "中国之声;;http://127.0.0.1/zgzs;;央广\r\n"
                          "# a line of the user's own\r\n"
                          "\r\n"
                          "音乐;;mms://127.0.0.1;;\r\n";

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs one store request and waits for its outcome.
Outcome run(StationListStore &store, const std::function<void()> &request)
{
    QSignalSpy spy(&store, &StationListStore::finished);
    request();
    if (!spy.wait(20000))
        return {Outcome::Kind::Failed, QStringLiteral("no outcome"), nullptr, false};
    return spy.takeFirst().at(0).value<Outcome>();
}

StationListStore::Edit addStation(const QString &name, const QString &address)
{
    return [=](StationDocument &d) { return d.addStation(QStringLiteral("新闻"), -1, {name, address, {}}); };
}

// The writer killed at random moments: `--save-loop PATH` writes two
// versions over each other until it is killed.
const QByteArray kVersionA = QByteArray("a;;mms://127.0.0.1;;\n").repeated(4000);
const QByteArray kVersionB = QByteArray("bb;;mms://127.0.0.1;;\r\n").repeated(6000);

int saveLoop(const QString &path)
{
    for (bool a = true;; a = !a) {
        if (!replaceFileAtomically(path, a ? kVersionA : kVersionB, a ? &kVersionB : &kVersionA).isEmpty())
            return 1;
    }
}

}  // namespace

class TestStationListStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<Outcome>(); }
    void firstEditMakesTheOwnListThenBackupAndUndo();
    void changeOutsideIsNeverOverwritten();
    void failuresChangeNothing();
    void killedWhileSavingLeavesOldOrNew();
};

void TestStationListStore::firstEditMakesTheOwnListThenBackupAndUndo()
{
    QTemporaryDir dir;
    const QString shown = dir.filePath(QStringLiteral("shown.ini"));
    const QString own = dir.filePath(QStringLiteral("config/kelvaro/电台.ini"));
    QVERIFY(put(shown, kShown));
    StationListStore store(shown, own, StationDocument(kShown).tree());

    Outcome first = run(store, [&] { store.apply(addStation(QStringLiteral("经济之声"), QStringLiteral("http://127.0.0.1/jjzs"))); });
    QCOMPARE(first.kind, Outcome::Kind::Saved);
    QVERIFY(first.created);
    QVERIFY2(first.message.contains(own), qPrintable(first.message));
    const QByteArray once = contents(own);
    QVERIFY(once.startsWith(kShown.left(kShown.indexOf("# a line"))));
    QVERIFY(once.contains("经济之声;;http://127.0.0.1/jjzs;;\r\n# a line of the user's own\r\n\r\n音乐"));
    QCOMPARE(contents(shown), kShown);  // the list shown is only read
    QVERIFY(!QFile::exists(own + QStringLiteral(".bak")));  // nothing before it to keep

    Outcome second = run(store, [&] { store.apply(addStation(QStringLiteral("文艺之声"), QStringLiteral("http://127.0.0.1/wyzs"))); });
    QCOMPARE(second.kind, Outcome::Kind::Saved);
    QVERIFY(!second.created && second.message.isEmpty());
    QCOMPARE(contents(own + QStringLiteral(".bak")), once);
    QCOMPARE(second.document->bytes(), contents(own));

    QCOMPARE(run(store, [&] { store.undo(); }).kind, Outcome::Kind::Saved);
    QCOMPARE(contents(own), once);
    QCOMPARE(run(store, [&] { store.undo(); }).kind, Outcome::Kind::Saved);
    QCOMPARE(contents(own), kShown);
    const Outcome nothing = run(store, [&] { store.undo(); });
    QCOMPARE(nothing.kind, Outcome::Kind::Refused);
    QCOMPARE(contents(own), kShown);
}

void TestStationListStore::changeOutsideIsNeverOverwritten()
{
    QTemporaryDir dir;
    const QString own = dir.filePath(QStringLiteral("电台.ini"));
    QVERIFY(put(own, kShown));
    StationListStore store(own, own, StationDocument(kShown).tree());
    QCOMPARE(run(store, [&] { store.apply(addStation(QStringLiteral("甲"), QStringLiteral("http://127.0.0.1/a"))); }).kind,
             Outcome::Kind::Saved);

    // Another editor saves the file; the next edit must not write over it.
    const QByteArray outside = kShown + "外面加的;;http://127.0.0.1/outside;;\r\n";
    QVERIFY(put(own, outside));
    const Outcome reloaded = run(store, [&] { store.apply(addStation(QStringLiteral("乙"), QStringLiteral("http://127.0.0.1/b"))); });
    QCOMPARE(reloaded.kind, Outcome::Kind::Reloaded);
    QVERIFY(!reloaded.message.isEmpty());
    QCOMPARE(contents(own), outside);
    QCOMPARE(reloaded.document->bytes(), outside);
    // Undo would go back past the outside change: there is nothing to undo now.
    QCOMPARE(run(store, [&] { store.undo(); }).kind, Outcome::Kind::Refused);
    // The edit made again applies to what the file holds now.
    QCOMPARE(run(store, [&] { store.apply(addStation(QStringLiteral("乙"), QStringLiteral("http://127.0.0.1/b"))); }).kind,
             Outcome::Kind::Saved);
    QVERIFY(contents(own).startsWith(kShown.left(kShown.indexOf("# a line"))));
    QVERIFY(contents(own).endsWith("外面加的;;http://127.0.0.1/outside;;\r\n"));
    QVERIFY(contents(own).contains("乙;;http://127.0.0.1/b;;"));

    // A list the window shows that no longer matches the file: read again first.
    StationListStore stale(own, own, StationDocument(kShown).tree());
    QCOMPARE(run(stale, [&] { stale.apply(addStation(QStringLiteral("丙"), QStringLiteral("http://127.0.0.1/c"))); }).kind,
             Outcome::Kind::Reloaded);
    QVERIFY(!contents(own).contains("丙"));
}

void TestStationListStore::failuresChangeNothing()
{
    QTemporaryDir dir;
    const QString shown = dir.filePath(QStringLiteral("shown.ini"));
    QVERIFY(put(shown, kShown));
    const auto tree = StationDocument(kShown).tree();

    // The folder for the own list cannot be made: a file stands in its way.
    QVERIFY(put(dir.filePath(QStringLiteral("blocked")), "x"));
    StationListStore blocked(shown, dir.filePath(QStringLiteral("blocked/kelvaro/电台.ini")), tree);
    Outcome outcome = run(blocked, [&] { blocked.apply(addStation(QStringLiteral("甲"), QStringLiteral("http://127.0.0.1/a"))); });
    QCOMPARE(outcome.kind, Outcome::Kind::Failed);
    QVERIFY(outcome.message.contains(QStringLiteral("列表没有改变")));
    QCOMPARE(contents(dir.filePath(QStringLiteral("blocked"))), QByteArray("x"));

    // A list the user made read-only (refused even for root, who could write it).
    const QString readOnly = dir.filePath(QStringLiteral("ro.ini"));
    QVERIFY(put(readOnly, kShown));
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadUser));
    StationListStore locked(readOnly, readOnly, tree);
    outcome = run(locked, [&] { locked.apply(addStation(QStringLiteral("甲"), QStringLiteral("http://127.0.0.1/a"))); });
    QCOMPARE(outcome.kind, Outcome::Kind::Failed);
    QVERIFY2(outcome.message.contains(QStringLiteral("只读")), qPrintable(outcome.message));
    QCOMPARE(contents(readOnly), kShown);

#ifdef Q_OS_UNIX
    // A full disk, as a limit on the size of files this process may write.
    const QString own = dir.filePath(QStringLiteral("own.ini"));
    QVERIFY(put(own, kShown));
    StationListStore full(own, own, tree);
    rlimit before{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 64;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    outcome = run(full, [&] { full.apply(addStation(QStringLiteral("甲"), QStringLiteral("http://127.0.0.1/a"))); });
    QVERIFY(setrlimit(RLIMIT_FSIZE, &before) == 0);
    QCOMPARE(outcome.kind, Outcome::Kind::Failed);
    QCOMPARE(contents(own), kShown);
    const QStringList left = QDir(dir.path()).entryList({QStringLiteral("own.ini*")}, QDir::Files);
    QCOMPARE(left, QStringList{QStringLiteral("own.ini")});  // no half-written file beside it
    // With room again the same edit goes through.
    outcome = run(full, [&] { full.apply(addStation(QStringLiteral("甲"), QStringLiteral("http://127.0.0.1/a"))); });
    QCOMPARE(outcome.kind, Outcome::Kind::Saved);
#endif
}

void TestStationListStore::killedWhileSavingLeavesOldOrNew()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a kill that gives the process no say");
#else
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("电台.ini"));
    QVERIFY(put(path, kVersionA));
    int mixes = 0;
    for (int round = 0; round < 25; ++round) {
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-loop"), path});
        QVERIFY(writer.waitForStarted());
        QTest::qSleep(5 + QRandomGenerator::global()->bounded(40));
        writer.kill();  // SIGKILL
        QVERIFY(writer.waitForFinished(10000));
        const QByteArray now = contents(path);
        mixes += now != kVersionA && now != kVersionB;
        const QByteArray backup = contents(path + QStringLiteral(".bak"));
        mixes += backup != kVersionA && backup != kVersionB && backup != "<missing>";
    }
    QCOMPARE(mixes, 0);
#endif
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--save-loop") == 0)
        return saveLoop(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestStationListStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_station_list_store.moc"
