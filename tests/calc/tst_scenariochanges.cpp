#include "calc/ScenarioChanges.h"
#include "db/TarnException.h"

#include <QtTest>

#include <cmath>

using namespace ScenarioChanges;

namespace {

const double NaN = DemandMath::missing();

bool same(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return qFuzzyCompare(1.0 + a, 1.0 + b);
}

QString show(double v)
{
    return std::isnan(v) ? QStringLiteral("NaN") : QString::number(v, 'g', 17);
}

#define COMPARE_VALUE(actual, expected)                                                            \
    QVERIFY2(same((actual), (expected)),                                                           \
        qPrintable(QStringLiteral("%1 != %2").arg(show(actual), show(expected))))

// Baseline rows for every year of a range with the water user's depletion and the total.
QVector<BaselineRow> baselineRows(int first, int last, double b, double total)
{
    QVector<BaselineRow> rows;
    for (int year = first; year <= last; ++year)
        rows.append({ year, b, total });
    return rows;
}

AggDivCalcData::WaterUserEntry& makeEntry(AggDivCalcData& data, int first, int last)
{
    data.setYearRange(first, last);
    data.reset(1, QStringLiteral("Site"));
    return data.addEntry(1, QStringLiteral("User"));
}

} // namespace

class TestScenarioChanges : public QObject {
    Q_OBJECT

private slots:
    void depletion_data();
    void depletion();
    void efficiency_data();
    void efficiency();
    void shareOfAmountAcrossSelectedUsers_data();
    void shareOfAmountAcrossSelectedUsers();
    void interpolateChangedValuesOnly();
    void baselinePlusChangesFillsGapsFirst();
    void baselineYearSeesEarlierChanges();
    void diversionFollowsChangedDepletion();
    void missingBaselineRowsFail();
    void baselineRowsAreMatchedByYear();
};

void TestScenarioChanges::depletion_data()
{
    // Range 1990-2000; year index 2 (1992) is changed. The series holds 100 + year index, so
    // 1995 holds 105.
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("total");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("expected");

    QTest::newRow("percent 10 on 50") << 1 << 10.0 << 1 << 50.0 << 0.0 << 0.0 << 1 << 55.0;
    QTest::newRow("percent on missing") << 1 << 10.0 << 1 << NaN << 0.0 << 0.0 << 1 << NaN;
    QTest::newRow("amount, B > 0") << 2 << 30.0 << 1 << 50.0 << 10.0 << 60.0 << 3 << 15.0;
    QTest::newRow("amount, B = 0") << 2 << 30.0 << 1 << 50.0 << 0.0 << 0.0 << 3 << 10.0;
    QTest::newRow("amount, B missing") << 2 << 30.0 << 1 << 50.0 << 4.0 << NaN << 3 << 14.0;
    QTest::newRow("new amount, B > 0") << 3 << 90.0 << 1 << 50.0 << 20.0 << 60.0 << 3 << 30.0;
    QTest::newRow("new amount, B = 0") << 3 << 90.0 << 1 << 50.0 << 0.0 << 0.0 << 3 << 30.0;
    QTest::newRow("baseline year in range") << 4 << 1995.0 << 1 << 50.0 << 0.0 << 0.0 << 1 << 105.0;
    QTest::newRow("baseline year out of range, method 1")
        << 4 << 1985.0 << 1 << 50.0 << 0.0 << 0.0 << 1 << 50.0;
    QTest::newRow("baseline year out of range, method 2")
        << 4 << 1985.0 << 2 << 50.0 << 0.0 << 0.0 << 1 << NaN;
    QTest::newRow("baseline year after range, method 1")
        << 4 << 2001.0 << 1 << 50.0 << 0.0 << 0.0 << 1 << 50.0;
    QTest::newRow("no change, method 1") << 0 << 0.0 << 1 << 50.0 << 0.0 << 0.0 << 1 << 50.0;
    QTest::newRow("no change, method 2") << 0 << 0.0 << 2 << 50.0 << 0.0 << 0.0 << 1 << NaN;
}

