// Demand ensembles through the command-line tool, as a batch user runs them: a plan, its members
// run side by side under GNU parallel from one read-only project, a member written back as a
// scenario, the refusals, and the summary of an incomplete folder.
#include "db/ProjectFile.h"
#include "support/CliRun.h"
#include "support/TestProject.h"
#include "workbook/SheetCells.h"
#include "workbook/WorkbookReader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int Members = 16;
// Scenario 2 of the demo basin, "Municipal Growth": a new-amount change with a value for 2010,
// and an amount change whose values are all scaled.
const char* const Spec = R"({"vary": [
    {"change": "Pinecrest growth plan", "kind": "depletion", "year": 2010, "min": 40, "max": 70},
    {"change": "Industrial water contracts", "factor": {"min": 0.5, "max": 1.5}}]})";

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// slot|year -> value text, as a member wrote it.
QHash<QString, QString> memberValues(const QString& csv)
{
    QHash<QString, QString> values;
    const QList<QByteArray> lines = fileBytes(csv).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i));
        const int last = line.lastIndexOf(QLatin1Char(','));
        const int year = line.lastIndexOf(QLatin1Char(','), last - 1);
        if (year > 0)
            values.insert(line.left(last).replace(year, 1, QLatin1Char('|')), line.mid(last + 1));
    }
    return values;
}

QString valueText(const QVariant& value)
{
    return value.isNull() ? QStringLiteral("NaN") : QString::number(value.toDouble(), 'g', 17);
}

double parsed(const QString& text)
{
    return text == QLatin1String("NaN") ? std::nan("") : text.toDouble();
}

} // namespace

class TestEnsemble : public QObject {
    Q_OBJECT

private:
    QTemporaryDir _dir;
    QString _project;
    QString _spec;
    QString _plan;
    QString _members; // the 16 members, run once under GNU parallel

    QString path(const QString& name) const { return _dir.filePath(name); }

    CliResult plan(int seed, const QString& project = QString())
    {
        return runCli({ QStringLiteral("ensemble"), QStringLiteral("plan"),
            project.isEmpty() ? _project : project, QStringLiteral("--scenario"),
            QStringLiteral("2"), QStringLiteral("--vary"), _spec, QStringLiteral("--members"),
            QString::number(Members), QStringLiteral("--seed"), QString::number(seed) });
    }

    CliResult runMember(const QString& project, int member, const QString& out)
    {
        return runCli({ QStringLiteral("ensemble"), QStringLiteral("run"), project, _plan,
            QStringLiteral("--member"), QString::number(member), QStringLiteral("--out"), out });
    }

