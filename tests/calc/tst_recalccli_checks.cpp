#include "RecalcCliFixture.h"

class TestRecalcCliChecks : public RecalcCliFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void validateFindsEachRule_data();
    void validateFindsEachRule();
    void validateRefusesWhatItCannotOpen_data();
    void validateRefusesWhatItCannotOpen();
    void explainCommand_data();
    void explainCommand();
    void explainJson();
    void checkAgreesWithoutOwnerIndex();
    void failedBaselineLeavesScenariosUnchecked();
    void plainRecalcTakesOutsideEdits();
    void textInNumberCellIsMissing();
    void orphanResultsAreNamedAndRemoved();
};

void TestRecalcCliChecks::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("TARNHELM_CLI"))
        QSKIP("TARNHELM_CLI is not set");
}

void TestRecalcCliChecks::validateFindsEachRule_data()
{
    QTest::addColumn<QString>("inputs"); // changed before the full recalculation
    QTest::addColumn<QString>("results"); // changed after it
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("severity");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QVariantMap>("fields"); // what the rule's finding names

    const QString jan = testColumn(TN::WaterUserDistTable, TP::FirstCoefficient);
    QTest::newRow("clean") << QString() << QString() << QString() << QString() << 0
                           << QVariantMap();
    QTest::newRow("results-current")
        << QString()
        << QStringLiteral("UPDATE BaseMonthlyWaterUser SET DepletionValue = 1 WHERE WaterUserID = "
                          "2 AND Month = '2002-07-01'")
        << QStringLiteral("results-current") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("waterUser"), QStringLiteral("Lower Ditch") },
               { QStringLiteral("site"), QStringLiteral("North Canal") },
               { QStringLiteral("year"), 2002 },
               { QStringLiteral("message"), QStringLiteral(": 1 monthly row differs from") } };
    QTest::newRow("coefficients-sum")
        << QStringLiteral("UPDATE WaterUserDist SET %1 = 11 WHERE WaterUserID = 4").arg(jan)
        << QString() << QStringLiteral("coefficients-sum") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("waterUser"), QStringLiteral("East User") } };
    QTest::newRow("efficiency-range")
        << QStringLiteral("UPDATE WaterUserData SET EfficiencyRatio = 1.5 WHERE WaterUserID = 4 "
                          "AND Year = 2001")
        << QString() << QStringLiteral("efficiency-range") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("waterUser"), QStringLiteral("East User") },
               { QStringLiteral("year"), 2001 } };
    // The dialog's tolerance: 100.0001 is off.
    QTest::newRow("coefficients-sum, off by a ten-thousandth")
        << QStringLiteral("UPDATE WaterUserDist SET %1 = %1 + 0.0001 WHERE WaterUserID = 4")
               .arg(jan)
        << QString() << QStringLiteral("coefficients-sum") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("message"),
               QStringLiteral("sum to 100.0001, not 100") } };
    // Entered 0 is valid: a warning, and the computed efficiency of 0 that follows is no failure.
    QTest::newRow("zero-efficiency")
        << QStringLiteral("UPDATE WaterUserData SET EfficiencyRatio = 0 WHERE WaterUserID = 4 AND "
                          "Year = 2001")
        << QString() << QStringLiteral("zero-efficiency") << QStringLiteral("warn") << 0
        << QVariantMap { { QStringLiteral("waterUser"), QStringLiteral("East User") },
               { QStringLiteral("year"), 2001 } };
    QTest::newRow("efficiency-range, infinite")
        << QStringLiteral("UPDATE WaterUserData SET DiversionReq = 0 WHERE WaterUserID = 3 AND "
                          "Year = 2001")
        << QString() << QStringLiteral("efficiency-range") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("year"), 2001 },
               { QStringLiteral("message"),
                   QStringLiteral("has a diversion of 0 and a depletion of 100 in 2001 in the "
                                  "baseline, so its computed efficiency ratio (depletion / "
                                  "diversion) is infinite") } };
    QTest::newRow("negative-value")
        << QStringLiteral("UPDATE WaterUserData SET DiversionReq = -5 WHERE WaterUserID = 2 AND "
                          "Year = 2002")
        << QString() << QStringLiteral("negative-value") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("year"), 2002 } };
    // A depletion above the diversion means an efficiency above 1 as well.
    QTest::newRow("depletion-exceeds-diversion")
        << QStringLiteral("UPDATE WaterUserData SET DepletionReq = 150 WHERE WaterUserID = 3 AND "
                          "Year = 2001")
        << QString() << QStringLiteral("depletion-exceeds-diversion") << QStringLiteral("warn") << 1
        << QVariantMap { { QStringLiteral("waterUser"), QStringLiteral("South User") },
               // The same in both scenarios, which no change of theirs touches: one line.
               { QStringLiteral("message"),
                   QStringLiteral("(by 50 in 2001) (also in 2 scenarios).") } };
    QTest::newRow("missing-years")
        << QStringLiteral("DELETE FROM WaterUserData WHERE WaterUserID = 2 AND Year IN (2001, "
                          "2002)")
        << QString() << QStringLiteral("missing-years") << QStringLiteral("warn") << 0
        << QVariantMap { { QStringLiteral("year"), 2001 },
               { QStringLiteral("message"),
                   QStringLiteral("2001\u20132002; the gap filling fills them all") } };
    QTest::newRow("no-data") << QStringLiteral(
        "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, "
        "RiffleName, Ord) VALUES (9, 1, 'Idle', 'Idle Ditch', 3);"
        "INSERT INTO WaterUserDist VALUES (NULL, 9, 10, 10, 5, 5, 5, 5, 10, 10, "
        "10, 10, 10, 10)") << QString()
                             << QStringLiteral("no-data") << QStringLiteral("warn") << 0
                             << QVariantMap { { QStringLiteral("waterUser"),
                                    QStringLiteral("Idle Ditch") } };
    QTest::newRow("riffle-names")
        << QStringLiteral("UPDATE AggDiv SET RiffleName = 'North Canal' WHERE AggDivID = 2")
        << QString() << QStringLiteral("riffle-names") << QStringLiteral("fail") << 1
        << QVariantMap { { QStringLiteral("site"), QStringLiteral("North Canal") } };
    QTest::newRow("sheet-names") << QStringLiteral(
        "UPDATE Scenario SET ScenarioName = 'wet/dry' WHERE ScenarioID = 2")
                                 << QString() << QStringLiteral("sheet-names")
                                 << QStringLiteral("fail") << 1
                                 << QVariantMap { { QStringLiteral("scenario"), 2 } };
    QTest::newRow("shadowed-changes")
        << QStringLiteral("INSERT INTO DemandChg VALUES (2, 1, 'B', NULL, '2023-05-05', 1, 1, 0);"
                          "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (2, "
                          "1)")
        << QString() << QStringLiteral("shadowed-changes") << QStringLiteral("warn") << 0
        << QVariantMap { { QStringLiteral("scenario"), 1 },
               { QStringLiteral("waterUser"), QStringLiteral("Upper Ditch") } };
    QTest::newRow("empty-selection")
        << QStringLiteral("INSERT INTO DemandChg VALUES (3, 2, 'Nobody', NULL, '2024-02-02', 1, "
                          "1, 0)")
        << QString() << QStringLiteral("empty-selection") << QStringLiteral("warn") << 0
        << QVariantMap { { QStringLiteral("scenario"), 2 } };
    QTest::newRow("ineffective-method")
        << QStringLiteral("INSERT INTO DemandChg VALUES (3, 2, 'Ramp', NULL, '2024-02-02', 1, 2, "
                          "0)")
        << QString() << QStringLiteral("ineffective-method") << QStringLiteral("warn") << 0
        << QVariantMap { { QStringLiteral("scenario"), 2 } };
    QTest::newRow("change-years-outside-range")
        << QStringLiteral("INSERT INTO DepletionChg VALUES (NULL, 1, 1995, 1, 5)") << QString()
        << QStringLiteral("change-years-outside-range") << QStringLiteral("warn") << 0
        << QVariantMap { { QStringLiteral("scenario"), 1 }, { QStringLiteral("year"), 1995 } };
}