void TestScenarioChanges::depletion()
{
    QFETCH(int, type);
    QFETCH(double, value);
    QFETCH(int, method);
    QFETCH(double, current);
    QFETCH(double, b);
    QFETCH(double, total);
    QFETCH(int, count);
    QFETCH(double, expected);

    QVector<double> series;
    for (int i = 0; i < 11; ++i)
        series.append(100 + i);
    series[2] = current;
    const double result = changedDepletion(
        { type, value }, method, series.constData(), 1990, series.size(), 2, b, total, count);
    COMPARE_VALUE(result, expected);
}

void TestScenarioChanges::efficiency_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("expected");

    // Series 0.30, 0.31, ... over 1990-2000; year index 2 (0.32) is changed.
    QTest::newRow("percent") << 1 << 50.0 << 1 << 0.48;
    QTest::newRow("amount") << 2 << 0.1 << 1 << 0.42;
    QTest::newRow("new amount") << 3 << 0.7 << 1 << 0.7;
    QTest::newRow("baseline year in range") << 4 << 1995.0 << 1 << 0.35;
    QTest::newRow("baseline year out of range, method 1") << 4 << 1985.0 << 1 << 0.32;
    QTest::newRow("baseline year out of range, method 2") << 4 << 1985.0 << 2 << NaN;
    QTest::newRow("no change, method 1") << 0 << 0.0 << 1 << 0.32;
    QTest::newRow("no change, method 2") << 0 << 0.0 << 2 << NaN;
}

void TestScenarioChanges::efficiency()
{
    QFETCH(int, type);
    QFETCH(double, value);
    QFETCH(int, method);
    QFETCH(double, expected);
    QVector<double> series;
    for (int i = 0; i < 11; ++i)
        series.append(0.30 + 0.01 * i);
    const double result
        = changedEfficiency({ type, value }, method, series.constData(), 1990, series.size(), 2);
    COMPARE_VALUE(result, expected);
}

void TestScenarioChanges::shareOfAmountAcrossSelectedUsers_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("value");
    QTest::addColumn<QVector<double>>("baseline");
    QTest::addColumn<QVector<double>>("expected");

    QTest::newRow("amount 30 over 10, 20, 30")
        << 2 << 30.0 << QVector<double> { 10, 20, 30 } << QVector<double> { 15, 30, 45 };
    QTest::newRow("new amount 90 over 10, 20, 30")
        << 3 << 90.0 << QVector<double> { 10, 20, 30 } << QVector<double> { 15, 30, 45 };
    QTest::newRow("new amount 90 over zeros")
        << 3 << 90.0 << QVector<double> { 0, 0, 0 } << QVector<double> { 30, 30, 30 };
    QTest::newRow("amount 30 over zeros")
        << 2 << 30.0 << QVector<double> { 0, 0, 0 } << QVector<double> { 10, 10, 10 };
}

void TestScenarioChanges::shareOfAmountAcrossSelectedUsers()
{
    QFETCH(int, type);
    QFETCH(double, value);
    QFETCH(QVector<double>, baseline);
    QFETCH(QVector<double>, expected);

    double total = 0;
    for (double b : baseline)
        total += b;
    DemandChange change;
    change.waterUserCount = baseline.size();
    change.depletion.insert(2000, { type, value });
    double sum = 0;
    for (int i = 0; i < baseline.size(); ++i) {
        AggDivCalcData data;
        auto& entry = makeEntry(data, 2000, 2000);
        entry.value(AggDivCalcData::Depletion, 0) = baseline.at(i);
        apply(entry, 2000, change, baselineRows(2000, 2000, baseline.at(i), total));
        COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 0), expected.at(i));
        sum += entry.value(AggDivCalcData::Depletion, 0);
    }
    // The selected users together reach the new total (or the old total plus the amount).
    COMPARE_VALUE(sum, type == 3 ? value : total + value);
}

void TestScenarioChanges::interpolateChangedValuesOnly()
{
    AggDivCalcData data;
    auto& entry = makeEntry(data, 1985, 2005);
    for (int y = 0; y < entry.yearCount; ++y) {
        entry.value(AggDivCalcData::Depletion, y) = 999; // baseline input, ignored by method 2
        entry.value(AggDivCalcData::EfficiencyRatio, y) = 0.5;
    }
    DemandChange change;
    change.depletionMethod = InterpolateChanges;
    change.efficiencyMethod = BaselinePlusChanges;
    change.waterUserCount = 1;
    change.depletion.insert(1990, { NewAmount, 100 });
    change.depletion.insert(2000, { NewAmount, 200 });
    apply(entry, 1985, change, baselineRows(1985, 2005, 0, 0));

    for (int year = 1985; year <= 2005; ++year) {
        const double expected = year < 1990 || year > 2000 ? NaN : 100 + 10 * (year - 1990);
        COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, year - 1985), expected);
        COMPARE_VALUE(entry.value(AggDivCalcData::EfficiencyRatio, year - 1985), 0.5);
    }
}