    // Every member of the plan under GNU parallel, two at a time; the exit status of parallel.
    int runUnderParallel(const QString& out)
    {
        QStringList args { QStringLiteral("-j2"), QStringLiteral("--halt"),
            QStringLiteral("now,fail=1"), qEnvironmentVariable("TARNHELM_CLI"),
            QStringLiteral("ensemble"), QStringLiteral("run"), _project, _plan,
            QStringLiteral("--member"), QStringLiteral("{}"), QStringLiteral("--out"), out,
            QStringLiteral("--xlsx"), QStringLiteral(":::") };
        for (int k = 0; k < Members; ++k)
            args.append(QString::number(k));
        QProcess parallel;
        parallel.start(QStringLiteral("parallel"), args);
        if (!parallel.waitForFinished(300000) || parallel.exitStatus() != QProcess::NormalExit)
            return -1;
        if (parallel.exitCode() != 0)
            qWarning("%s", parallel.readAllStandardError().constData());
        return parallel.exitCode();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariable("TARNHELM_CLI").isEmpty());
        if (QStandardPaths::findExecutable(QStringLiteral("parallel")).isEmpty())
            QFAIL("GNU parallel is missing: scripts/install-deps.sh installs it");
        _project = path(QStringLiteral("basin.db"));
        QVERIFY(makeDemoProject(_project).isOk());
        QCOMPARE(runCli({ QStringLiteral("recalc"), _project }).exitCode, 0);
        _spec = path(QStringLiteral("spec.json"));
        QVERIFY(writeBytes(_spec, Spec));
        const CliResult made = plan(7);
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        _plan = path(QStringLiteral("plan.json"));
        QVERIFY(writeBytes(_plan, made.out.toUtf8()));
        _members = path(QStringLiteral("members"));
        QCOMPARE(runUnderParallel(_members), 0);
    }

    void sameSeedSamePlanAndBytes()
    {
        // The plan: the same seed draws the same values, another seed others.
        QCOMPARE(plan(7).out.toUtf8(), fileBytes(_plan));
        const QJsonArray members = QJsonDocument::fromJson(fileBytes(_plan))
                                       .object()
                                       .value(QLatin1String("members"))
                                       .toArray();
        const QJsonArray others = QJsonDocument::fromJson(plan(8).out.toUtf8())
                                      .object()
                                      .value(QLatin1String("members"))
                                      .toArray();
        QCOMPARE(members.size(), Members);
        QCOMPARE(others.size(), Members);
        // Latin hypercube: each dimension's members fall one into each of the 16 strata.
        const double bounds[2][2] = { { 40, 70 }, { 0.5, 1.5 } };
        for (int d = 0; d < 2; ++d) {
            QList<int> strata;
            for (const QJsonValue& member : members) {
                const double v
                    = member.toObject().value(QLatin1String("values")).toArray().at(d).toDouble();
                strata.append(int((v - bounds[d][0]) / (bounds[d][1] - bounds[d][0]) * Members));
            }
            std::sort(strata.begin(), strata.end());
            for (int k = 0; k < Members; ++k)
                QCOMPARE(strata.at(k), k);
        }
        for (int k = 0; k < Members; ++k) {
            QVERIFY(members.at(k).toObject().value(QLatin1String("values"))
                != others.at(k).toObject().value(QLatin1String("values")));
        }

        // The members: run again, every output is the same byte for byte; nothing was written
        // into the project by either run.
        const QByteArray projectBefore = fileBytes(_project);
        const QString again = path(QStringLiteral("again"));
        QCOMPARE(runUnderParallel(again), 0);
        QCOMPARE(fileBytes(_project), projectBefore);
        for (int k = 0; k < Members; ++k) {
            for (const char* suffix : { ".csv", ".xlsx" }) {
                const QString name = QStringLiteral("member-%1").arg(k) + QLatin1String(suffix);
                const QByteArray first = fileBytes(QDir(_members).filePath(name));
                QVERIFY2(!first.isEmpty(), qPrintable(name));
                QVERIFY2(first == fileBytes(QDir(again).filePath(name)), qPrintable(name));
            }
        }
        // Different values, different results; and the book records the member's values.
        QVERIFY(fileBytes(QDir(_members).filePath(QStringLiteral("member-0.csv")))
            != fileBytes(QDir(_members).filePath(QStringLiteral("member-1.csv"))));
        QString error;
        const auto book = Workbook::WorkbookReader::openFile(
            QDir(_members).filePath(QStringLiteral("member-5.xlsx")), &error);
        QVERIFY2(book, qPrintable(error));
        QHash<QString, QString> properties;
        for (const Workbook::DocProperty& property : book->customProperties())
            properties.insert(property.name, property.valueText());
        const QJsonArray values = members.at(5).toObject().value(QLatin1String("values")).toArray();
        QCOMPARE(properties.value(QStringLiteral("Tarnhelm ensemble member")), QStringLiteral("5"));
        QCOMPARE(properties
                     .value(QStringLiteral("Tarnhelm ensemble Pinecrest growth plan "
                                           "depletion 2010"))
                     .toDouble(),
            values.at(0).toDouble());
        QCOMPARE(properties.value(QStringLiteral("Tarnhelm ensemble plan")).size(), 64);
    }

    void materializedMemberEqualsItsRun()
    {
        const int member = 5;
        const QString copy = path(QStringLiteral("materialized.db"));
        QVERIFY(QFile::copy(_project, copy));
        const CliResult written = runCli({ QStringLiteral("ensemble"),
            QStringLiteral("materialize"), copy, _plan, QStringLiteral("--member"),
            QString::number(member), QStringLiteral("--name"), QStringLiteral("Growth member 5") });
        QVERIFY2(written.exitCode == 0, qPrintable(written.err));
        const QRegularExpressionMatch id
            = QRegularExpression(QStringLiteral("\\(ID (\\d+)\\)")).match(written.out);
        QVERIFY2(id.hasMatch(), qPrintable(written.out));
        // Taken once more: the name is a sheet's, and two alike would share it.
        QCOMPARE(runCli({ QStringLiteral("ensemble"), QStringLiteral("materialize"), copy, _plan,
                            QStringLiteral("--member"), QStringLiteral("1"),
                            QStringLiteral("--name"), QStringLiteral("growth MEMBER 5") })
                     .exitCode,
            1);
        QCOMPARE(
            runCli({ QStringLiteral("recalc"), copy, QStringLiteral("--scenario"), id.captured(1) })
                .exitCode,
            0);

        // The stored yearly results of the new scenario, named as the member names its slots.
        QHash<QString, QString> stored;
        TARN::okstat status;
        QSqlDatabase db = ProjectFile::openConnection(copy, &status);
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        {
            QSqlQuery sites(db);
            QVERIFY(sites.exec(QStringLiteral(
                "SELECT a.RiffleName || '.' || m.SalinitySlotName, r.Year, r.AggDivSalinityValue "
                "FROM ScenarioYearlyAggDiv r JOIN AggDiv a ON a.AggDivID = r.AggDivID JOIN "
                "SalinityMethod m ON m.SalinityMethodID = a.SalinityMethodID WHERE "
                "r.ScenarioID = %1")
                                   .arg(id.captured(1))));
            while (sites.next())
                stored.insert(
                    sites.value(0).toString() + QLatin1Char('|') + sites.value(1).toString(),
                    valueText(sites.value(2)));
            QSqlQuery users(db);
            QVERIFY(users.exec(QStringLiteral(
                "SELECT a.RiffleName || ':' || w.RiffleName || '.', r.Year, r.DiversionValue, "
                "r.DepletionValue FROM ScenarioYearlyWaterUser r JOIN WaterUser w ON "
                "w.WaterUserID = r.WaterUserID JOIN AggDiv a ON a.AggDivID = w.AggDivID WHERE "
                "r.ScenarioID = %1")
                                   .arg(id.captured(1))));
            while (users.next()) {
                const QString year = QLatin1Char('|') + users.value(1).toString();
                stored.insert(
                    users.value(0).toString() + QStringLiteral("Diversion Requested") + year,
                    valueText(users.value(2)));
                stored.insert(
                    users.value(0).toString() + QStringLiteral("Depletion Requested") + year,
                    valueText(users.value(3)));
            }
        }
        ProjectFile::closeConnection(db);
        const QHash<QString, QString> computed
            = memberValues(QDir(_members).filePath(QStringLiteral("member-%1.csv").arg(member)));
        QVERIFY(computed.size() > 1000);
        QCOMPARE(stored.size(), computed.size());
        // The same doubles, to the last bit (NaN for a missing value on both sides).
        for (auto it = computed.cbegin(); it != computed.cend(); ++it) {
            QVERIFY2(stored.contains(it.key()), qPrintable(it.key()));
            const double member = parsed(it.value());
            const double recalculated = parsed(stored.value(it.key()));
            QVERIFY2(member == recalculated || (std::isnan(member) && std::isnan(recalculated)),
                qPrintable(
                    QStringLiteral("%1: %2 %3").arg(it.key(), it.value(), stored.value(it.key()))));
        }
    }

    void refusedProject_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("recalcHelps");
        // Inputs unchanged, one stored baseline result changed by another program.
        QTest::newRow("stale baseline") << QStringLiteral(
            "UPDATE BaseYearlyWaterUser SET DepletionValue = DepletionValue + 1 WHERE Year = 2005 "
            "AND WaterUserID = (SELECT MIN(WaterUserID) FROM DemandChgWaterUser)")
                                        << QStringLiteral("tarnhelm-cli recalc") << true;
        // An input edited after the plan was made: the plan's values no longer mean the same.
        QTest::newRow("edited input") << QStringLiteral(
            "UPDATE WaterUserData SET DepletionReq = DepletionReq + 1 WHERE Year = 2005 AND "
            "WaterUserID = (SELECT MIN(WaterUserID) FROM DemandChgWaterUser)")
                                      << QStringLiteral("tarnhelm-cli ensemble plan") << false;
    }

    void refusedProject()
    {
        QFETCH(QString, edit);
        QFETCH(QString, named);
        QFETCH(bool, recalcHelps);
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("edited.db"));
        QVERIFY(QFile::copy(_project, copy));
        {
            TARN::okstat status;
            QSqlDatabase db = ProjectFile::openConnection(copy, &status);
            QSqlQuery query(db);
            QVERIFY(query.exec(edit));
            QVERIFY(query.numRowsAffected() >= 1);
            ProjectFile::closeConnection(db);
        }
        const QString out = dir.filePath(QStringLiteral("out"));
        const CliResult refused = runMember(copy, 3, out);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(named), qPrintable(refused.err));
        QVERIFY(!QFile::exists(QDir(out).filePath(QStringLiteral("member-3.csv"))));

        // Recalculated, the same project runs the member as before it was touched.
        QCOMPARE(runCli({ QStringLiteral("recalc"), copy }).exitCode, 0);
        const CliResult again = runMember(copy, 3, out);
        QCOMPARE(again.exitCode, recalcHelps ? 0 : 1);
        if (recalcHelps) {
            QCOMPARE(fileBytes(QDir(out).filePath(QStringLiteral("member-3.csv"))),
                fileBytes(QDir(_members).filePath(QStringLiteral("member-3.csv"))));
        }
    }

    void summarizeNamesMissingMembers()
    {
        // A folder in which two members failed or were never run.
        const QString partial = path(QStringLiteral("partial"));
        QVERIFY(QDir().mkpath(partial));
        const QStringList names = QDir(_members).entryList(QDir::Files);
        for (const QString& name : names) {
            if (name != QLatin1String("member-3.csv") && name != QLatin1String("member-11.csv"))
                QVERIFY(QFile::copy(QDir(_members).filePath(name), QDir(partial).filePath(name)));
        }
        const QString book = path(QStringLiteral("summary.xlsx"));
        const QString charts = path(QStringLiteral("charts"));
        const CliResult summarized
            = runCli({ QStringLiteral("ensemble"), QStringLiteral("summarize"), partial,
                QStringLiteral("--out"), book, QStringLiteral("--png"), charts });
        QVERIFY2(summarized.exitCode == 0, qPrintable(summarized.err));
        QVERIFY2(summarized.err.contains(QStringLiteral("Missing members: 3 and 11")),
            qPrintable(summarized.err));

        // Its median of one slot and year is that of the 14 members found.
        const QString slot
            = QStringLiteral("PinecrestAggDiv:PinecrestCityWater.Depletion Requested");
        std::vector<double> found;
        for (int k = 0; k < Members; ++k) {
            if (k == 3 || k == 11)
                continue;
            const QHash<QString, QString> values
                = memberValues(QDir(_members).filePath(QStringLiteral("member-%1.csv").arg(k)));
            QVERIFY(values.contains(slot + QStringLiteral("|2010")));
            found.push_back(values.value(slot + QStringLiteral("|2010")).toDouble());
        }
        std::sort(found.begin(), found.end());
        const double middle = (found[6] + found[7]) / 2;
        QVERIFY(found.front() < found.back());

        QString error;
        const auto reader = Workbook::WorkbookReader::openFile(book, &error);
        QVERIFY2(reader, qPrintable(error));
        const int median = reader->sheetNames().indexOf(QStringLiteral("Median"));
        QVERIFY2(median >= 0, qPrintable(reader->sheetNames().join(QLatin1Char(','))));
        Workbook::SheetCells cells;
        QVERIFY2(reader->readSheet(median, &cells, &error), qPrintable(error));
        int column = -1;
        int row = -1;
        for (int c = 0; c < cells.columnCount(); ++c) {
            if (cells.at(0, c).text == slot)
                column = c;
        }
        for (int r = 1; r < cells.rowCount(); ++r) {
            // Dates are days since 30 December 1899, as the spreadsheets count them.
            const qint64 day = QDate(1899, 12, 30).daysTo(QDate(2010, 1, 1));
            if (cells.at(r, 0).number == double(day))
                row = r;
        }
        QVERIFY2(column > 0 && row > 0, qPrintable(QStringLiteral("%1 %2").arg(column).arg(row)));
        QVERIFY(std::abs(cells.at(row, column).number - middle) <= 1e-9 * std::abs(middle));
        bool named = false;
        for (const Workbook::DocProperty& property : reader->customProperties()) {
            if (property.name == QLatin1String("Tarnhelm ensemble members missing"))
                named = property.valueText() == QLatin1String("3 and 11");
        }
        QVERIFY(named);
        // The basin's fan chart, drawn offscreen without a display.
        QVERIFY(fileBytes(QDir(charts).filePath(QStringLiteral("Basin.Total_Depletion.png")))
                    .startsWith("\x89PNG"));
    }
};

QTEST_GUILESS_MAIN(TestEnsemble)
#include "tst_ensemble.moc"
