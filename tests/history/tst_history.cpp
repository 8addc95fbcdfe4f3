// SPDX-License-Identifier: GPL-3.0-or-later
// 播放记录: the file survives a writer killed mid-write; searching by text and
// pinyin, newest first; repeated and empty titles; a year kept; clearing; and
// the window following what plays, copying a title and playing a row again.
#include "history_keeper.h"
#include "history_store.h"
#include "history_window.h"
#include "listening.h"
#include "playback_engine.h"
#include "wall_clock_wait.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

using namespace kelvaro;

namespace {

constexpr qint64 kDay = 24 * 60 * 60;

// The row a writer makes as its n-th: every field says n, and the title's
// length varies (up to a few pages) so that rows spill over pages.
HistoryEntry writtenRow(int n)
{
    return {0, 0, QStringLiteral("标题 %1 ").arg(n) + QString((n % 37) * 120, QChar(u'a' + n % 26)),
            QStringLiteral("电台 %1").arg(n), QStringLiteral("http://127.0.0.1:8000/%1").arg(n)};
}

// The writer run as a child: keeps rows one after another and prints how
// many are committed, until it is killed.
int writeRows(const QString &path)
{
    int argc = 1;
    char name[] = "writer";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    HistoryStore store(path);
    int n = 0;
    const auto next = [&] {
        const HistoryEntry row = writtenRow(++n);
        store.add(row.title, row.stationName, row.stationAddress);
    };
    QObject::connect(&store, &HistoryStore::added, [&] {
        std::printf("%d\n", n);
        std::fflush(stdout);
        next();
    });
    next();
    return app.exec();
}

QList<HistoryEntry> found(HistoryStore &store, const QString &text, int limit = HistoryStore::kShownRows)
{
    QSignalSpy answers(&store, &HistoryStore::found);
    const int request = store.find(text, limit);
    if (!kelvaro::testing::waitUntil([&] { return !answers.isEmpty(); }, 30000))
        return {{-1, 0, QStringLiteral("no answer"), {}, {}}};
    Q_ASSERT(answers.first().at(0).toInt() == request);
    return answers.first().at(1).value<QList<HistoryEntry>>();
}

QStringList titles(const QList<HistoryEntry> &rows)
{
    QStringList all;
    for (const HistoryEntry &row : rows)
        all << row.title;
    return all;
}

// An engine that plays at once whatever it is given, and sends the titles a
// test gives it.
class ShownEngine : public PlaybackEngine {
    Q_OBJECT
public:
    void load(const QString &) override { QTimer::singleShot(0, this, [this] { emit loaded(false); emit playing(); }); }
    void stop() override {}
    void setPaused(bool) override {}
    void setVolume(int) override {}
    void setMute(bool) override {}
    void requestPlaybackTime() override {}
    void restartSoundOutput() override {}
    void checkSoundOutput() override {}
};

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void killedWriterLeavesAWholeFile();
    void findsKeepsAYearAndClears();
    void windowFollowsCopiesAndPlaysAgain();

private:
    QTemporaryDir data_;
};

void TestHistory::initTestCase()
{
    QVERIFY(data_.isValid());
    qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
}

void TestHistory::killedWriterLeavesAWholeFile()
{
    const QString path = historyFilePath(QString());
    QVERIFY(path.startsWith(data_.path()));
    QProcess writer;
    writer.setProgram(QCoreApplication::applicationFilePath());
    writer.setArguments({QStringLiteral("--write-rows"), path});
    writer.setReadChannel(QProcess::StandardOutput);
    int committed = 0;
    QObject::connect(&writer, &QProcess::readyReadStandardOutput, [&] {
        while (writer.canReadLine())
            committed = writer.readLine().trimmed().toInt();
    });
    writer.start();
    // Past the first automatic checkpoint of the log (1000 pages): the kill
    // may come while rows are written or while the log is copied back.
    WALL_TRY_VERIFY(committed >= 2500 || writer.state() == QProcess::NotRunning, 120000);
    QCOMPARE(writer.state(), QProcess::Running);
    writer.kill();  // SIGKILL: no chance to finish anything
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    writer.readAllStandardOutput();

    {
        QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        check.setDatabaseName(path);
        QVERIFY(check.open());
        QSqlQuery integrity(check);
        QVERIFY(integrity.exec(QStringLiteral("PRAGMA integrity_check")));
        QVERIFY(integrity.next());
        QCOMPARE(integrity.value(0).toString(), QStringLiteral("ok"));
        integrity.finish();
        check.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));

    HistoryStore store(path);
    const QList<HistoryEntry> rows = found(store, QString(), 1'000'000);
    QVERIFY2(rows.size() >= committed, qPrintable(QStringLiteral("%1 rows of %2 committed").arg(rows.size()).arg(committed)));
    QVERIFY(committed > 0);
    QVERIFY(!store.failed());
    // Every row whole and as written, newest first: the n-th row written
    // comes after the n+1-th, and none is missing in between.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const int n = int(rows.size() - i);
        HistoryEntry expected = writtenRow(n);
        expected.id = rows[i].id;
        expected.time = rows[i].time;
        QCOMPARE(rows[i], expected);
    }
}

