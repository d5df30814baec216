#pragma once

#include "ExportChecks.h"

#include "support/BookReader.h"
#include "support/TestProject.h"
#include "support/WorkbookTestTools.h"

#include "db/ModelOps.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "workbook/CompoundFile.h"
#include "workbook/SheetCells.h"
#include "workbook/SummaryInformation.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

namespace DataExporterChecks {

// The fingerprints as the independent readers see them.
inline QJsonObject fingerprints(const QString& path)
{
    return ExportChecks::pythonDump(WorkbookTestTools::FingerprintScript, path);
}

inline QJsonArray fingerprintOf(const QJsonObject& read, const QString& what, const QString& sheet)
{
    return read.value(QStringLiteral("properties"))
        .toObject()
        .value(QStringLiteral("Tarnhelm %1: %2").arg(what, sheet))
        .toArray();
}

// A book of another program: a sheet "Notes" and the custom property "Reviewer".
inline bool makeForeignBook(const QString& path)
{
    bool ok = false;
    QString errors;
    if (path.endsWith(QLatin1String(".xls"))) {
        WorkbookTestTools::runPython(
            QString::fromUtf8(WorkbookTestTools::ForeignXlsScript), { path }, &ok, &errors);
        Workbook::CompoundFile file;
        QFile in(path);
        QString error;
        if (!ok || !in.open(QIODevice::ReadOnly) || !file.read(in.readAll(), &error))
            return false;
        in.close();
        Workbook::CompoundFile::Entry summary;
        summary.name = Workbook::SummaryInformation::StreamName;
        summary.data = WorkbookTestTools::excelSummaryStream();
        file.root().children.push_back(summary);
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(file.write()) > 0;
    }
    WorkbookTestTools::runPython(
        QString::fromUtf8(WorkbookTestTools::ForeignXlsxScript), { path }, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok;
}

} // namespace DataExporterChecks

// The project the DataExporter tests export from: sites, water users and two scenarios with
// monthly results for 2000 and 2001, made afresh for each test (setUp() from init(), tearDown()
// from cleanup()).
class DataExporterFixture {
protected:
    std::unique_ptr<TestProject> _project;

    static QByteArray fileHash(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    }

    // Sites S1 (mass method, results) and S2 (no salinity rows at all); water users W1 and W2 at
    // S1, W3 at S1 without monthly rows, a scenario-only water user at S1.
    void fillResults(int scenarioId, double offset)
    {
        QSqlQuery site(TarnDbMgr::instance()->database());
        QSqlQuery user(TarnDbMgr::instance()->database());
        if (scenarioId < 0) {
            site.prepare(
                QStringLiteral("INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, Month, "
                               "AggDivSalinityValue) VALUES (1, 1, :m, :v)"));
            user.prepare(
                QStringLiteral("INSERT INTO BaseMonthlyWaterUser (BaselineID, WaterUserID, Month, "
                               "DiversionValue, DepletionValue) VALUES (1, :w, :m, :div, :dep)"));
        } else {
            site.prepare(QStringLiteral(
                "INSERT INTO ScenarioMonthlyAggDiv (BaselineID, ScenarioID, AggDivID, "
                "Month, AggDivSalinityValue) VALUES (1, %1, 1, :m, :v)")
                             .arg(scenarioId));
            user.prepare(
                QStringLiteral("INSERT INTO ScenarioMonthlyWaterUser (BaselineID, ScenarioID, "
                               "WaterUserID, Month, DiversionValue, DepletionValue) VALUES "
                               "(1, %1, :w, :m, :div, :dep)")
                    .arg(scenarioId));
        }
        for (int i = 0; i < 24; ++i) {
            const QString month = TARN::monthKey(2000 + i / 12, i % 12 + 1);
            site.bindValue(QStringLiteral(":m"), month);
            site.bindValue(QStringLiteral(":v"),
                i == 5 ? TARN::fromDouble(TARN::nan()) : QVariant(offset + i / 3.0));
            QVERIFY(site.exec());
            for (int w : { 1, 2, 4 }) {
                user.bindValue(QStringLiteral(":w"), w);
                user.bindValue(QStringLiteral(":m"), month);
                user.bindValue(QStringLiteral(":div"), offset + w * 100 + i + 0.1);
                user.bindValue(QStringLiteral(":dep"), offset + w * 10 + i * 0.5);
                QVERIFY(user.exec());
            }
        }
    }

    static QStringList headers(const Workbook::SheetCells& cells)
    {
        QStringList list;
        for (int c = 1; c < cells.columnCount(); ++c)
            list << cells.at(0, c).text;
        return list;
    }

    static bool readBook(
        const QString& path, QStringList& names, QList<Workbook::SheetCells>& sheets)
    {
        QString error;
        const bool read = ::readBook(path, names, sheets, &error);
        if (!read)
            qWarning("%s", qPrintable(error));
        return read;
    }

    void setUp()
    {
        _project = std::make_unique<TestProject>(1990, 2020);
        QVERIFY(
            _project
                ->exec(QStringLiteral(
                    "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) VALUES "
                    "  (1, 1, 'Upper', 'S1'), (2, 3, 'Lower', 'S2');"
                    "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES "
                    "  (1, 'Wet years', 'Wet'), (2, 'Dry years', 'Dry');"
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
                    "RiffleName) VALUES "
                    "  (1, 1, NULL, 'w1', 'W1'), (2, 1, NULL, 'w2', 'W2'), (3, 1, NULL, 'w3', "
                    "'W3'),"
                    "  (4, 1, 1, 'new', 'ScenarioOnly'), (5, 2, NULL, 'w5', 'W5')"))
                .isOk());
        QVERIFY(_project->openInManager().isOk());
        fillResults(-1, 0);
        fillResults(1, 1000);
        fillResults(2, 2000);
    }
    void tearDown()
    {
        resetDbManager();
        _project.reset();
    }
};