void TestRecalcCliChecks::validateFindsEachRule()
{
    QFETCH(QString, inputs);
    QFETCH(QString, results);
    QFETCH(QString, rule);
    QFETCH(QString, severity);
    QFETCH(int, exitCode);
    QFETCH(QVariantMap, fields);

    TestProject project(2000, 2003);
    makeBasin(project);
    if (!inputs.isEmpty())
        QVERIFY(project.exec(inputs).isOk());
    QCOMPARE(
        runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") }).exitCode, 0);
    if (!results.isEmpty())
        QVERIFY(project.exec(results).isOk());

    const CliResult result
        = runCli({ QStringLiteral("validate"), project.path(), QStringLiteral("--json") });
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QJsonArray findings = report.value(QStringLiteral("findings")).toArray();
    int fails = 0;
    for (const QJsonValue& finding : findings)
        fails += finding.toObject().value(QStringLiteral("severity")).toString()
            == QLatin1String("fail");
    QCOMPARE(
        report.value(QStringLiteral("summary")).toObject().value(QStringLiteral("fail")).toInt(),
        fails);
    if (rule.isEmpty()) {
        QVERIFY2(findings.isEmpty(), qPrintable(result.out));
        QVERIFY(runCli({ QStringLiteral("validate"), project.path() })
                    .out.contains(QLatin1String("0 failures, 0 warnings")));
        return;
    }
    bool found = false;
    for (const QJsonValue& value : findings) {
        const QJsonObject finding = value.toObject();
        if (finding.value(QStringLiteral("rule")).toString() != rule)
            continue;
        QCOMPARE(finding.value(QStringLiteral("severity")).toString(), severity);
        bool matches = true;
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            const QJsonValue actual = finding.value(it.key());
            matches = matches
                && (it.key() == QLatin1String("message")
                        ? actual.toString().contains(it.value().toString())
                        : actual.toVariant() == it.value());
        }
        found = found || matches;
    }
    QVERIFY2(found, qPrintable(result.out));
    // The text form groups the findings by rule with a count.
    QVERIFY(runCli({ QStringLiteral("validate"), project.path() })
                .out.contains(QStringLiteral("\n%1 (%2, ").arg(rule, severity)));
}