void TestHistory::findsKeepsAYearAndClears()
{
    const QString path = data_.filePath(QStringLiteral("search/history.sqlite"));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString voice = QStringLiteral("http://127.0.0.1:8001/voice");
    const QString music = QStringLiteral("http://127.0.0.1:8001/music");
    const QString sunny = QStringLiteral("周杰伦 - 晴天");
    {
        HistoryStore store(path);
        QSignalSpy kept(&store, &HistoryStore::added);
        store.addAt(now - 400 * kDay, QStringLiteral("旧歌"), QStringLiteral("中国之声"), voice);
        store.addAt(now - 300 * kDay, QStringLiteral("Morning Song"), QStringLiteral("中国之声"), voice);
        store.addAt(now - 200 * kDay, sunny, QStringLiteral("Music FM"), music);
        store.addAt(now - 100 * kDay, sunny, QStringLiteral("Music FM"), music);  // sent again: not kept
        store.addAt(now - 50 * kDay, QStringLiteral("Morning Song"), QStringLiteral("Music FM"), music);
        store.addAt(now - 10 * kDay, QStringLiteral(" "), QStringLiteral("Music FM"), music);  // no title
        store.addAt(now - 5 * kDay, sunny, QStringLiteral("Music FM"), music);  // after another title: kept
        QCOMPARE(titles(found(store, QStringLiteral("旧歌"))), QStringList{QStringLiteral("旧歌")});
        QCOMPARE(kept.size(), 5);
    }

    // Opened again: older than a year is gone, the rest newest first.
    HistoryStore store(path);
    QList<HistoryEntry> all = found(store, QString());
    QCOMPARE(titles(all), (QStringList{sunny, QStringLiteral("Morning Song"), sunny, QStringLiteral("Morning Song")}));
    QCOMPARE(all[0].time, now - 5 * kDay);
    QCOMPARE(all[3].stationAddress, voice);
    QCOMPARE(found(store, QString(), 2), all.mid(0, 2));

    // Text as written in any case, in the title or the station's name.
    QCOMPARE(found(store, QStringLiteral("morning")), (QList<HistoryEntry>{all[1], all[3]}));
    QCOMPARE(found(store, QStringLiteral("music fm")), all.mid(0, 3));
    QCOMPARE(found(store, QStringLiteral("晴天")), (QList<HistoryEntry>{all[0], all[2]}));
    // Pinyin, by initials or whole syllables, of the station or the title.
    QCOMPARE(found(store, QStringLiteral("zgzs")), QList<HistoryEntry>{all[3]});
    QCOMPARE(found(store, QStringLiteral("ZhongGuo")), QList<HistoryEntry>{all[3]});
    QCOMPARE(found(store, QStringLiteral("zjlqt")), (QList<HistoryEntry>{all[0], all[2]}));
    QVERIFY(found(store, QStringLiteral("zgq")).isEmpty());

    QSignalSpy cleared(&store, &HistoryStore::cleared);
    store.clear();
    QVERIFY(found(store, QString()).isEmpty());
    QCOMPARE(cleared.size(), 1);
}

void TestHistory::windowFollowsCopiesAndPlaysAgain()
{
    HistoryStore store(data_.filePath(QStringLiteral("window/history.sqlite")));
    QList<ShownEngine *> engines;
    Listening listening([&engines](bool) {
        engines << new ShownEngine;
        return engines.last();
    });
    HistoryKeeper keeper(listening, store);
    HistoryWindow window(store, listening);
    window.open();
    QTreeWidget *list = window.list();

    const Station voice{QStringLiteral("http://127.0.0.1:8002/voice"), QStringLiteral("中国之声"), {}};
    const Station music{QStringLiteral("http://127.0.0.1:8002/music"), QStringLiteral("经济之声"), {}};
    QVERIFY(listening.choose(voice));
    WALL_TRY_VERIFY(listening.isPlaying(), 10000);
    emit engines.first()->titleChanged(QByteArrayLiteral("新闻和报纸摘要"));
    WALL_TRY_COMPARE(list->topLevelItemCount(), 1, 10000);
    emit engines.first()->titleChanged(QByteArrayLiteral("全国新闻联播"));
    WALL_TRY_COMPARE(list->topLevelItemCount(), 2, 10000);
    QCOMPARE(list->topLevelItem(0)->text(HistoryWindow::TitleColumn), QStringLiteral("全国新闻联播"));
    QCOMPARE(list->topLevelItem(1)->text(HistoryWindow::StationColumn), voice.name);

    // The row chosen stays chosen as a new one comes in above it.
    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(listening.choose(music));
    WALL_TRY_VERIFY(listening.isPlaying(), 10000);
    emit engines.first()->titleChanged(QByteArrayLiteral("音乐时间"));
    WALL_TRY_COMPARE(list->topLevelItemCount(), 3, 10000);
    QCOMPARE(list->currentItem()->text(HistoryWindow::TitleColumn), QStringLiteral("新闻和报纸摘要"));

    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("新闻和报纸摘要"));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(listening.station(), voice);

    // Searching narrows the list to the rows of the station read as pinyin.
    window.searchField()->setText(QStringLiteral("jjzs"));
    WALL_TRY_COMPARE(list->topLevelItemCount(), 1, 10000);
    QCOMPARE(list->topLevelItem(0)->text(HistoryWindow::TitleColumn), QStringLiteral("音乐时间"));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--write-rows") == 0)
        return writeRows(QString::fromLocal8Bit(argv[2]));
    QApplication app(argc, argv);
    TestHistory test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
