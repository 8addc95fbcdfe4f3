// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the station list: field splitting, blank lines, line ends,
// encodings, the table's end, capacity and hostile input.
#include "pattern_device.h"
#include "station_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro;

namespace {

StationListRead readBytes(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readStationList(buffer);
}

// "name|name|…" of the filled rows, to compare whole tables at a glance.
QString names(const StationListRead &read)
{
    QStringList out;
    for (int row = 1; row <= read.rowsFilled; ++row)
        out << read.table.row(row).name;
    return out.join(QLatin1Char('|'));
}

QList<qint64> rowLines(const StationListRead &read)
{
    QList<qint64> out;
    for (int row = 1; row <= read.rowsFilled; ++row)
        out << read.rowLine[static_cast<size_t>(row)];
    return out;
}

QStringList problemSummary(const StationListRead &read)
{
    QStringList out;
    for (const ListProblem &p : read.problems)
        out << QStringLiteral("%1:%2").arg(p.line).arg(p.kind);
    return out;
}

QByteArray numberedLines(int count, const QByteArray &end = "\r\n")
{
    QByteArray out;
    for (int i = 1; i <= count; ++i)
        out += "n" + QByteArray::number(i) + ";;http://h/" + QByteArray::number(i) + ";;" + end;
    return out;
}

}  // namespace

class TestStationFile : public QObject {
    Q_OBJECT
private slots:
    void splitsFields_data();
    void splitsFields();
    void skipsLinesWithoutTwoSeparators_data();
    void skipsLinesWithoutTwoSeparators();
    void blankLines_data();
    void blankLines();
    void lineEnds_data();
    void lineEnds();
    void encodings_data();
    void encodings();
    void tableEndStillReadsLaterRows();
    void capacity_data();
    void capacity();
    void overLongLineIsSkipped();
    void hostileInputStaysBounded_data();
    void hostileInputStaysBounded();
    void missingOrUnreadableFile_data();
    void missingOrUnreadableFile();
    void readsFileBesideExecutable();
};

void TestStationFile::splitsFields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("extra");
    QTest::newRow("plain") << "A;;B;;" << "A" << "B" << "";
    QTest::newRow("extra keeps separators") << "A;;B;;C;;D" << "A" << "B" << "C;;D";
    QTest::newRow("empty address") << "A;;;;C" << "A" << "" << "C";
    QTest::newRow("empty name") << ";;B;;C" << "" << "B" << "C";
    QTest::newRow("spaces kept") << " A ;;B;;" << " A " << "B" << "";
    QTest::newRow("spaces in every field") << " ;; B ;; C " << " " << " B " << " C ";
    QTest::newRow("three semicolons") << "A;;;B;;" << "A" << ";B" << "";
    QTest::newRow("four semicolons") << "A;;;;" << "A" << "" << "";
    QTest::newRow("five semicolons") << "A;;;;;" << "A" << "" << ";";
    QTest::newRow("six semicolons") << "A;;;;;;B" << "A" << "" << ";;B";
    QTest::newRow("only separators") << ";;;;" << "" << "" << "";
    QTest::newRow("single semicolons are text") << "a;b;;c;d;;e;f" << "a;b" << "c;d" << "e;f";
    QTest::newRow("chinese") << "音乐之声;;http://x/y.m3u8;;中央台" << "音乐之声" << "http://x/y.m3u8" << "中央台";
    QTest::newRow("category heading") << "新闻;;mms://127.0.0.1;;" << "新闻" << "mms://127.0.0.1" << "";
    QTest::newRow("web page marker kept") << "页;;http://a/b.html#1;;" << "页" << "http://a/b.html#1" << "";
    QTest::newRow("tab and equals are text") << "a\t=b;;c=d;;\te" << "a\t=b" << "c=d" << "\te";
}

void TestStationFile::splitsFields()
{
    QFETCH(QString, line);
    StationRecord record;
    QVERIFY(splitStationLine(line, record));
    QTEST(record.name, "name");
    QTEST(record.address, "address");
    QTEST(record.extra, "extra");

    // The same through the reader: the line takes row 1, whatever follows it.
    const auto read = readBytes(line.toUtf8() + "\r\nnext;;n;;\r\n");
    QCOMPARE(read.rowsFilled, 2);
    QTEST(read.table.row(1).name, "name");
    QTEST(read.table.row(1).address, "address");
    QTEST(read.table.row(1).extra, "extra");
    QCOMPARE(read.table.row(2).name, QStringLiteral("next"));
    QVERIFY(read.problems.isEmpty());
}