void TestRecalcCliChecks::validateRefusesWhatItCannotOpen_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no file") << QStringList { QStringLiteral("validate") } << 2;
    // A project that cannot be opened exits 1, as with every command of the tool.
    QTest::newRow("missing file") << QStringList { QStringLiteral("validate"),
        QStringLiteral("/nonexistent/project.db") }
                                  << 1;
    QTest::newRow("unknown option") << QStringList { QStringLiteral("validate"),
        QStringLiteral("x.db"), QStringLiteral("--yaml") }
                                    << 2;
}

void TestRecalcCliChecks::validateRefusesWhatItCannotOpen()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const CliResult result = runCli(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(!result.err.trimmed().isEmpty());
}

void TestRecalcCliChecks::explainCommand_data()
{
    QTest::addColumn<QString>("edit"); // after the recalculation
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err");
    const QString wu = QStringLiteral("--water-user");
    const QString year = QStringLiteral("--year");

    QTest::newRow("scenario value by Riffle name")
        << QString()
        << QStringList { wu, QStringLiteral("Upper Ditch"), year, QStringLiteral("2000"),
               QStringLiteral("--scenario"), QStringLiteral("Dry") }
        << 0
        << QStringList { QStringLiteral("Depletion of water user 1 \"Upper\" (Riffle name Upper "
                                        "Ditch) in 2000, scenario \"Dry\": 11"),
               QStringLiteral("change     depletion 2000: Percent Change 10, Use Baseline Data "
                              "Plus Changed Values: 10 \u00d7 (10 / 100 + 1) = 11"),
               QStringLiteral("stored     11 (matches)") }
        << QString();
    QTest::newRow("monthly value by name")
        << QString()
        << QStringList { wu, QStringLiteral("Lower"), year, QStringLiteral("2001"),
               QStringLiteral("--month"), QStringLiteral("2") }
        << 0
        << QStringList { QStringLiteral(
               "monthly    February coefficient 10 %: depletion 40 \u00d7 10 / 100 = 4") }
        << QString();
    QTest::newRow("another value")
        << QString()
        << QStringList { wu, QStringLiteral("1"), year, QStringLiteral("2001"),
               QStringLiteral("--value"), QStringLiteral("diversion") }
        << 0
        << QStringList { QStringLiteral("Diversion of water user 1 \"Upper\" (Riffle name Upper "
                                        "Ditch) in 2001, baseline: 40") }
        << QString();
    QTest::newRow("site by Riffle name")
        << QString()
        << QStringList { QStringLiteral("--site"), QStringLiteral("North Canal"), year,
               QStringLiteral("2000") }
        << 0
        << QStringList { QStringLiteral("salinity   Return Flow Mass (tons/yr) (method 1): the "
                                        "summed salinity pick-up TS = 150 (sums over 2 water "
                                        "users)") }
        << QString();
    QTest::newRow("out of date")
        << QStringLiteral("UPDATE WaterUserData SET DepletionReq = 20 WHERE WaterUserID = 1 AND "
                          "Year = 2000")
        << QStringList { wu, QStringLiteral("1"), year, QStringLiteral("2000") } << 1
        << QStringList { QStringLiteral(
                             "stored     10 in BaseYearlyWaterUser differs from the computed 20"),
               QStringLiteral("The stored value differs: results are out of date") }
        << QString();
    QTest::newRow("nothing stored")
        << QStringLiteral("DELETE FROM ScenarioMonthlyWaterUser WHERE WaterUserID = 2")
        << QStringList { wu, QStringLiteral("2"), year, QStringLiteral("2001"),
               QStringLiteral("--month"), QStringLiteral("5"), QStringLiteral("--scenario"),
               QStringLiteral("2") }
        << 1 << QStringList { QStringLiteral("No result is stored") } << QString();
    QTest::newRow("unknown water user")
        << QString() << QStringList { wu, QStringLiteral("Nobody"), year, QStringLiteral("2000") }
        << 2 << QStringList()
        << QStringLiteral("There is no water user \"Nobody\": no water user has that ID, "
                          "Riffle name or name.");
    QTest::newRow("unknown site") << QString()
                                  << QStringList { QStringLiteral("--site"), QStringLiteral("9"),
                                         year, QStringLiteral("2000") }
                                  << 2 << QStringList() << QStringLiteral("There is no site \"9\"");
    QTest::newRow("year outside the range")
        << QString() << QStringList { wu, QStringLiteral("1"), year, QStringLiteral("1850") } << 2
        << QStringList()
        << QStringLiteral("Year 1850 is outside the project's time range 2000 to 2003.");
    QTest::newRow("unknown scenario")
        << QString()
        << QStringList { wu, QStringLiteral("1"), year, QStringLiteral("2000"),
               QStringLiteral("--scenario"), QStringLiteral("Flood") }
        << 2 << QStringList() << QStringLiteral("There is no scenario \"Flood\"");
    QTest::newRow("another scenario's water user")
        << QStringLiteral("INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, "
                          "WaterUserName, RiffleName) VALUES (9, 1, 1, 'N', 'New')")
        << QStringList { wu, QStringLiteral("New"), year, QStringLiteral("2000"),
               QStringLiteral("--scenario"), QStringLiteral("Wet") }
        << 2 << QStringList()
        << QStringLiteral("Water user 9 \"N\" belongs to scenario \"Dry\" only; it has no "
                          "values in scenario \"Wet\".");
    QTest::newRow("monthly efficiency")
        << QString()
        << QStringList { wu, QStringLiteral("1"), year, QStringLiteral("2000"),
               QStringLiteral("--month"), QStringLiteral("3"), QStringLiteral("--value"),
               QStringLiteral("efficiency") }
        << 2 << QStringList() << QStringLiteral("Usage: tarnhelm-cli explain FILE");
}

