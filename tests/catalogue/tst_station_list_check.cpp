// SPDX-License-Identifier: GPL-3.0-or-later
// The station-list checker: every problem kind with its line, the order of
// problems, the kelvaro-check program's exit codes, text and JSON output,
// and the bundled sample list.
#include "category_tree.h"
#include "station_list_check.h"
#include "tree_view.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro;

namespace {

const QByteArray H = "mms://127.0.0.1";

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runChecker(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(KELVARO_BINARY_DIR "/kelvaro-check"), args);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QStringList summary(const QList<ListProblem> &problems)
{
    QStringList out;
    for (const ListProblem &p : problems)
        out << QStringLiteral("%1:%2").arg(p.line).arg(p.kind);
    return out;
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

QString sampleList() { return QStringLiteral(KELVARO_SOURCE_DIR "/data/电台.ini"); }

}  // namespace

class TestStationListCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void findsProblems_data();
    void findsProblems();
    void explainsDuplicates_data();
    void explainsDuplicates();
    void exitCodes_data();
    void exitCodes();
    void jsonReport();
    void textReport();
    void mixedEncodingsDecodedLineByLine();
    void bundledSampleHasNoProblem();
    void checkerTreeIsTheProgramTree();

private:
    QString write(const QByteArray &bytes);
    QTemporaryDir dir_;
    int files_ = 0;
};

void TestStationListCheck::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(QFile::exists(QStringLiteral(KELVARO_BINARY_DIR "/kelvaro-check")));
}

QString TestStationListCheck::write(const QByteArray &bytes)
{
    const QString path = dir_.filePath(QStringLiteral("list%1.ini").arg(++files_));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestStationListCheck::findsProblems_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("clean list") << "A;;" + H + ";;\r\ns;;u;;\r\n\r\nB;;" + H + ";;\r\n" << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("no-separator") << "A;;" + H + ";;\r\nbad line\r\ns;;u;;\r\n"
                                  << QStringList{"2:no-separator"};
    QByteArray full = "A;;" + H + ";;\r\n";
    for (int i = 2; i <= 902; ++i)
        full += "s" + QByteArray::number(i) + ";;u" + QByteArray::number(i) + ";;\r\n";
    QTest::newRow("over-capacity") << full << QStringList{"901:over-capacity"};
    QTest::newRow("empty-name") << "A;;" + H + ";;\r\n;;u;;\r\nt;;v;;\r\n" << QStringList{"2:empty-name"};
    QTest::newRow("empty-name in the last row") << "A;;" + H + ";;\r\n;;u;;" << QStringList{"2:empty-name"};
    QTest::newRow("station-before-category") << "s;;u;;\r\nA;;" + H + ";;\r\n"
                                             << QStringList{"1:station-before-category"};
    QTest::newRow("duplicate-key") << "A;;" + H + ";;\r\ns;;u;;\r\n\r\nt;;u;;\r\n" << QStringList{"4:duplicate-key"};
    QTest::newRow("sentinel-lookalike")
        << "A;;" + H + ";;\r\nB;;MMS://127.0.0.1;;\r\nC;;mms://127.0.0.1/;;\r\nD;;Mms://127.0.0.1/;;\r\n"
           "E;;mms://127.0.0.1//;;\r\nF;;mms://127.0.0.2;;\r\nG;; mms://127.0.0.1;;\r\n"
        << QStringList{"2:sentinel-lookalike", "3:sentinel-lookalike", "4:sentinel-lookalike"};
    QTest::newRow("nothing reported past the list's end")
        << "A;;" + H + ";;\r\n;;x;;\r\nB;;MMS://127.0.0.1;;\r\nt;;u;;\r\nt;;u;;\r\n" << QStringList{"2:empty-name"};
    QTest::newRow("too-long") << "A;;" + H + ";;\r\ns;;u;;" + QByteArray(kMaxLineBytes, 'x') + "\r\n"
                              << QStringList{"2:too-long"};
    // Problems from reading and from filling come out in line order.
    QTest::newRow("sorted by line")
        << "s;;u;;\r\nbad\r\nA;;" + H + ";;\r\nt;;u2;;\r\nx;;u2;;\r\n;;e;;\r\nlate\r\n"
        << QStringList{"1:station-before-category", "2:no-separator", "5:duplicate-key", "6:empty-name",
                       "7:no-separator"};
}