void TestStationFile::skipsLinesWithoutTwoSeparators_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no separator") << QByteArray("just a name");
    QTest::newRow("single semicolons") << QByteArray("A;B;C");
    QTest::newRow("one separator") << QByteArray("A;;B");
    QTest::newRow("separators overlap") << QByteArray("A;;;");
    QTest::newRow("spaced semicolons") << QByteArray("A; ;B; ;");
    QTest::newRow("line of spaces") << QByteArray("   ");
}

void TestStationFile::skipsLinesWithoutTwoSeparators()
{
    QFETCH(QByteArray, line);
    StationRecord record;
    QVERIFY(!splitStationLine(QString::fromUtf8(line), record));

    const auto read = readBytes("C;;mms://127.0.0.1;;\r\n" + line + "\r\ns;;u;;\r\n");
    QCOMPARE(names(read), QStringLiteral("C|s"));
    QCOMPARE(rowLines(read), (QList<qint64>{1, 3}));
    QCOMPARE(problemSummary(read), QStringList{QStringLiteral("2:no-separator")});
}

void TestStationFile::blankLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QList<qint64>>("lines");
    QTest::addColumn<QStringList>("problems");
    QTest::newRow("empty file") << QByteArray() << "" << QList<qint64>{} << QStringList{};
    QTest::newRow("only blank lines") << QByteArray("\r\n\r\n\r\n") << "" << QList<qint64>{} << QStringList{};
    QTest::newRow("before the first entry")
        << QByteArray("\r\n\r\nA;;mms://127.0.0.1;;\r\ns;;u;;\r\n") << "A|s" << QList<qint64>{3, 4}
        << QStringList{};
    QTest::newRow("between categories")
        << QByteArray("A;;mms://127.0.0.1;;\r\ns;;u;;\r\n\r\nB;;mms://127.0.0.1;;\r\n\r\n\r\nt;;v;;")
        << "A|s|B|t" << QList<qint64>{1, 2, 4, 7} << QStringList{};
    QTest::newRow("after the last entry")
        << QByteArray("A;;mms://127.0.0.1;;\r\n\r\n\r\n") << "A" << QList<qint64>{1} << QStringList{};
    QTest::newRow("a line of spaces is not blank")
        << QByteArray("A;;mms://127.0.0.1;;\r\n \r\ns;;u;;") << "A|s" << QList<qint64>{1, 3}
        << QStringList{QStringLiteral("2:no-separator")};
    QTest::newRow("spaces before a separator make a row")
        << QByteArray("A;;mms://127.0.0.1;;\r\n ;;u;;\r\n") << "A| " << QList<qint64>{1, 2} << QStringList{};
}

void TestStationFile::blankLines()
{
    QFETCH(QByteArray, bytes);
    const auto read = readBytes(bytes);
    QVERIFY(read.opened);
    QTEST(names(read), "names");
    QTEST(rowLines(read), "lines");
    QTEST(problemSummary(read), "problems");
    for (int row = read.rowsFilled + 1; row <= StationTable::kRows; ++row)
        QVERIFY(read.table.row(row).name.isEmpty() && read.table.row(row).address.isEmpty());
}