void TestRecalcCliChecks::explainCommand()
{
    QFETCH(QString, edit);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    TestProject project(2000, 2003);
    makeBasin(project);
    QCOMPARE(runCli({ QStringLiteral("recalc"), project.path() }).exitCode, 0);
    if (!edit.isEmpty())
        QVERIFY(project.exec(edit).isOk());

    const CliResult result
        = runCli(QStringList { QStringLiteral("explain"), project.path() } + args);
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    const QStringList lines = result.out.split(QLatin1Char('\n'));
    for (const QString& line : out)
        QVERIFY2(
            lines.contains(line), qPrintable(line + QStringLiteral("\nnot in\n") + result.out));
    if (exitCode == 1)
        QCOMPARE(lines.value(lines.size() - 2), out.last());
    if (err.isEmpty())
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    else
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
    if (exitCode == 2)
        QVERIFY(result.out.isEmpty());
}

void TestRecalcCliChecks::explainJson()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    QCOMPARE(runCli({ QStringLiteral("recalc"), project.path() }).exitCode, 0);
    const CliResult result
        = runCli({ QStringLiteral("explain"), project.path(), QStringLiteral("--water-user"),
            QStringLiteral("1"), QStringLiteral("--year"), QStringLiteral("2000"),
            QStringLiteral("--scenario"), QStringLiteral("1"), QStringLiteral("--json") });
    QCOMPARE(result.exitCode, 0);
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(result.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(object.value(QStringLiteral("value")).toDouble(), 11.0);
    QCOMPARE(object.value(QStringLiteral("stored")).toDouble(), 11.0);
    QCOMPARE(object.value(QStringLiteral("matches")).toBool(), true);
    const QJsonArray steps = object.value(QStringLiteral("steps")).toArray();
    QVERIFY(steps.size() > 3);
    QCOMPARE(
        steps.first().toObject().value(QStringLiteral("step")).toString(), QStringLiteral("input"));
    QCOMPARE(steps.first().toObject().value(QStringLiteral("depletion")).toDouble(), 10.0);
    QVERIFY(steps.first().toObject().value(QStringLiteral("diversion")).isNull());
    QJsonObject change;
    for (const QJsonValue& step : steps) {
        if (step.toObject().value(QStringLiteral("kind")).toString() == QLatin1String("depletion")
            && step.toObject().value(QStringLiteral("step")).toString() == QLatin1String("change"))
            change = step.toObject();
    }
    QCOMPARE(change.value(QStringLiteral("typeName")).toString(), QStringLiteral("Percent Change"));
    QCOMPARE(change.value(QStringLiteral("changeValue")).toDouble(), 10.0);
    QCOMPARE(change.value(QStringLiteral("before")).toDouble(), 10.0);
    QCOMPARE(change.value(QStringLiteral("after")).toDouble(), 11.0);
    QVERIFY(!change.value(QStringLiteral("text")).toString().isEmpty());
    QCOMPARE(
        steps.last().toObject().value(QStringLiteral("step")).toString(), QStringLiteral("stored"));
}

