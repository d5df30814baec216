#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "demo/DemoProject.h"
#include "support/TestProject.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <set>

namespace {

// A private connection to a finished project file, for reading it back.
class Reader {
public:
    explicit Reader(const QString& path) { _db = ProjectFile::openConnection(path, &_status); }
    ~Reader() { ProjectFile::closeConnection(_db); }

    bool isOpen() const { return _status.isOk(); }

    // The single value of sql; invalid (and the error in *error) on failure.
    QVariant scalar(const QString& sql, QString* error = nullptr)
    {
        QSqlQuery query(_db);
        if (!query.exec(sql) || !query.next()) {
            if (error)
                *error = query.lastError().text();
            return {};
        }
        return query.value(0);
    }

    // Every row of sql as (first column, second column) pairs.
    std::vector<std::pair<qint64, qint64>> pairs(const QString& sql)
    {
        std::vector<std::pair<qint64, qint64>> rows;
        QSqlQuery query(_db);
        if (query.exec(sql)) {
            while (query.next())
                rows.emplace_back(query.value(0).toLongLong(), query.value(1).toLongLong());
        }
        return rows;
    }

    // The whole table as text, key order, for comparing two files.
    QString dump(const QString& table)
    {
        QString text;
        QSqlQuery query(_db);
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table)))
            return query.lastError().text();
        while (query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                text += query.value(i).toString() + QLatin1Char('|');
            text += QLatin1Char('\n');
        }
        return text;
    }

private:
    QSqlDatabase _db;
    TARN::okstat _status;
};

// The free columns as the test schema names them.
QString coefficients(const QString& separator)
{
    QStringList columns;
    for (int pos = TP::FirstCoefficient; pos <= TP::LastCoefficient; ++pos)
        columns.append(testColumn(TN::WaterUserDistTable, pos));
    return columns.join(separator);
}
QString changeValue(const QString& table)
{
    return testColumn(table, TP::ChangeValue);
}
QString demandChgColumn(int pos)
{
    return testColumn(TN::DemandChgTable, pos);
}

} // namespace

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void largeIsFast();
    void opensInManager_data();
    void opensInManager();
    void contents_data();
    void contents();
    void filterMatchesMembers_data();
    void filterMatchesMembers();
    void demoIsTheSameEveryTime();
    void refusesToOverwrite_data();
    void refusesToOverwrite();

private:
    QString path(const QString& which) const
    {
        return which == QLatin1String("large") ? _large : _demo;
    }

    QTemporaryDir _dir;
    QString _demo;
    QString _large;
    qint64 _largeMs = 0;
};

void TestDemo::initTestCase()
{
    QVERIFY(_dir.isValid());
    _demo = _dir.filePath(QStringLiteral("demo.db"));
    _large = _dir.filePath(QStringLiteral("large.db"));
    const TARN::okstat demo = DemoProject::createDemo(_demo, testSchemaScript());
    QVERIFY2(demo.isOk(), qPrintable(demo.text()));
    QElapsedTimer timer;
    timer.start();
    const TARN::okstat large = DemoProject::createLarge(_large, testSchemaScript());
    _largeMs = timer.elapsed();
    QVERIFY2(large.isOk(), qPrintable(large.text()));
    QVERIFY(QFileInfo::exists(_demo));
    QVERIFY(QFileInfo::exists(_large));
    QVERIFY(!QFileInfo::exists(_large + QStringLiteral(".part")));
}

void TestDemo::largeIsFast()
{
    qInfo("benchmark basin written in %lld ms", _largeMs);
    // Generous for a debug build on a busy machine; row-by-row commits would take minutes.
    QVERIFY2(_largeMs < 30000, qPrintable(QString::number(_largeMs)));
}

void TestDemo::opensInManager_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("demo") << QStringLiteral("demo");
    QTest::newRow("large") << QStringLiteral("large");
}

void TestDemo::opensInManager()
{
    QFETCH(QString, which);
    const TARN::okstat status = TarnDbMgr::instance()->openDatabase(path(which));
    const bool valid = TarnDbMgr::instance()->isValid();
    delete TarnDbMgr::instance();
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    QVERIFY(valid);
}