void TestStationFile::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<qint64>>("lines");
    const QByteArray a = "A;;mms://127.0.0.1;;x", b = "b;;u1;;y", c = "c;;u2;;";
    QTest::newRow("CR LF") << a + "\r\n" + b + "\r\n" + c + "\r\n" << QList<qint64>{1, 2, 3};
    QTest::newRow("LF") << a + "\n" + b + "\n" + c + "\n" << QList<qint64>{1, 2, 3};
    QTest::newRow("CR") << a + "\r" + b + "\r" + c + "\r" << QList<qint64>{1, 2, 3};
    QTest::newRow("mixed") << a + "\r" + b + "\n" + c + "\r\n" << QList<qint64>{1, 2, 3};
    QTest::newRow("no final terminator, CR LF") << a + "\r\n" + b + "\r\n" + c << QList<qint64>{1, 2, 3};
    QTest::newRow("no final terminator, CR") << a + "\r" + b + "\r" + c << QList<qint64>{1, 2, 3};
    QTest::newRow("LF CR is two line ends") << a + "\n\r" + b + "\n\r" + c << QList<qint64>{1, 3, 5};
    QTest::newRow("CR CR LF is two line ends") << a + "\r\r\n" + b + "\r\n" + c << QList<qint64>{1, 3, 4};
    // The reader takes the file in 64 KiB pieces; a CR LF split across two
    // pieces is still one line end.
    const QByteArray longA = a + QByteArray(65536 - 1 - a.size(), 'x');
    QTest::newRow("CR LF across a read boundary") << longA + "\r\n" + b + "\r\n" + c << QList<qint64>{1, 2, 3};
    QTest::newRow("CR at a read boundary") << longA + "\r" + b + "\r" + c << QList<qint64>{1, 2, 3};
}

void TestStationFile::lineEnds()
{
    QFETCH(QByteArray, bytes);
    const auto read = readBytes(bytes);
    QCOMPARE(names(read), QStringLiteral("A|b|c"));
    QTEST(rowLines(read), "lines");
    QVERIFY(read.table.row(1).extra.startsWith(QLatin1Char('x')));
    QVERIFY(!read.table.row(1).extra.contains(QLatin1Char('\r')));
    QCOMPARE(read.table.row(2).extra, QStringLiteral("y"));
    QCOMPARE(read.table.row(3).address, QStringLiteral("u2"));
    QCOMPARE(read.table.row(3).extra, QString());
    QVERIFY(read.problems.isEmpty());
}

void TestStationFile::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("extra");

    const QByteArray utf8 = QStringLiteral("新闻;;mms://127.0.0.1;;\r\n中国之声;;http://a/zgzs;;中央台\r\n").toUtf8();
    // The same two lines in GB18030 (code page 936 for these characters).
    const QByteArray gb = "\xD0\xC2\xCE\xC5;;mms://127.0.0.1;;\r\n"
                          "\xD6\xD0\xB9\xFA\xD6\xAE\xC9\xF9;;http://a/zgzs;;\xD6\xD0\xD1\xEB\xCC\xA8\r\n";
    const QString category = QStringLiteral("新闻"), station = QStringLiteral("中国之声"),
                  extra = QStringLiteral("中央台");

    QTest::newRow("UTF-8") << utf8 << "utf-8" << category << station << extra;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + utf8 << "utf-8" << category << station << extra;
    QTest::newRow("GB18030") << gb << "gb18030" << category << station << extra;
    QTest::newRow("GB18030 with BOM") << "\x84\x31\x95\x33" + gb << "gb18030" << category << station << extra;
    QTest::newRow("ASCII only") << QByteArray("News;;mms://127.0.0.1;;\r\nS;;http://a/zgzs;;e\r\n") << "utf-8"
                                << "News" << "S" << "e";
    // One line that is not UTF-8 makes the whole file GB18030.
    QTest::newRow("GB18030 after ASCII lines")
        << QByteArray("News;;mms://127.0.0.1;;\r\n\r\nS;;http://a/zgzs;;\xD6\xD0\r\n") << "gb18030" << "News"
        << "S" << QStringLiteral("中");
    // Lists in both encodings joined: each line in its own.
    QTest::newRow("UTF-8 and GB18030 lines joined")
        << QStringLiteral("新闻;;mms://127.0.0.1;;\r\n").toUtf8() + gb.mid(gb.indexOf('\n') + 1) << "utf-8" << category
        << station << extra;
    // A character outside the BMP: four bytes in GB18030, two UTF-16 units.
    QTest::newRow("GB18030 four-byte character")
        << QByteArray("\x95\x32\x82\x36;;mms://127.0.0.1;;\r\n\xD6\xD0;;http://a/zgzs;;\x95\x32\x82\x36") << "gb18030"
        << QStringLiteral("\U00020000") << QStringLiteral("中") << QStringLiteral("\U00020000");
    // With no UTF-8 text beyond ASCII, the mark decides: bytes that are not
    // UTF-8 after a UTF-8 mark become replacement characters rather than
    // switching the encoding.
    QTest::newRow("invalid bytes after a UTF-8 BOM")
        << QByteArray("\xEF\xBB\xBFN;;mms://127.0.0.1;;\r\nS;;http://a/zgzs;;\xFF") << "utf-8" << "N" << "S"
        << QStringLiteral("\uFFFD");
    // A byte-order mark is only a mark at the very start of the file.
    QTest::newRow("BOM inside the file is text")
        << QByteArray("N;;mms://127.0.0.1;;\r\n\xEF\xBB\xBFS;;http://a/zgzs;;") << "utf-8" << "N"
        << QStringLiteral("\uFEFFS") << "";
}

