#include "station_file.h"

#include <QBuffer>
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
}  // namespace

class TestStationFile : public QObject {
    Q_OBJECT
private slots:
    void splitsFields_data();
    void splitsFields();
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
    QTest::newRow("three semicolons") << "A;;;B;;" << "A" << ";B" << "";
    QTest::newRow("five semicolons") << "A;;;;;" << "A" << "" << ";";
}

void TestStationFile::splitsFields()
{
    QFETCH(QString, line);
    const auto read = readBytes(line.toUtf8());
    QCOMPARE(read.rowsFilled, 1);
    QTEST(read.table.row(1).name, "name");
    QTEST(read.table.row(1).address, "address");
    QTEST(read.table.row(1).extra, "extra");
}

QTEST_GUILESS_MAIN(TestStationFile)
#include "tst_station_file.moc"