void TestStationListCheck::findsProblems()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, problems);
    const QString path = write(bytes);
    QVERIFY(!path.isEmpty());

    const StationListCheck check = checkStationList(path);
    QVERIFY(check.readable());
    QCOMPARE(summary(check.problems), problems);
    QCOMPARE(check.exitCode(), problems.isEmpty() ? 0 : 1);
    for (const ListProblem &p : check.problems)
        QVERIFY(!p.message.isEmpty());
}

void TestStationListCheck::explainsDuplicates_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("station address used before")
        << "A;;" + H + ";;\r\n\r\ns;;u;;\r\nt;;u;;\r\n" << "already used on line 3";
    QTest::newRow("repeated category joins")
        << "A;;" + H + ";;\r\ns;;u;;\r\nA;;" + H + ";;\r\n" << "already exists (line 1)";
    QTest::newRow("category name is a station address")
        << "A;;" + H + ";;\r\ns;;B;;\r\nB;;" + H + ";;\r\n" << "address of the station on line 2";
    QTest::newRow("station address is a category name")
        << "A;;" + H + ";;\r\ns;;A;;\r\n" << "name of the category on line 1";
}

void TestStationListCheck::explainsDuplicates()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, messagePart);
    const StationListCheck check = checkStationList(write(bytes));
    QCOMPARE(check.problems.size(), 1);
    QCOMPARE(check.problems[0].kind, QStringLiteral("duplicate-key"));
    QVERIFY2(check.problems[0].message.contains(messagePart), qPrintable(check.problems[0].message));
}

void TestStationListCheck::exitCodes_data()
{
    QTest::addColumn<QString>("file");  // "clean", "problems", "missing", "directory", "none"
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("exitCode");
    for (const bool json : {false, true}) {
        const QByteArray mode = json ? "json: " : "text: ";
        QTest::newRow(mode + "no problem") << "clean" << json << 0;
        QTest::newRow(mode + "problems") << "problems" << json << 1;
        QTest::newRow(mode + "missing file") << "missing" << json << 2;
        QTest::newRow(mode + "directory") << "directory" << json << 2;
        // No file named: the list the program itself reads, here the sample
        // beside the checker (the test's config folder has no personal list).
        QTest::newRow(mode + "no file given") << "none" << json << 0;
        QTest::newRow(mode + "two files") << "two" << json << 2;
    }
}

void TestStationListCheck::exitCodes()
{
    QFETCH(QString, file);
    QFETCH(bool, json);
    QString path;
    if (file == QLatin1String("clean"))
        path = write("A;;" + H + ";;\r\ns;;u;;\r\n");
    else if (file == QLatin1String("problems"))
        path = write("s;;u;;\r\n");
    else if (file == QLatin1String("missing"))
        path = dir_.filePath(QStringLiteral("no such file.ini"));
    else if (file == QLatin1String("directory"))
        path = dir_.path();
    QStringList args;
    if (json)
        args << QStringLiteral("--json");
    if (!path.isEmpty())
        args << path;
    if (file == QLatin1String("two"))
        args << write("A;;" + H + ";;\r\n") << write("B;;" + H + ";;\r\n");

    const Run run = runChecker(args);
    QTEST(run.exitCode, "exitCode");
    if (file == QLatin1String("none"))
        QVERIFY2(QString::fromUtf8(run.err).contains(QStringLiteral(KELVARO_BINARY_DIR "/电台.ini")), run.err.constData());
    if (run.exitCode == 2) {
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    } else if (json) {
        QJsonParseError error;
        QVERIFY(QJsonDocument::fromJson(run.out, &error).isObject());
        QCOMPARE(error.error, QJsonParseError::NoError);
    }
}