void TestStationFile::encodings()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = stationListPath(dir.path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    const auto read = readStationList(path);
    QVERIFY(read.opened);
    QTEST(QString::fromLatin1(encodingName(read.encoding)), "encoding");
    QCOMPARE(read.rowsFilled, 2);
    QTEST(read.table.row(1).name, "category");
    QCOMPARE(read.table.row(1).address, kCategorySentinel);
    QTEST(read.table.row(2).name, "station");
    QCOMPARE(read.table.row(2).address, QStringLiteral("http://a/zgzs"));
    QTEST(read.table.row(2).extra, "extra");
}

void TestStationFile::tableEndStillReadsLaterRows()
{
    const auto read = readBytes("A;;mms://127.0.0.1;;\r\ns;;u;;\r\n;;v;;w\r\nB;;mms://127.0.0.1;;\r\n");
    QCOMPARE(read.rowsFilled, 4);
    QCOMPARE(read.table.usedRows(), 2);
    QCOMPARE(read.table.row(3).name, QString());
    QCOMPARE(read.table.row(3).address, QStringLiteral("v"));
    QCOMPARE(read.table.row(4).name, QStringLiteral("B"));
    QVERIFY(read.problems.isEmpty());  // the reader itself has nothing to say
}

void TestStationFile::capacity_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("lastRowLine");
    QTest::addColumn<QStringList>("problems");
    QTest::addColumn<bool>("stopsEarly");

    QTest::newRow("exactly 900 lines") << numberedLines(900) << qint64(900) << QStringList{} << false;
    QTest::newRow("exactly 900 lines, last without terminator")
        << numberedLines(900).chopped(2) << qint64(900) << QStringList{} << false;
    QTest::newRow("900 lines and blank lines after them")
        << numberedLines(900) + "\r\n\r\n" << qint64(900) << QStringList{} << false;
    QTest::newRow("901 lines") << numberedLines(901) << qint64(900)
                               << QStringList{QStringLiteral("901:over-capacity")} << false;
    QTest::newRow("901 lines, blank line before the last")
        << numberedLines(900) + "\r\n" + "late;;x;;\r\n" << qint64(900)
        << QStringList{QStringLiteral("902:over-capacity")} << false;
    QTest::newRow("901st line has no separator")
        << numberedLines(900) + "not a station\r\n" << qint64(900)
        << QStringList{QStringLiteral("901:over-capacity")} << false;
    QTest::newRow("skipped lines take no row")
        << "bad\r\n" + numberedLines(900) << qint64(901) << QStringList{QStringLiteral("1:no-separator")} << false;
    QTest::newRow("20000 lines") << numberedLines(20000) << qint64(900)
                                << QStringList{QStringLiteral("901:over-capacity")} << true;
}

void TestStationFile::capacity()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, stopsEarly);
    const auto read = readBytes(bytes);
    QCOMPARE(read.rowsFilled, StationTable::kRows);
    QCOMPARE(read.table.usedRows(), StationTable::kRows);
    QCOMPARE(read.table.row(1).name, QStringLiteral("n1"));
    QCOMPARE(read.table.row(900).name, QStringLiteral("n900"));
    QCOMPARE(read.table.row(900).address, QStringLiteral("http://h/900"));
    QTEST(read.rowLine[900], "lastRowLine");
    QTEST(problemSummary(read), "problems");
    if (stopsEarly)
        QVERIFY2(read.bytesRead < bytes.size() / 2, qPrintable(QString::number(read.bytesRead)));
    else
        QCOMPARE(read.bytesRead, bytes.size());
}

