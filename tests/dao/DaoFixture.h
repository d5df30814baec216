#pragma once

#include "db/ProjectFile.h"
#include "support/TestProject.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QtTest>

#include <memory>

// Fails the test with the operation's message unless it succeeded.
#define QVERIFY_OK(expression)                                                                     \
    do {                                                                                           \
        const TARN::okstat _status = (expression);                                                 \
        QVERIFY2(_status.isOk(), qPrintable(_status.text()));                                      \
    } while (false)

// A small basin on a project of 2000 to 2010:
// sites 1 North (salinity method 1, mass), 2 South (3, concentration), 3 East (4, mass);
// baseline water users 1 N-farm and 2 N-town at North, 3 S-farm at South; scenario-only water
// users 4 N-new (scenario 1, at North) and 5 E-new (scenario 2, at East);
// site attribute 1 "Basin" with values 1 Unassigned, 2 Upper, 3 Lower;
// water user attribute 2 "Use" with values 4 Unassigned, 5 Farm, 6 Town.
inline QString basinSql()
{
    return QStringLiteral(
        "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES"
        " (1, 'Dry', 'S1'), (2, 'Wet', 'S2');"
        "INSERT INTO AggDiv (AggDivID, BaselineID, SalinityMethodID, SiteName, RiffleName, Notes,"
        " Ord) VALUES (1, 1, 1, 'North', 'RN', 'n', 1), (2, 1, 3, 'South', 'RS', 's', 2),"
        " (3, 1, 4, 'East', 'RE', 'e', 3);"
        "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, RiffleName,"
        " Notes, Ord) VALUES (1, 1, NULL, 'N-farm', 'RNF', 'x', 1),"
        " (2, 1, NULL, 'N-town', 'RNT', '', 2), (3, 2, NULL, 'S-farm', 'RSF', '', 1),"
        " (4, 1, 1, 'N-new', 'RNN', '', 3), (5, 3, 2, 'E-new', 'REN', '', 1);"
        "INSERT INTO Attribute (AttrID, BaselineID, AttrName, AttrTypeID) VALUES"
        " (1, 1, 'Basin', 1), (2, 1, 'Use', 2);"
        "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES"
        " (1, 1, 'Unassigned'), (2, 1, 'Upper'), (3, 1, 'Lower'),"
        " (4, 2, 'Unassigned'), (5, 2, 'Farm'), (6, 2, 'Town')");
}

// Makes a project of 2000 to 2010 with the basin and the extra statements, and opens it in the
// manager.
inline TARN::okstat openBasin(
    std::unique_ptr<TestProject>& project, const QString& extraSql = QString())
{
    project = std::make_unique<TestProject>();
    if (!project->isValid())
        return project->error();
    TARN::okstat status = project->exec(basinSql());
    if (status.isOk() && !extraSql.isEmpty())
        status = project->exec(extraSql);
    return status.isOk() ? project->openInManager() : status;
}

// Runs one statement as a whole (a trigger body holds semicolons of its own).
inline TARN::okstat execStatement(const TestProject& project, const QString& sql)
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(project.path(), &status);
    if (status.isOk()) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            status = query.lastError().text();
    }
    ProjectFile::closeConnection(db);
    return status;
}

// Makes every statement of kind ("INSERT", "DELETE", "UPDATE") on table fail with message.
inline TARN::okstat refuse(
    const TestProject& project, const QString& kind, const QString& table, const QString& message)
{
    return execStatement(project,
        QStringLiteral("CREATE TRIGGER refuse_%1_%2 BEFORE %1 ON %2"
                       " BEGIN SELECT RAISE(ABORT, '%3'); END")
            .arg(kind, table, message));
}

// Number of rows a statement counts, on a private connection.
inline int count(const TestProject& project, const QString& sql)
{
    return project.scalar(sql).toInt();
}
