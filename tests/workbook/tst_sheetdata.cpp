#include "support/WorkbookTestTools.h"

#include "workbook/Sha256.h"
#include "workbook/SheetData.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace WorkbookTestTools;

class TestSheetData : public QObject {
    Q_OBJECT

private slots:
    void cursorWalksRows_data();
    void cursorWalksRows();
    void sha256MatchesQt_data();
    void sha256MatchesQt();
};

void TestSheetData::cursorWalksRows_data()
{
    QTest::addColumn<bool>("spill");
    QTest::addColumn<int>("budgetRows"); // rows a block holds
    QTest::newRow("in memory") << false << 0;
    QTest::newRow("spilled, one row a block") << true << 1;
    QTest::newRow("spilled, blocks not dividing the rows") << true << 7;
    QTest::newRow("spilled, all rows in one block") << true << 1000;
}

void TestSheetData::cursorWalksRows()
{
    QFETCH(bool, spill);
    QFETCH(int, budgetRows);
    // Columns of different lengths, some added after the spill.
    const int columns = 40;
    std::vector<std::vector<double>> expected;
    Workbook::SheetData sheet(QStringLiteral("s"));
    for (int c = 0; c < columns; ++c) {
        expected.push_back(series(50 - c % 13, c));
        QString error;
        QVERIFY(sheet.addColumn(QStringLiteral("h%1").arg(c), expected.back().data(),
            static_cast<int>(expected.back().size()), &error));
        if (spill && c == columns / 2) {
            QVERIFY2(sheet.spill(&error), qPrintable(error));
            QVERIFY(sheet.spilled());
        }
    }
    QCOMPARE(sheet.usedRows(), 51);
    QCOMPARE(sheet.usedColumns(), columns + 1);
    Workbook::SheetData::RowCursor cursor(
        sheet, static_cast<size_t>(budgetRows) * columns * sizeof(double));
    for (int row = 0; row < 50; ++row) {
        QString error;
        QVERIFY2(cursor.seek(row, &error), qPrintable(error));
        for (int c = 0; c < columns; ++c) {
            const auto& values = expected[static_cast<size_t>(c)];
            QCOMPARE(cursor.has(c), row < static_cast<int>(values.size()));
            if (cursor.has(c))
                QVERIFY(sameBits(cursor.value(c), values[static_cast<size_t>(row)]));
        }
    }

    // The reader that turns a few rows at a time gives the same rows, across block ends.
    Workbook::SheetData::RowReader reader(
        sheet, static_cast<size_t>(budgetRows) * columns * sizeof(double));
    QString error;
    for (int row = 0; row < 50; ++row) {
        QVERIFY2(reader.next(&error), qPrintable(error));
        QCOMPARE(reader.row(), row);
        for (int c = 0; c < columns; ++c) {
            const auto& values = expected[static_cast<size_t>(c)];
            QCOMPARE(reader.has(c), row < static_cast<int>(values.size()));
            if (reader.has(c))
                QVERIFY(sameBits(reader.value(c), values[static_cast<size_t>(row)]));
        }
    }
    QVERIFY(!reader.next(&error));
    QVERIFY(error.isEmpty());
}

void TestSheetData::sha256MatchesQt_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("piece"); // bytes handed over at a time; 0: all at once
    for (int length : { 0, 1, 55, 56, 63, 64, 65, 119, 128, 1000, 100003 })
        for (int piece : { 0, 1, 7, 64, 1000 })
            QTest::newRow(
                qPrintable(QStringLiteral("%1 bytes in pieces of %2").arg(length).arg(piece)))
                << length << piece;
}

// The sheet hashes go through libcrypto's SHA-256, fed a piece at a time: it must give Qt's
// digests for every length and however the data is handed over.
void TestSheetData::sha256MatchesQt()
{
    QFETCH(int, length);
    QFETCH(int, piece);
    std::mt19937 rng(static_cast<unsigned>(length * 31 + piece));
    QByteArray data(length, '\0');
    for (char& c : data)
        c = static_cast<char>(rng());
    const QByteArray expected = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    Workbook::Sha256 sha;
    const int step = piece > 0 ? piece : std::max(length, 1);
    for (int at = 0; at < length; at += step)
        sha.addData(data.constData() + at, static_cast<size_t>(std::min(step, length - at)));
    QCOMPARE(sha.result().toHex(), expected.toHex());
}

QTEST_GUILESS_MAIN(TestSheetData)
#include "tst_sheetdata.moc"