void TestStationFile::overLongLineIsSkipped()
{
    const QByteArray longLine = "long;;http://a/" + QByteArray(kMaxLineBytes, 'x') + ";;";
    const auto read = readBytes("A;;mms://127.0.0.1;;\r\n" + longLine + "\r\ns;;u;;\r\n");
    QCOMPARE(names(read), QStringLiteral("A|s"));
    QCOMPARE(rowLines(read), (QList<qint64>{1, 3}));
    QCOMPARE(problemSummary(read), QStringList{QStringLiteral("2:too-long")});

    // Just under the limit the line is a row like any other.
    const QByteArray fits = "fits;;u2;;" + QByteArray(kMaxLineBytes - 10, 'x');
    const auto read2 = readBytes("A;;mms://127.0.0.1;;\r\n" + fits + "\r\n");
    QCOMPARE(names(read2), QStringLiteral("A|fits"));
    QCOMPARE(read2.table.row(2).extra.size(), kMaxLineBytes - 10);
}

void TestStationFile::hostileInputStaysBounded_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint64>("maxBytesRead");
    QTest::addColumn<QString>("stopKind");

    const QByteArray station = "s;;http://h/a;;note\r\n";
    // Rows fill up long before the end: reading stops after row 900 (plus
    // the one piece of 64 KiB the reader takes at a time).
    QTest::newRow("1 GiB of stations") << station << 900 << qint64(station.size() * 901 + 65536)
                                       << "over-capacity";
    // Nothing fills a row: reading stops at the size limit.
    QTest::newRow("1 GiB without a line end") << QByteArray("abc;;") << 0 << kMaxListBytes + 1 << "too-large";
    QTest::newRow("1 GiB of blank lines") << QByteArray("\r\n") << 0 << kMaxListBytes + 1 << "too-large";
    QTest::newRow("1 GiB of lines without separators")
        << QByteArray("no separator here\n") << 0 << kMaxListBytes + 1 << "too-large";

    // Binary garbage from a fixed generator (xorshift), 1 MiB repeated.
    QByteArray garbage(1 << 20, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char &c : garbage) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    QTest::newRow("1 GiB of binary garbage") << garbage << -1 << kMaxListBytes + 1 << "";
}

void TestStationFile::hostileInputStaysBounded()
{
    QFETCH(QByteArray, pattern);
    QFETCH(int, rows);
    QFETCH(qint64, maxBytesRead);
    QFETCH(QString, stopKind);

    PatternDevice device(pattern, qint64(1) << 30);
    const auto read = readStationList(device);
    QVERIFY(read.rowsFilled <= StationTable::kRows);
    if (rows >= 0)
        QCOMPARE(read.rowsFilled, rows);
    QVERIFY2(device.served() <= maxBytesRead, qPrintable(QString::number(device.served())));
    QCOMPARE(read.bytesRead, device.served());
    // Problems about single lines are listed up to a limit, the rest counted;
    // the one that ended reading is always listed, last.
    QVERIFY(read.problems.size() <= kMaxListedProblems + 1);
    if (!stopKind.isEmpty())
        QCOMPARE(read.problems.last().kind, stopKind);
    for (int row = 1; row <= read.rowsFilled; ++row)
        QVERIFY(read.table.row(row).name.size() + read.table.row(row).address.size()
                + read.table.row(row).extra.size() <= kMaxLineBytes);
}

void TestStationFile::missingOrUnreadableFile_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("missing") << "missing";
    QTest::newRow("directory") << "directory";
}

void TestStationFile::missingOrUnreadableFile()
{
    QFETCH(QString, what);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = stationListPath(dir.path());
    if (what == QLatin1String("directory"))
        QVERIFY(QDir(dir.path()).mkdir(kStationFileName));
    const auto read = readStationList(path);
    QVERIFY(!read.opened);
    QVERIFY(!read.errorString.isEmpty());
    QCOMPARE(read.rowsFilled, 0);
    QCOMPARE(read.table.usedRows(), 0);
}

void TestStationFile::readsFileBesideExecutable()
{
    QCOMPARE(stationListPath(QStringLiteral("/opt/kelvaro")), QStringLiteral("/opt/kelvaro/电台.ini"));
    QCOMPARE(stationListPath(QStringLiteral("/opt/kelvaro/")), QStringLiteral("/opt/kelvaro/电台.ini"));
}

QTEST_GUILESS_MAIN(TestStationFile)
#include "tst_station_file.moc"
