#include "calc/AggDivCalcData.h"
#include "calc/DemandMath.h"

#include <QtTest>

#include <cmath>

namespace {

const double NaN = DemandMath::missing();

// Equal, with two missing values counting as equal.
bool same(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    if (std::isinf(a) || std::isinf(b))
        return a == b;
    return qFuzzyCompare(1.0 + a, 1.0 + b);
}

QString show(double v)
{
    return std::isnan(v) ? QStringLiteral("NaN") : QString::number(v, 'g', 17);
}

#define COMPARE_VALUE(actual, expected)                                                            \
    QVERIFY2(same((actual), (expected)),                                                           \
        qPrintable(QStringLiteral("%1 != %2").arg(show(actual), show(expected))))

} // namespace

class TestDemandMath : public QObject {
    Q_OBJECT

private slots:
    void deriveThird_data();
    void deriveThird();
    void fillGaps_data();
    void fillGaps();
    void interpolatedDepletionDrivesDiversion();
    void monthlySplit();
    void siteSalinity_data();
    void siteSalinity();
    void totalsSkipMissingValues();
    void entriesGrowAndLaterIdWins();
    void resetClearsEntriesAndTotals();
};

void TestDemandMath::deriveThird_data()
{
    QTest::addColumn<double>("d");
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("e");
    QTest::addColumn<double>("expectedD");
    QTest::addColumn<double>("expectedP");
    QTest::addColumn<double>("expectedE");

    QTest::newRow("diversion and efficiency give depletion")
        << 100.0 << NaN << 0.4 << 100.0 << 40.0 << 0.4;
    QTest::newRow("depletion and efficiency override diversion")
        << 75.0 << 30.0 << 0.5 << 60.0 << 30.0 << 0.5;
    QTest::newRow("depletion and efficiency give diversion")
        << NaN << 30.0 << 0.5 << 60.0 << 30.0 << 0.5;
    QTest::newRow("efficiency 0 zeroes depletion") << 100.0 << 25.0 << 0.0 << 100.0 << 0.0 << 0.0;
    QTest::newRow("efficiency 0, diversion missing") << NaN << 25.0 << 0.0 << NaN << 0.0 << 0.0;
    QTest::newRow("efficiency 0, diversion 0 untouched")
        << 0.0 << 25.0 << 0.0 << 0.0 << 25.0 << 0.0;
    QTest::newRow("diversion and depletion give efficiency")
        << 100.0 << 40.0 << NaN << 100.0 << 40.0 << 0.4;
    QTest::newRow("zero diversion gives infinite efficiency")
        << 0.0 << 10.0 << NaN << 0.0 << 10.0 << qInf();
    QTest::newRow("diversion alone becomes missing") << 100.0 << NaN << NaN << NaN << NaN << NaN;
    QTest::newRow("nothing stays nothing") << NaN << NaN << NaN << NaN << NaN << NaN;
}

void TestDemandMath::deriveThird()
{
    QFETCH(double, d);
    QFETCH(double, p);
    QFETCH(double, e);
    QFETCH(double, expectedD);
    QFETCH(double, expectedP);
    QFETCH(double, expectedE);
    DemandMath::deriveThird(d, p, e);
    COMPARE_VALUE(d, expectedD);
    COMPARE_VALUE(p, expectedP);
    COMPARE_VALUE(e, expectedE);
}

void TestDemandMath::fillGaps_data()
{
    QTest::addColumn<QVector<double>>("series");
    QTest::addColumn<QVector<double>>("expected");

    QTest::newRow("two-year gap, leading year stays missing")
        << QVector<double> { NaN, 10, NaN, NaN, 40 } << QVector<double> { NaN, 10, 20, 30, 40 };
    QTest::newRow("trailing years stay missing")
        << QVector<double> { 5, NaN, 7, NaN, NaN } << QVector<double> { 5, 6, 7, NaN, NaN };
    QTest::newRow("several gaps") << QVector<double> { 0, NaN, 4, NaN, NaN, NaN, 0 }
                                  << QVector<double> { 0, 2, 4, 3, 2, 1, 0 };
    QTest::newRow("single value") << QVector<double> { NaN, 3, NaN }
                                  << QVector<double> { NaN, 3, NaN };
    QTest::newRow("all missing") << QVector<double> { NaN, NaN } << QVector<double> { NaN, NaN };
    QTest::newRow("nothing missing") << QVector<double> { 1, 2, 3 } << QVector<double> { 1, 2, 3 };
}