// B, the baseline total of a change's water users, is summed in one order by the calculation and
// by the check, whatever order the database would sum the stored rows in: without the file's
// index on the results the check must still find them current, to the last bit.
void TestRecalcCliChecks::checkAgreesWithoutOwnerIndex()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    // Depletions whose sum depends on the order: 0.1 + 0.2 + 0.3 differs from 0.3 + 0.2 + 0.1.
    QVERIFY(project
                .exec(QStringLiteral(
                    "UPDATE WaterUserData SET DepletionReq = 0.1 WHERE WaterUserID = 1 AND Year = "
                    "2001;"
                    "UPDATE WaterUserData SET DiversionReq = NULL, DepletionReq = 0.2 WHERE "
                    "WaterUserID = 2 AND Year = 2001;"
                    "UPDATE WaterUserData SET DepletionReq = 0.3 WHERE WaterUserID = 3 AND Year = "
                    "2001;"
                    "INSERT INTO DemandChg VALUES (2, 2, 'Share', NULL, '2024-01-01', 1, 1, 0);"
                    "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (2, 3), (2, "
                    "2), (2, 1);"
                    "INSERT INTO DepletionChg VALUES (NULL, 2, 2001, 2, 1)"))
                .isOk());
    const QString index
        = project
              .scalar(QStringLiteral("SELECT name FROM sqlite_master WHERE type = "
                                     "'index' AND tbl_name = 'BaseYearlyWaterUser'"))
              .toString();
    QVERIFY(!index.isEmpty());
    QVERIFY(project.exec(QStringLiteral("DROP INDEX \"%1\"").arg(index)).isOk());
    for (int run = 0; run < 2; ++run) {
        QCOMPARE(
            runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") }).exitCode,
            0);
    }
    const QJsonArray stale = findingsOf(project.path(), QStringLiteral("results-current"));
    QVERIFY2(stale.isEmpty(), qPrintable(asText(stale)));
    // A plain recalculation finds nothing to write either.
    const CliResult plain = runCli({ QStringLiteral("recalc"), project.path() });
    QCOMPARE(plain.exitCode, 0);
    QVERIFY2(!plain.out.contains(QLatin1String("Computing")), qPrintable(plain.out));
}