void TestDemo::contents_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");

    const auto row
        = [](const QString& which, const char* name, const QString& sql, double min, double max) {
              QTest::newRow(qPrintable(which + QStringLiteral(": ") + QString::fromUtf8(name)))
                  << which << sql << min << max;
          };
    const auto none = [&](const QString& which, const char* name, const QString& sql) {
        row(which, name, sql, 0, 0);
    };
    const auto some = [&](const QString& which, const char* name, const QString& sql) {
        row(which, name, sql, 1, 1e12);
    };

    // Invariants that the program and the calculation rely on, for both files.
    for (const QString& which : { QStringLiteral("demo"), QStringLiteral("large") }) {
        none(which, "coefficient sums other than 100",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserDist WHERE ABS(%1 - 100) > 1e-9")
                .arg(coefficients(QStringLiteral("+"))));
        none(which, "negative or missing coefficients",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserDist WHERE MIN(%1) < 0 OR (%2) IS NULL")
                .arg(coefficients(QStringLiteral(",")), coefficients(QStringLiteral("+"))));
        none(which, "water users without exactly one distribution row",
            QStringLiteral("SELECT COUNT(*) FROM WaterUser w WHERE (SELECT COUNT(*) FROM "
                           "WaterUserDist d WHERE d.WaterUserID = w.WaterUserID) <> 1"));
        none(which, "sites without exactly one value per site attribute",
            QStringLiteral("SELECT COUNT(*) FROM AggDiv s, Attribute a WHERE a.AttrTypeID = 1 AND "
                           "(SELECT COUNT(*) FROM AggDivAttr x WHERE x.AggDivID = s.AggDivID AND "
                           "x.AttrID = a.AttrID) <> 1"));
        none(which, "water users without exactly one value per water user attribute",
            QStringLiteral("SELECT COUNT(*) FROM WaterUser w, Attribute a WHERE a.AttrTypeID = 2 "
                           "AND (SELECT COUNT(*) FROM WaterUserAttr x WHERE x.WaterUserID = "
                           "w.WaterUserID AND x.AttrID = a.AttrID) <> 1"));
        none(which, "assignments of the wrong kind",
            QStringLiteral("SELECT (SELECT COUNT(*) FROM AggDivAttr x JOIN Attribute a ON a.AttrID "
                           "= x.AttrID WHERE a.AttrTypeID <> 1) + (SELECT COUNT(*) FROM "
                           "WaterUserAttr x JOIN Attribute a ON a.AttrID = x.AttrID WHERE "
                           "a.AttrTypeID <> 2)"));
        none(which, "assigned values of another attribute",
            QStringLiteral("SELECT (SELECT COUNT(*) FROM AggDivAttr x JOIN AttrValidVal v ON "
                           "v.AttrValidValID = x.AttrValidValID WHERE v.AttrID <> x.AttrID) + "
                           "(SELECT COUNT(*) FROM WaterUserAttr x JOIN AttrValidVal v ON "
                           "v.AttrValidValID = x.AttrValidValID WHERE v.AttrID <> x.AttrID)"));
        none(which, "attributes without exactly one Unassigned value",
            QStringLiteral("SELECT COUNT(*) FROM Attribute a WHERE (SELECT COUNT(*) FROM "
                           "AttrValidVal v WHERE v.AttrID = a.AttrID AND v.AttrVal = "
                           "'Unassigned') <> 1"));
        none(which, "attributes with fewer than two or more than four own values",
            QStringLiteral("SELECT COUNT(*) FROM Attribute a WHERE (SELECT COUNT(*) FROM "
                           "AttrValidVal v WHERE v.AttrID = a.AttrID) NOT BETWEEN 3 AND 5"));
        row(which, "site attributes",
            QStringLiteral("SELECT COUNT(*) FROM Attribute WHERE AttrTypeID = 1"), 2, 2);
        row(which, "water user attributes",
            QStringLiteral("SELECT COUNT(*) FROM Attribute WHERE AttrTypeID = 2"), 2, 2);
        none(which, "sites with an unknown salinity method",
            QStringLiteral(
                "SELECT COUNT(*) FROM AggDiv WHERE SalinityMethodID NOT BETWEEN 1 AND 4"));
        none(which, "complete rows whose depletion is not diversion times efficiency",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE DiversionReq IS NOT NULL AND "
                           "DepletionReq IS NOT NULL AND EfficiencyRatio IS NOT NULL AND "
                           "ABS(DepletionReq - DiversionReq * EfficiencyRatio) > 1e-9"));
        none(which, "efficiency ratios outside 0.3 to 0.8",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE EfficiencyRatio NOT BETWEEN "
                           "0.3 AND 0.8"));
        none(which, "non-positive diversions or depletions",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE DiversionReq <= 0 OR "
                           "DepletionReq <= 0"));
        row(which, "mean diversion (KAF/yr)",
            QStringLiteral("SELECT AVG(DiversionReq) FROM WaterUserData"), 5, 100);
        none(which, "yearly rows outside the time range",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserData d, Baseline b WHERE d.Year NOT "
                           "BETWEEN b.StartYear AND b.EndYear"));
        none(which, "water users with two rows for one year",
            QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM WaterUserData GROUP BY "
                           "WaterUserID, Year HAVING COUNT(*) > 1)"));
        some(which, "water users with missing years",
            QStringLiteral("SELECT COUNT(*) FROM WaterUser w, Baseline b WHERE (SELECT COUNT(*) "
                           "FROM WaterUserData d WHERE d.WaterUserID = w.WaterUserID) < "
                           "b.EndYear - b.StartYear + 1"));
        some(which, "rows without any value",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE DiversionReq IS NULL AND "
                           "DepletionReq IS NULL AND EfficiencyRatio IS NULL AND SalinityPickup "
                           "IS NULL"));
        some(which, "depletion left to derive",
            QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE DepletionReq IS NULL AND "
                           "DiversionReq IS NOT NULL AND EfficiencyRatio IS NOT NULL"));
        none(which, "demand changes without water users",
            QStringLiteral("SELECT COUNT(*) FROM DemandChg c WHERE NOT EXISTS (SELECT 1 FROM "
                           "DemandChgWaterUser m WHERE m.DemandChgID = c.DemandChgID)"));
        none(which, "changed years outside the time range",
            QStringLiteral("SELECT (SELECT COUNT(*) FROM DepletionChg c, Baseline b WHERE c.Year "
                           "NOT BETWEEN b.StartYear AND b.EndYear) + (SELECT COUNT(*) FROM "
                           "EfficiencyChg c, Baseline b WHERE c.Year NOT BETWEEN b.StartYear AND "
                           "b.EndYear)"));
        none(which, "baseline years outside the time range",
            QStringLiteral("SELECT COUNT(*) FROM (SELECT ChangeTypeID, %1 AS v FROM "
                           "DepletionChg UNION ALL SELECT ChangeTypeID, %2 FROM "
                           "EfficiencyChg) c, Baseline b WHERE c.ChangeTypeID = 4 AND "
                           "c.v NOT BETWEEN b.StartYear AND b.EndYear")
                .arg(changeValue(TN::DepletionChgTable), changeValue(TN::EfficiencyChgTable)));
        // A change needs the stored baseline results of its water users; a scenario's own user
        // has none, so selecting it would stop the scenario calculation.
        none(which, "changes selecting scenario-only water users",
            QStringLiteral("SELECT COUNT(*) FROM DemandChgWaterUser m JOIN WaterUser w ON "
                           "w.WaterUserID = m.WaterUserID WHERE w.ScenarioID IS NOT NULL"));
        none(which, "hand-picked changes with filter rows",
            QStringLiteral("SELECT COUNT(*) FROM DemandSelection s JOIN DemandChg c ON "
                           "c.DemandChgID = s.DemandChgID WHERE c.%1 = 0")
                .arg(demandChgColumn(TP::DemandChgUsesFilters)));
        none(which, "curves without water users",
            QStringLiteral("SELECT COUNT(*) FROM PlotCurve c WHERE NOT EXISTS (SELECT 1 FROM "
                           "PlotCurveWaterUser m WHERE m.PlotCurveID = c.PlotCurveID)"));
        none(which, "salinity curves mixing tons and mg/l",
            QStringLiteral("SELECT COUNT(*) FROM PlotCurve c WHERE c.CurveDataTypeID = 3 AND "
                           "(SELECT COUNT(DISTINCT s.SalinityMethodID IN (1, 4)) FROM "
                           "PlotCurveWaterUser m JOIN WaterUser w ON w.WaterUserID = "
                           "m.WaterUserID JOIN AggDiv s ON s.AggDivID = w.AggDivID WHERE "
                           "m.PlotCurveID = c.PlotCurveID) > 1"));
        none(which, "plots without the baseline",
            QStringLiteral("SELECT COUNT(*) FROM Plot p WHERE NOT EXISTS (SELECT 1 FROM "
                           "PlotScenario s WHERE s.PlotID = p.PlotID AND s.ScenarioID IS NULL)"));
        row(which, "scenarios", QStringLiteral("SELECT COUNT(*) FROM Scenario"), 3, 3);
    }

    // The small basin shows every feature once.
    const QString demo = QStringLiteral("demo");
    row(demo, "time range", QStringLiteral("SELECT StartYear * 10000 + EndYear FROM Baseline"),
        19902020, 19902020);
    row(demo, "sites", QStringLiteral("SELECT COUNT(*) FROM AggDiv"), 7, 10);
    for (int method = 1; method <= 4; ++method) {
        const QByteArray name = "sites of salinity method " + QByteArray::number(method);
        row(demo, name.constData(),
            QStringLiteral("SELECT COUNT(*) FROM AggDiv WHERE SalinityMethodID = %1").arg(method),
            1, 3);
    }
    row(demo, "baseline water users",
        QStringLiteral("SELECT COUNT(*) FROM WaterUser WHERE ScenarioID IS NULL"), 25, 35);
    row(demo, "scenario-only water users",
        QStringLiteral("SELECT COUNT(*) FROM WaterUser WHERE ScenarioID IS NOT NULL"), 1, 1);
    row(demo, "yearly rows of the scenario-only water user",
        QStringLiteral("SELECT COUNT(*) FROM WaterUserData d JOIN WaterUser w ON w.WaterUserID = "
                       "d.WaterUserID WHERE w.ScenarioID IS NOT NULL"),
        31, 31);
    row(demo, "water users per site at most",
        QStringLiteral("SELECT MAX(n) FROM (SELECT COUNT(*) n FROM WaterUser GROUP BY AggDivID)"),
        2, 6);
    some(demo, "efficiency left to derive",
        QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE EfficiencyRatio IS NULL AND "
                       "DiversionReq IS NOT NULL AND DepletionReq IS NOT NULL"));
    some(demo, "diversion left to derive",
        QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE DiversionReq IS NULL AND "
                       "DepletionReq IS NOT NULL AND EfficiencyRatio IS NOT NULL"));
    some(demo, "salinity gaps in otherwise complete years",
        QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE SalinityPickup IS NULL AND "
                       "DepletionReq IS NOT NULL"));
    none(demo, "mass pick-ups that look like concentrations",
        QStringLiteral("SELECT COUNT(*) FROM WaterUserData d JOIN WaterUser w ON w.WaterUserID = "
                       "d.WaterUserID JOIN AggDiv s ON s.AggDivID = w.AggDivID WHERE "
                       "s.SalinityMethodID IN (2, 3) AND d.SalinityPickup > 2000"));
    row(demo, "depletion change types",
        QStringLiteral("SELECT COUNT(DISTINCT ChangeTypeID) FROM DepletionChg"), 4, 4);
    row(demo, "efficiency change types",
        QStringLiteral("SELECT COUNT(DISTINCT ChangeTypeID) FROM EfficiencyChg"), 4, 4);
    row(demo, "depletion calculation methods",
        QStringLiteral("SELECT COUNT(DISTINCT %1) FROM DemandChg")
            .arg(demandChgColumn(TP::DemandChgDepletionMethod)),
        2, 2);
    row(demo, "efficiency calculation methods",
        QStringLiteral("SELECT COUNT(DISTINCT %1) FROM DemandChg")
            .arg(demandChgColumn(TP::DemandChgEfficiencyMethod)),
        2, 2);
    some(demo, "filtered changes naming a site and a water user attribute",
        QStringLiteral("SELECT COUNT(*) FROM DemandChg c WHERE c.%1 = 1 AND EXISTS "
                       "(SELECT 1 FROM DemandSelection s JOIN Attribute a ON a.AttrID = s.AttrID "
                       "WHERE s.DemandChgID = c.DemandChgID AND a.AttrTypeID = 1) AND EXISTS "
                       "(SELECT 1 FROM DemandSelection s JOIN Attribute a ON a.AttrID = s.AttrID "
                       "WHERE s.DemandChgID = c.DemandChgID AND a.AttrTypeID = 2)")
            .arg(demandChgColumn(TP::DemandChgUsesFilters)));
    some(demo, "water users selected by two changes of one scenario",
        QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM DemandChgWaterUser m JOIN DemandChg "
                       "c ON c.DemandChgID = m.DemandChgID GROUP BY c.ScenarioID, m.WaterUserID "
                       "HAVING COUNT(*) > 1)"));
    none(demo, "scenarios without changes",
        QStringLiteral("SELECT COUNT(*) FROM Scenario s WHERE NOT EXISTS (SELECT 1 FROM DemandChg "
                       "c WHERE c.ScenarioID = s.ScenarioID)"));
    row(demo, "plots", QStringLiteral("SELECT COUNT(*) FROM Plot"), 2, 2);
    row(demo, "curve data types",
        QStringLiteral("SELECT COUNT(DISTINCT CurveDataTypeID) FROM PlotCurve"), 3, 3);
    some(demo, "plotted scenarios",
        QStringLiteral("SELECT COUNT(*) FROM PlotScenario WHERE ScenarioID IS NOT NULL"));

    // The benchmark basin is about size.
    const QString large = QStringLiteral("large");
    row(large, "sites", QStringLiteral("SELECT COUNT(*) FROM AggDiv"), 500, 500);
    row(large, "water users", QStringLiteral("SELECT COUNT(*) FROM WaterUser"), 2500, 2500);
    row(large, "years of the time range",
        QStringLiteral("SELECT EndYear - StartYear + 1 FROM Baseline"), 120, 120);
    row(large, "years with data", QStringLiteral("SELECT COUNT(DISTINCT Year) FROM WaterUserData"),
        120, 120);
    row(large, "yearly rows with values (few gaps)",
        QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE DepletionReq IS NOT NULL OR "
                       "DiversionReq IS NOT NULL"),
        0.98 * 2500 * 120, 2500 * 120);
    row(large, "distribution rows", QStringLiteral("SELECT COUNT(*) FROM WaterUserDist"), 2500,
        2500);
    for (int offset = 0; offset < 3; ++offset) {
        const QByteArray name = "water users changed by scenario " + QByteArray::number(offset + 1);
        row(large, name.constData(),
            QStringLiteral(
                "SELECT COUNT(DISTINCT m.WaterUserID) FROM DemandChgWaterUser m JOIN "
                "DemandChg c ON c.DemandChgID = m.DemandChgID WHERE c.ScenarioID = "
                "(SELECT ScenarioID FROM Scenario ORDER BY ScenarioID LIMIT 1 OFFSET %1)")
                .arg(offset),
            400, 600);
    }
}