void TestDemandMath::fillGaps()
{
    QFETCH(QVector<double>, series);
    QFETCH(QVector<double>, expected);
    DemandMath::fillGaps(series.data(), series.size());
    for (int i = 0; i < series.size(); ++i)
        COMPARE_VALUE(series.at(i), expected.at(i));
}

void TestDemandMath::interpolatedDepletionDrivesDiversion()
{
    // Depletion 10 in 2000 and 40 in 2003, efficiency 0.5 throughout; 1999 has no depletion.
    AggDivCalcData data;
    data.setYearRange(1999, 2003);
    data.reset(1, QStringLiteral("Site"));
    auto& entry = data.addEntry(7, QStringLiteral("User"));
    entry.value(AggDivCalcData::Depletion, 1) = 10;
    entry.value(AggDivCalcData::Depletion, 4) = 40;
    for (int y = 1; y < 5; ++y)
        entry.value(AggDivCalcData::EfficiencyRatio, y) = 0.5;
    for (int kind = 0; kind < AggDivCalcData::KindCount; ++kind)
        DemandMath::fillGaps(entry.series(kind), entry.yearCount);
    data.deriveAll(entry);

    const QVector<double> depletion { NaN, 10, 20, 30, 40 };
    const QVector<double> diversion { NaN, 20, 40, 60, 80 };
    for (int y = 0; y < 5; ++y) {
        COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, y), depletion.at(y));
        COMPARE_VALUE(entry.value(AggDivCalcData::Diversion, y), diversion.at(y));
    }
}

void TestDemandMath::monthlySplit()
{
    AggDivCalcData data;
    data.setYearRange(2000, 2000);
    data.reset(1, QStringLiteral("Site"));
    auto& entry = data.addEntry(1, QStringLiteral("User"));
    entry.coefficients = { 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10 };
    entry.value(AggDivCalcData::Diversion, 0) = 120;
    entry.value(AggDivCalcData::Depletion, 0) = NaN;
    const QVector<double> expected { 12, 12, 6, 6, 6, 6, 12, 12, 12, 12, 12, 12 };
    double sum = 0;
    for (int month = 1; month <= 12; ++month) {
        const double diversion
            = AggDivCalcData::monthlyValue(entry, AggDivCalcData::Diversion, 0, month);
        COMPARE_VALUE(diversion, expected.at(month - 1));
        sum += diversion;
        COMPARE_VALUE(
            AggDivCalcData::monthlyValue(entry, AggDivCalcData::Depletion, 0, month), NaN);
    }
    QCOMPARE(sum, 120.0);
}

void TestDemandMath::siteSalinity_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("td");
    QTest::addColumn<double>("tr");
    QTest::addColumn<double>("ts");
    QTest::addColumn<double>("yearly");
    QTest::addColumn<double>("monthly");

    QTest::newRow("return-flow mass") << 1 << 50.0 << 20.0 << 120.0 << 120.0 << 10.0;
    QTest::newRow("mass removal") << 4 << 50.0 << 20.0 << 120.0 << 120.0 << 10.0;
    QTest::newRow("mass, no pick-up") << 1 << 50.0 << 20.0 << NaN << NaN << NaN;
    QTest::newRow("return-flow concentration") << 2 << 50.0 << 20.0 << 120.0 << 6.0 << 6.0;
    QTest::newRow("return-flow concentration, TR = 0") << 2 << 50.0 << 0.0 << 120.0 << NaN << NaN;
    QTest::newRow("return-flow concentration, TR < 0") << 2 << 50.0 << -5.0 << 120.0 << NaN << NaN;
    QTest::newRow("return-flow concentration, TR missing")
        << 2 << 50.0 << NaN << 120.0 << NaN << NaN;
    QTest::newRow("diversion concentration") << 3 << 60.0 << 20.0 << 120.0 << 2.0 << 2.0;
    QTest::newRow("diversion concentration, TD = 0") << 3 << 0.0 << 20.0 << 120.0 << NaN << NaN;
    QTest::newRow("unknown method") << 7 << 60.0 << 20.0 << 120.0 << NaN << NaN;
}