// A baseline the check cannot recompute leaves the scenarios, computed from it, unchecked: no
// false alarms about their water users, one line per scenario.
void TestRecalcCliChecks::failedBaselineLeavesScenariosUnchecked()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    QCOMPARE(
        runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") }).exitCode, 0);
    QVERIFY(project
                .exec(QStringLiteral("PRAGMA foreign_keys = OFF; UPDATE AggDiv SET "
                                     "SalinityMethodID = 9 WHERE AggDivID = 2"))
                .isOk());
    const QJsonArray found = findingsOf(project.path(), QStringLiteral("results-current"));
    QCOMPARE(found.size(), 3);
    QStringList messages;
    for (const QJsonValue& value : found) {
        const QJsonObject finding = value.toObject();
        QVERIFY2(finding.value(QStringLiteral("waterUser")).isNull()
                && finding.value(QStringLiteral("site")).isNull(),
            qPrintable(asText(found)));
        messages.append(finding.value(QStringLiteral("message")).toString());
    }
    QVERIFY(messages.at(0).startsWith(QLatin1String("The baseline could not be recalculated")));
    QVERIFY(
        messages.at(1).startsWith(QLatin1String("The check of scenario \"Dry\" is incomplete")));
    QVERIFY(
        messages.at(2).startsWith(QLatin1String("The check of scenario \"Wet\" is incomplete")));
}

// Inputs changed by another program: a plain recalculation finds what no longer follows them,
// writes it, and says so; afterwards the check finds everything current.
void TestRecalcCliChecks::plainRecalcTakesOutsideEdits()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    QCOMPARE(runCli({ QStringLiteral("recalc"), project.path() }).exitCode, 0);
    QVERIFY(project
                .exec(QStringLiteral(
                    "UPDATE WaterUserData SET DiversionReq = 200 WHERE WaterUserID = 2 AND Year = "
                    "2001;"
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) "
                    "VALUES (9, 3, 'New', 'New Ditch', 2);"
                    "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, "
                    "EfficiencyRatio, SalinityPickup) VALUES (9, 2000, 10, 5, NULL, 1);"
                    "INSERT INTO WaterUserDist VALUES (NULL, 9, 10, 10, 5, 5, 5, 5, 10, 10, 10, "
                    "10, 10, 10)"))
                .isOk());
    QVERIFY(!findingsOf(project.path(), QStringLiteral("results-current")).isEmpty());

    CliResult result = runCli({ QStringLiteral("recalc"), project.path() });
    QCOMPARE(result.exitCode, 0);
    // The site has no reasons of its own: its water users' follow.
    QVERIFY2(result.out.contains(
                 QLatin1String("Computing Agg Diversion 001.North Canal\nSkipping Water User "
                               "001.Upper Ditch\nComputing Water "
                               "User 002.Lower Ditch for the following reason(s):\n    Its "
                               "stored results were out of date (1 yearly and 12 monthly rows "
                               "differed)\n")),
        qPrintable(result.out));
    // The new water user's site: its salinity follows the new totals.
    QVERIFY2(result.out.contains(QLatin1String("Computing Agg Diversion 003.East Canal for the "
                                               "following reason(s):\n    Its stored results "
                                               "were out of date")),
        qPrintable(result.out));
    QVERIFY(result.out.contains(QLatin1String("Skipping Agg Diversion 2\n")));
    QCOMPARE(number(project,
                 QStringLiteral("SELECT DiversionValue FROM BaseYearlyWaterUser WHERE "
                                "WaterUserID = 2 AND Year = 2001")),
        200.0);
    QCOMPARE(count(project,
                 QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyWaterUser WHERE WaterUserID = "
                                "9")),
        8);
    const QJsonArray stale = findingsOf(project.path(), QStringLiteral("results-current"));
    QVERIFY2(stale.isEmpty(), qPrintable(asText(stale)));
    result = runCli({ QStringLiteral("recalc"), project.path() });
    QVERIFY(!result.out.contains(QLatin1String("Computing")));
}

