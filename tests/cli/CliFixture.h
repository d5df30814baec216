#pragma once

#include "db/ProjectFile.h"
#include "demo/DemoProject.h"
#include "support/BookReader.h"
#include "support/CliRun.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

// What the tst_cli_* tests share: running the built command-line tool as a user would, and
// reading back what it wrote.
class CliFixture : public QObject {
protected:
    using Result = CliResult;
    static Result run(const QStringList& args) { return runCli(args); }
    static QJsonObject pythonJson(const char* script, const QString& path)
    {
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral("-c"), QString::fromUtf8(script), path });
        if (!python.waitForFinished(120000) || python.exitCode() != 0) {
            qWarning().noquote() << python.readAllStandardError();
            return {};
        }
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    // Every row of the eight result tables without its key, in a fixed order.
    static QStringList resultRows(const QString& path)
    {
        QStringList rows;
        TARN::okstat status;
        QSqlDatabase db = ProjectFile::openConnection(path, &status);
        for (const char* table : { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "BaseYearlyWaterUser",
                 "BaseMonthlyWaterUser", "ScenarioYearlyAggDiv", "ScenarioMonthlyAggDiv",
                 "ScenarioYearlyWaterUser", "ScenarioMonthlyWaterUser" }) {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table))))
                return { query.lastError().text() };
            QStringList tableRows;
            while (query.next()) {
                QStringList values { QLatin1String(table) };
                for (int column = 1; column < query.record().count(); ++column)
                    values.append(query.value(column).toString());
                tableRows.append(values.join(QLatin1Char('|')));
            }
            tableRows.sort();
            rows += tableRows;
        }
        ProjectFile::closeConnection(db);
        return rows;
    }

    static QStringList bookText(const QString& path)
    {
        QStringList names;
        QList<Workbook::SheetCells> sheets;
        QString error;
        if (!readBook(path, names, sheets, &error))
            return { error };
        QStringList text = names;
        for (const Workbook::SheetCells& cells : qAsConst(sheets)) {
            for (int row = 0; row < cells.rowCount(); ++row) {
                for (int column = 0; column < cells.columnCount(); ++column) {
                    const Workbook::ReadCell cell = cells.at(row, column);
                    text.append(cell.type == Workbook::ReadCell::Number
                            ? QString::number(cell.number, 'g', 17)
                            : cell.text);
                }
            }
        }
        return text;
    }

    // The attribute file without its header comment, which names the project file and the time.
    static QByteArray attributeText(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QByteArray text = file.readAll();
        const int start = text.indexOf("<!--");
        const int end = text.indexOf("-->", start);
        if (start >= 0 && end > start)
            text.remove(start, end + 3 - start);
        return text;
    }
};