void TestDemandMath::siteSalinity()
{
    QFETCH(int, method);
    QFETCH(double, td);
    QFETCH(double, tr);
    QFETCH(double, ts);
    QFETCH(double, yearly);
    QFETCH(double, monthly);
    const DemandMath::SiteSalinity result = DemandMath::siteSalinity(method, td, tr, ts);
    COMPARE_VALUE(result.yearly, yearly);
    COMPARE_VALUE(result.monthly, monthly);
}

void TestDemandMath::totalsSkipMissingValues()
{
    AggDivCalcData data;
    data.setYearRange(2000, 2002);
    data.reset(1, QStringLiteral("Site"));
    auto& a = data.addEntry(1, QStringLiteral("A"));
    auto& b = data.addEntry(2, QStringLiteral("B"));
    // 2000: both present. 2001: only a's diversion, no depletion at all. 2002: nothing.
    a.value(AggDivCalcData::Diversion, 0) = 100;
    b.value(AggDivCalcData::Diversion, 0) = 50;
    a.value(AggDivCalcData::Depletion, 0) = 40;
    b.value(AggDivCalcData::Depletion, 0) = NaN;
    a.value(AggDivCalcData::SalinityPickup, 0) = 3;
    b.value(AggDivCalcData::SalinityPickup, 0) = 4;
    a.value(AggDivCalcData::Diversion, 1) = 80;
    data.computeTotals();

    COMPARE_VALUE(data.totalDiversion(0), 150.0);
    COMPARE_VALUE(data.totalDepletion(0), 40.0);
    COMPARE_VALUE(data.totalReturnFlow(0), 110.0);
    COMPARE_VALUE(data.totalSalinity(0), 7.0);
    COMPARE_VALUE(data.totalDiversion(1), 80.0);
    COMPARE_VALUE(data.totalDepletion(1), NaN);
    COMPARE_VALUE(data.totalReturnFlow(1), NaN);
    COMPARE_VALUE(data.totalSalinity(1), NaN);
    COMPARE_VALUE(data.totalDiversion(2), NaN);
}

void TestDemandMath::entriesGrowAndLaterIdWins()
{
    AggDivCalcData data;
    data.setYearRange(2000, 2001);
    data.reset(1, QStringLiteral("Site"));
    for (int i = 1; i <= 40; ++i) {
        auto& entry = data.addEntry(i, QStringLiteral("User %1").arg(i));
        entry.value(AggDivCalcData::Diversion, 0) = i;
    }
    QCOMPARE(data.entryCount(), 40);
    for (int i = 1; i <= 40; ++i)
        COMPARE_VALUE(data.find(i)->value(AggDivCalcData::Diversion, 0), double(i));

    auto& again = data.addEntry(5, QStringLiteral("Again"));
    again.value(AggDivCalcData::Diversion, 0) = 500;
    QCOMPARE(data.find(5)->name, QStringLiteral("Again"));
    QVERIFY(data.find(99) == nullptr);
}

void TestDemandMath::resetClearsEntriesAndTotals()
{
    AggDivCalcData data;
    data.setYearRange(2000, 2001);
    data.reset(1, QStringLiteral("First"));
    auto& entry = data.addEntry(1, QStringLiteral("User"));
    entry.value(AggDivCalcData::Diversion, 0) = 10;
    entry.coefficients.fill(8);
    data.computeTotals();
    COMPARE_VALUE(data.totalDiversion(0), 10.0);

    data.reset(2, QStringLiteral("Second"));
    QCOMPARE(data.entryCount(), 0);
    QVERIFY(data.find(1) == nullptr);
    COMPARE_VALUE(data.totalDiversion(0), NaN);
    // A reused slot starts empty, not with the previous site's values.
    auto& reused = data.addEntry(3, QStringLiteral("Other"));
    COMPARE_VALUE(reused.value(AggDivCalcData::Diversion, 0), NaN);
    QCOMPARE(reused.coefficients[0], 0.0);
}

QTEST_APPLESS_MAIN(TestDemandMath)
#include "tst_demandmath.moc"