void TestStationListCheck::jsonReport()
{
    // GB18030: 新闻 heading, 中国之声 station, a row with an empty name and
    // one row after it, and a line without separators.
    const QByteArray gb = "\xD0\xC2\xCE\xC5;;mms://127.0.0.1;;\r\n"
                          "\xD6\xD0\xB9\xFA\xD6\xAE\xC9\xF9;;http://a/zgzs;;\"q\"\\\t\r\n"
                          "oops\r\n"
                          ";;http://a/end;;\r\n"
                          "late;;http://a/late;;x";
    const Run run = runChecker({QStringLiteral("--json"), write(gb)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.contains("中国之声"));  // written as UTF-8, not escaped
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject root = doc.object();
    QCOMPARE(sortedKeys(root), (QStringList{"encoding", "problems", "rows", "tree"}));
    QCOMPARE(root[QLatin1String("encoding")].toString(), QStringLiteral("gb18030"));

    const QJsonArray rows = root[QLatin1String("rows")].toArray();
    QCOMPARE(rows.size(), 4);  // rows after the list's end are listed too
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(sortedKeys(rows[i].toObject()), (QStringList{"address", "extra", "name", "row"}));
        QCOMPARE(rows[i][QLatin1String("row")].toInt(), i + 1);
    }
    QCOMPARE(rows[1][QLatin1String("name")].toString(), QStringLiteral("中国之声"));
    QCOMPARE(rows[1][QLatin1String("extra")].toString(), QStringLiteral("\"q\"\\\t"));
    QCOMPARE(rows[2][QLatin1String("name")].toString(), QString());
    QCOMPARE(rows[3][QLatin1String("name")].toString(), QStringLiteral("late"));
    QCOMPARE(rows[3][QLatin1String("extra")].toString(), QStringLiteral("x"));

    const QJsonArray tree = root[QLatin1String("tree")].toArray();
    QCOMPARE(tree.size(), 1);
    QCOMPARE(sortedKeys(tree[0].toObject()), (QStringList{"children", "key", "text"}));
    QCOMPARE(tree[0][QLatin1String("key")].toString(), QStringLiteral("新闻"));
    QCOMPARE(tree[0][QLatin1String("text")].toString(), QStringLiteral("新闻"));
    const QJsonArray children = tree[0][QLatin1String("children")].toArray();
    QCOMPARE(children.size(), 1);
    QCOMPARE(sortedKeys(children[0].toObject()), (QStringList{"key", "text"}));
    QCOMPARE(children[0][QLatin1String("key")].toString(), QStringLiteral("http://a/zgzs"));
    QCOMPARE(children[0][QLatin1String("text")].toString(), QStringLiteral("中国之声"));

    const QJsonArray problems = root[QLatin1String("problems")].toArray();
    QCOMPARE(problems.size(), 2);
    QCOMPARE(sortedKeys(problems[0].toObject()), (QStringList{"kind", "line", "message"}));
    QCOMPARE(problems[0][QLatin1String("line")].toInt(), 3);
    QCOMPARE(problems[0][QLatin1String("kind")].toString(), QStringLiteral("no-separator"));
    QCOMPARE(problems[1][QLatin1String("line")].toInt(), 4);
    QCOMPARE(problems[1][QLatin1String("kind")].toString(), QStringLiteral("empty-name"));
}

