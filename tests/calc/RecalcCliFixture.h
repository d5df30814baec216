#pragma once

#include "support/CalcTestSupport.h"
#include "support/CliRun.h"

#include "db/TarnNames.h"
#include "support/TestProject.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace {

// The findings of "validate --json" with the given rule (all with an empty one).
inline QJsonArray findingsOf(const QString& path, const QString& rule = QString())
{
    const CliResult result = runCli({ QStringLiteral("validate"), path, QStringLiteral("--json") });
    QJsonArray found;
    const QJsonArray all = QJsonDocument::fromJson(result.out.toUtf8())
                               .object()
                               .value(QStringLiteral("findings"))
                               .toArray();
    for (const QJsonValue& finding : all) {
        if (rule.isEmpty() || finding.toObject().value(QStringLiteral("rule")).toString() == rule)
            found.append(finding);
    }
    return found;
}

inline QString asText(const QJsonArray& findings)
{
    return QString::fromUtf8(QJsonDocument(findings).toJson());
}

} // namespace

// What the tst_recalccli_* tests share: the project they work on and their helpers.
class RecalcCliFixture : public QObject {
protected:
    void makeBasin(TestProject& project);
};

inline void RecalcCliFixture::makeBasin(TestProject& project)
{
    QVERIFY(project.isValid());
    QVERIFY(project.exec(smallBasinSql()).isOk());
    QVERIFY(project
                .exec(QStringLiteral(
                    "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, "
                    "'Dry', 'D'), (2, 'Wet', 'W');"
                    "INSERT INTO DemandChg VALUES "
                    "(1, 1, 'A', NULL, '2024-01-01', 1, 1, 0);"
                    "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1);"
                    "INSERT INTO DepletionChg VALUES (NULL, 1, 2000, 1, 10)"))
                .isOk());
}