void TestDemo::contents()
{
    QFETCH(QString, which);
    QFETCH(QString, sql);
    QFETCH(double, min);
    QFETCH(double, max);
    Reader reader(path(which));
    QVERIFY(reader.isOpen());
    QString error;
    const QVariant value = reader.scalar(sql, &error);
    QVERIFY2(value.isValid() && !value.isNull(), qPrintable(error));
    bool ok = false;
    const double number = value.toDouble(&ok);
    QVERIFY(ok);
    QVERIFY2(number >= min && number <= max,
        qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(number).arg(min).arg(max)));
}

void TestDemo::filterMatchesMembers_data()
{
    QTest::addColumn<QString>("owners");
    QTest::addColumn<QString>("filters");
    QTest::addColumn<QString>("members");

    // A stored filter must select exactly the stored members, or reopening the selector in the
    // program would silently change what the change or curve applies to.
    QTest::newRow("demand change")
        << QStringLiteral("SELECT DemandChgID, 0 FROM DemandChg WHERE %1 = 1")
               .arg(demandChgColumn(TP::DemandChgUsesFilters))
        << QStringLiteral(
               "SELECT AttrID, AttrValidValID FROM DemandSelection WHERE DemandChgID = %1")
        << QStringLiteral("SELECT WaterUserID, 0 FROM DemandChgWaterUser WHERE DemandChgID = %1");
    QTest::newRow("plot curve")
        << QStringLiteral("SELECT DISTINCT PlotCurveID, 0 FROM PlotCurveFilter")
        << QStringLiteral(
               "SELECT AttrID, AttrValidValID FROM PlotCurveFilter WHERE PlotCurveID = %1")
        << QStringLiteral("SELECT WaterUserID, 0 FROM PlotCurveWaterUser WHERE PlotCurveID = %1");
}