// Text that SQLite keeps in a number column is no number: the value is missing, not infinite.
void TestRecalcCliChecks::textInNumberCellIsMissing()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    QVERIFY(project
                .exec(QStringLiteral("UPDATE WaterUserData SET DiversionReq = 'inf' WHERE "
                                     "WaterUserID = 2 AND Year = 2001"))
                .isOk());
    QCOMPARE(
        runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") }).exitCode, 0);
    // Filled between the diversions of 2000 and 2002.
    QCOMPARE(number(project,
                 QStringLiteral("SELECT DiversionValue FROM BaseYearlyWaterUser WHERE "
                                "WaterUserID = 2 AND Year = 2001")),
        100.0);
    const QJsonArray text = findingsOf(project.path(), QStringLiteral("not-a-number"));
    QCOMPARE(text.size(), 1);
    QCOMPARE(text.at(0).toObject().value(QStringLiteral("year")).toInt(), 2001);
    QVERIFY(text.at(0)
                .toObject()
                .value(QStringLiteral("message"))
                .toString()
                .contains(QLatin1String("\"inf\" as its diversion")));
    QVERIFY(findingsOf(project.path(), QStringLiteral("results-current")).isEmpty());
}

// Result rows whose owner left the run: named by the check, removed by a full recalculation,
// and no longer counted in B.
void TestRecalcCliChecks::orphanResultsAreNamedAndRemoved()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    QVERIFY(project
                .exec(QStringLiteral(
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
                    "RiffleName) VALUES (9, 3, 1, 'Own', 'Own Ditch');"
                    "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, "
                    "EfficiencyRatio, SalinityPickup) VALUES (9, 2000, 10, 5, NULL, 1);"
                    "INSERT INTO WaterUserDist VALUES (NULL, 9, 10, 10, 5, 5, 5, 5, 10, 10, 10, "
                    "10, 10, 10);"
                    "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 3);"
                    "INSERT INTO DepletionChg VALUES (NULL, 1, 2001, 2, 30)"))
                .isOk());
    QCOMPARE(
        runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") }).exitCode, 0);
    // Water user 3 deleted without its rows, 4 moved into scenario 1, 9 into scenario 2.
    QVERIFY(project
                .exec(QStringLiteral("PRAGMA foreign_keys = OFF;"
                                     "DELETE FROM WaterUser WHERE WaterUserID = 3;"
                                     "UPDATE WaterUser SET ScenarioID = 1 WHERE WaterUserID = 4;"
                                     "UPDATE WaterUser SET ScenarioID = 2 WHERE WaterUserID = 9"))
                .isOk());
    QStringList messages;
    for (const QJsonValue& finding : findingsOf(project.path(), QStringLiteral("results-current")))
        messages.append(finding.toObject().value(QStringLiteral("message")).toString());
    const QString all = messages.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QLatin1String("The result tables of the baseline hold 104 rows that "
                                        "belong to no part of it any more (water users 3 and 4)")),
        qPrintable(all));
    QVERIFY2(all.contains(QLatin1String("The result tables of scenario \"Dry\" hold 104 rows that "
                                        "belong to no part of it any more (water users 3 and 9)")),
        qPrintable(all));
    QVERIFY2(all.contains(QLatin1String("The result tables of scenario \"Wet\" hold 104 rows that "
                                        "belong to no part of it any more (water users 3 and 4)")),
        qPrintable(all));

    const CliResult result
        = runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") });
    QCOMPARE(result.exitCode, 0);
    // The baseline's, Dry's (3 and 9) and Wet's (3 and 4, now Dry's own).
    QCOMPARE(result.out.count(QLatin1String("Removed 104 result rows")), 3);
    QCOMPARE(count(project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID IN "
                                "(3, 4)")),
        0);
    QCOMPARE(count(project,
                 QStringLiteral("SELECT COUNT(*) FROM ScenarioMonthlyWaterUser WHERE ScenarioID = "
                                "1 AND WaterUserID IN (3, 9)")),
        0);
    // B of 2001 is water user 1's depletion alone now: (30 + 20) / 20 x 20.
    QCOMPARE(number(project,
                 QStringLiteral("SELECT DepletionValue FROM ScenarioYearlyWaterUser WHERE "
                                "ScenarioID = 1 AND WaterUserID = 1 AND Year = 2001")),
        50.0);
    const QJsonArray stale = findingsOf(project.path(), QStringLiteral("results-current"));
    QVERIFY2(stale.isEmpty(), qPrintable(asText(stale)));
}

QTEST_GUILESS_MAIN(TestRecalcCliChecks)
#include "tst_recalccli_checks.moc"