void TestScenarioChanges::baselinePlusChangesFillsGapsFirst()
{
    AggDivCalcData data;
    auto& entry = makeEntry(data, 2000, 2003);
    entry.value(AggDivCalcData::Depletion, 0) = 10;
    entry.value(AggDivCalcData::Depletion, 3) = 40;
    DemandChange change;
    change.waterUserCount = 1;
    change.depletion.insert(2001, { Percent, 100 });
    apply(entry, 2000, change, baselineRows(2000, 2003, 0, 0));
    // 2001 was filled to 20 before it was doubled.
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 1), 40.0);
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 2), 30.0);
}

void TestScenarioChanges::baselineYearSeesEarlierChanges()
{
    AggDivCalcData data;
    auto& entry = makeEntry(data, 2000, 2003);
    for (int y = 0; y < 4; ++y)
        entry.value(AggDivCalcData::Depletion, y) = 10 * (y + 1);
    DemandChange change;
    change.waterUserCount = 1;
    change.depletion.insert(2000, { Percent, 100 }); // 10 -> 20
    change.depletion.insert(2001, { BaselineYear, 2000 }); // the changed 2000
    change.depletion.insert(2002, { BaselineYear, 2003 }); // 2003 not yet visited
    apply(entry, 2000, change, baselineRows(2000, 2003, 0, 0));
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 0), 20.0);
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 1), 20.0);
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 2), 40.0);
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 3), 40.0);
}

void TestScenarioChanges::diversionFollowsChangedDepletion()
{
    AggDivCalcData data;
    auto& entry = makeEntry(data, 2000, 2000);
    entry.value(AggDivCalcData::Diversion, 0) = 100;
    entry.value(AggDivCalcData::Depletion, 0) = 50;
    entry.value(AggDivCalcData::EfficiencyRatio, 0) = 0.5;
    DemandChange change;
    change.waterUserCount = 1;
    change.depletion.insert(2000, { Percent, 10 });
    change.efficiency.insert(2000, { Amount, 0.05 });
    apply(entry, 2000, change, baselineRows(2000, 2000, 50, 50));
    data.deriveAll(entry);
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 0), 55.0);
    COMPARE_VALUE(entry.value(AggDivCalcData::EfficiencyRatio, 0), 0.55);
    COMPARE_VALUE(entry.value(AggDivCalcData::Diversion, 0), 100.0);
}

void TestScenarioChanges::missingBaselineRowsFail()
{
    AggDivCalcData data;
    auto& entry = makeEntry(data, 2000, 2002);
    DemandChange change;
    change.waterUserCount = 1;
    try {
        apply(entry, 2000, change, {});
        QFAIL("no exception");
    } catch (const TarnException& e) {
        QCOMPARE(e.message(), QStringLiteral("No baseline data found for year 2000"));
    }
    try {
        apply(entry, 2000, change, baselineRows(2000, 2001, 1, 1));
        QFAIL("no exception");
    } catch (const TarnException& e) {
        QCOMPARE(e.message(), QStringLiteral("No baseline data found for year 2002"));
    }
}

void TestScenarioChanges::baselineRowsAreMatchedByYear()
{
    AggDivCalcData data;
    auto& entry = makeEntry(data, 2000, 2001);
    DemandChange change;
    change.waterUserCount = 2;
    change.depletion.insert(2000, { NewAmount, 90 });
    change.depletion.insert(2001, { NewAmount, 90 });
    // A stored row of a year outside the run comes first.
    apply(entry, 2000, change, { { 1995, 100, 100 }, { 2000, 10, 30 }, { 2001, 20, 30 } });
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 0), 30.0);
    COMPARE_VALUE(entry.value(AggDivCalcData::Depletion, 1), 60.0);
}

QTEST_APPLESS_MAIN(TestScenarioChanges)
#include "tst_scenariochanges.moc"