void TestDemo::filterMatchesMembers()
{
    QFETCH(QString, owners);
    QFETCH(QString, filters);
    QFETCH(QString, members);
    Reader reader(_demo);
    QVERIFY(reader.isOpen());

    // Each baseline water user's value of every attribute, its own and its site's.
    std::map<qint64, std::map<qint64, qint64>> values;
    for (const auto& [user, site] : reader.pairs(QStringLiteral(
             "SELECT WaterUserID, AggDivID FROM WaterUser WHERE ScenarioID IS NULL"))) {
        for (const auto& [attr, value] :
            reader.pairs(QStringLiteral("SELECT AttrID, AttrValidValID FROM WaterUserAttr WHERE "
                                        "WaterUserID = %1")
                             .arg(user)))
            values[user][attr] = value;
        for (const auto& [attr, value] : reader.pairs(
                 QStringLiteral("SELECT AttrID, AttrValidValID FROM AggDivAttr WHERE AggDivID = %1")
                     .arg(site)))
            values[user][attr] = value;
    }
    QVERIFY(!values.empty());

    const auto ownerRows = reader.pairs(owners);
    QVERIFY(!ownerRows.empty());
    for (const auto& [owner, unused] : ownerRows) {
        Q_UNUSED(unused)
        // Rows of one attribute accept any of their values; different attributes must all match.
        std::map<qint64, std::set<qint64>> accepted;
        for (const auto& [attr, value] : reader.pairs(filters.arg(owner)))
            accepted[attr].insert(value);
        QVERIFY(!accepted.empty());
        std::set<qint64> expected;
        for (const auto& [user, own] : values) {
            bool match = true;
            for (const auto& [attr, allowed] : accepted) {
                const auto it = own.find(attr);
                match = match && it != own.end() && allowed.count(it->second);
            }
            if (match)
                expected.insert(user);
        }
        std::set<qint64> stored;
        for (const auto& [user, unused2] : reader.pairs(members.arg(owner))) {
            Q_UNUSED(unused2)
            stored.insert(user);
        }
        QVERIFY(!expected.empty());
        QCOMPARE(stored, expected);
    }
}