void TestStationListCheck::textReport()
{
    const QString path = write("新闻;;mms://127.0.0.1;;\r\n中国之声;;http://a/zgzs;;\r\nbad\r\n");
    const Run run = runChecker({path});
    QCOMPARE(run.exitCode, 1);
    const QString text = QString::fromUtf8(run.out);
    QVERIFY2(text.contains(QStringLiteral("  新闻\n    中国之声  <http://a/zgzs>\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("line 3: no-separator: ")), qPrintable(text));
    QVERIFY(run.err.isEmpty());
}

void TestStationListCheck::mixedEncodingsDecodedLineByLine()
{
    // A UTF-8 list and a GB18030 list joined: each line is decoded on its
    // own, and the checker names the lines in the minority's encoding.
    const QByteArray utf8 = QStringLiteral("新闻;;mms://127.0.0.1;;\r\n中国之声;;http://a/zgzs;;中央台\r\n"
                                           "经济之声;;http://a/jjzs;;\r\n")
                                .toUtf8();
    const QByteArray gb = "\xD2\xF4\xC0\xD6;;mms://127.0.0.1;;\r\n"               // 音乐
                          "\xD2\xF4\xC0\xD6\xD6\xAE\xC9\xF9;;http://a/yyzs;;\r\n";  // 音乐之声
    const Run run = runChecker({write(utf8 + gb)});
    QCOMPARE(run.exitCode, 1);
    const QString text = QString::fromUtf8(run.out);
    QVERIFY2(text.contains(QStringLiteral("(mixed: utf-8, some lines gb18030, 5 rows)")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("  新闻\n    中国之声  <http://a/zgzs>\n    经济之声  <http://a/jjzs>\n"
                                          "  音乐\n    音乐之声  <http://a/yyzs>\n")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Problems: 2\n  line 4: mixed-encoding: line decoded as gb18030")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("  line 5: mixed-encoding: ")), qPrintable(text));

    // The other way round, the GB18030 part larger: the UTF-8 line is named.
    const StationListRead read = readStationList(write(gb + gb.left(gb.indexOf('\n') + 1).replace("mms", "http") + utf8.left(utf8.indexOf('\n') + 1)));
    QCOMPARE(read.encoding, TextEncoding::Gb18030);
    QVERIFY(read.mixedEncoding);
    QCOMPARE(read.table.row(1).name, QStringLiteral("音乐"));
    QCOMPARE(read.table.row(4).name, QStringLiteral("新闻"));
    QCOMPARE(summary(read.problems), QStringList{QStringLiteral("4:mixed-encoding")});

    // A GB18030 list whose only other line happens to be valid UTF-8 ("小"
    // is "С" in UTF-8) is one encoding, and has no problem.
    const StationListRead gbOnly = readStationList(write("\xD0\xC2\xCE\xC5;;mms://127.0.0.1;;\r\n\xD0\xA1;;http://a/x;;\r\n"));
    QCOMPARE(gbOnly.encoding, TextEncoding::Gb18030);
    QVERIFY(!gbOnly.mixedEncoding);
    QCOMPARE(gbOnly.table.row(2).name, QStringLiteral("小"));
    QVERIFY(gbOnly.problems.isEmpty());
}

void TestStationListCheck::bundledSampleHasNoProblem()
{
    QFile file(sampleList());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // UTF-8 without a byte-order mark, every line ended by CR LF.
    QVERIFY(isValidUtf8(bytes));
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\r'));

    const Run run = runChecker({QStringLiteral("--json"), sampleList()});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject root = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(root[QLatin1String("encoding")].toString(), QStringLiteral("utf-8"));
    QVERIFY(root[QLatin1String("problems")].toArray().isEmpty());
    const QJsonArray tree = root[QLatin1String("tree")].toArray();
    QVERIFY(tree.size() >= 3);
    for (const auto &category : tree) {
        QVERIFY(!category[QLatin1String("children")].toArray().isEmpty());
        for (const auto &station : category[QLatin1String("children")].toArray()) {
            const QString address = station[QLatin1String("key")].toString();
            QVERIFY2(address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://")),
                     qPrintable(address));
        }
    }

    // The build puts the same list beside the program.
    QFile besideProgram(QStringLiteral(KELVARO_BINARY_DIR "/电台.ini"));
    QVERIFY(besideProgram.open(QIODevice::ReadOnly));
    QCOMPARE(besideProgram.readAll(), bytes);
}

void TestStationListCheck::checkerTreeIsTheProgramTree()
{
    // A list that exercises every skip, filled the program's way (the tree
    // widget, through the same reader) and the checker's way.
    const QString path = write("s;;u0;;\r\nA;;mms://127.0.0.1;;\r\ns;;u;;\r\nB;;mms://127.0.0.1;;\r\nt;;u;;\r\n"
                               "A;;mms://127.0.0.1;;\r\nw;;x;;\r\nu;;mms://127.0.0.1;;\r\ny;;z;;\r\n"
                               "C;;mms://127.0.0.1;;\r\nq;;MMS://127.0.0.1;;\r\n;;end;;\r\nlate;;v;;\r\n");
    const StationListRead read = readStationList(path);
    TreeView widget;
    fillCategoryTree(read.table, widget);
    QStringList fromWidget;
    for (int i = 0; i < widget.topLevelItemCount(); ++i) {
        const QTreeWidgetItem *category = widget.topLevelItem(i);
        fromWidget << TreeView::keyOf(category) + QLatin1Char('=') + category->text(0);
        for (int j = 0; j < category->childCount(); ++j)
            fromWidget << QLatin1String("  ") + TreeView::keyOf(category->child(j)) + QLatin1Char('=')
                              + category->child(j)->text(0);
    }

    const Run run = runChecker({QStringLiteral("--json"), path});
    QStringList fromChecker;
    for (const auto &category : QJsonDocument::fromJson(run.out).object()[QLatin1String("tree")].toArray()) {
        fromChecker << category[QLatin1String("key")].toString() + QLatin1Char('=')
                           + category[QLatin1String("text")].toString();
        for (const auto &station : category[QLatin1String("children")].toArray())
            fromChecker << QLatin1String("  ") + station[QLatin1String("key")].toString() + QLatin1Char('=')
                               + station[QLatin1String("text")].toString();
    }
    QCOMPARE(fromChecker, fromWidget);
    QCOMPARE(fromWidget, (QStringList{"A=A", "  u=s", "  x=w", "B=B", "C=C", "  MMS://127.0.0.1=q"}));
}

QTEST_MAIN(TestStationListCheck)
#include "tst_station_list_check.moc"