void TestDemo::demoIsTheSameEveryTime()
{
    const QString again = _dir.filePath(QStringLiteral("again.db"));
    const TARN::okstat status = DemoProject::createDemo(again, testSchemaScript());
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    Reader first(_demo);
    Reader second(again);
    QVERIFY(first.isOpen() && second.isOpen());
    // The baseline row carries today's date and the user's name; everything else is fixed.
    for (const char* table : { "AggDiv", "WaterUser", "WaterUserData", "WaterUserDist", "Attribute",
             "AttrValidVal", "AggDivAttr", "WaterUserAttr", "Scenario", "DemandChg", "DepletionChg",
             "EfficiencyChg", "DemandChgWaterUser", "DemandSelection", "Plot", "PlotScenario",
             "PlotCurve", "PlotCurveFilter", "PlotCurveWaterUser" }) {
        const QString name = QString::fromUtf8(table);
        const QString dump = first.dump(name);
        QVERIFY2(!dump.isEmpty(), table);
        QVERIFY2(dump == second.dump(name), table);
    }
}

void TestDemo::refusesToOverwrite_data()
{
    QTest::addColumn<bool>("large");
    QTest::addColumn<bool>("existing");
    QTest::newRow("demo over a file") << false << true;
    QTest::newRow("large over a file") << true << true;
    QTest::newRow("demo in a missing folder") << false << false;
    QTest::newRow("large in a missing folder") << true << false;
}

void TestDemo::refusesToOverwrite()
{
    QFETCH(bool, large);
    QFETCH(bool, existing);
    const QByteArray content = "someone's notes, not a project";
    const QString target = existing ? _dir.filePath(QStringLiteral("notes-%1.db").arg(large))
                                    : _dir.filePath(QStringLiteral("no-such-folder/demo.db"));
    if (existing) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    const TARN::okstat status
        = large ? DemoProject::createLarge(target) : DemoProject::createDemo(target);
    QVERIFY(status.failed());
    QVERIFY(!status.text().isEmpty());
    if (existing) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    } else {
        QVERIFY(!QFileInfo::exists(target));
    }
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
