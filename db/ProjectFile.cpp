#include "db/ProjectFile.h"

#include "db/ColumnNames.h"
#include "db/SchemaScript.h"
#include "db/TarnNames.h"

#include <QAtomicInt>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ProjectFile {

QString schemaScript()
{
    return QString::fromUtf8(kSchemaScript);
}

// Splits a script into statements at semicolons outside quotes and comments.
static QStringList splitStatements(const QString& script)
{
    QStringList statements;
    QString current;
    bool inQuote = false;
    for (int i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (!inQuote && c == QLatin1Char('-') && i + 1 < script.size()
            && script.at(i + 1) == QLatin1Char('-')) {
            while (i < script.size() && script.at(i) != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('\''))
            inQuote = !inQuote;
        if (c == QLatin1Char(';') && !inQuote) {
            if (!current.trimmed().isEmpty())
                statements.append(current.trimmed());
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

TARN::okstat executeScript(QSqlDatabase& db, const QString& script)
{
    const QStringList statements = splitStatements(script);
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement))
            return query.lastError().text();
    }
    return {};
}

QSqlDatabase openConnection(const QString& path, TARN::okstat* status)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("tarnhelm-project-%1").arg(counter.fetchAndAddRelaxed(1));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!db.open()) {
        *status = db.lastError().text();
        return db;
    }
    QSqlQuery pragma(db);
    if (!pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON;")))
        *status = pragma.lastError().text();
    return db;
}

void closeConnection(QSqlDatabase& db)
{
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

TARN::okstat create(const QString& path, int startYear, int endYear, const QString& description,
    const QString& schema)
{
    if (QFileInfo::exists(path))
        return QStringLiteral("%1 already exists; it is not overwritten.").arg(path);
    if (startYear > endYear)
        return QStringLiteral("The start year %1 is after the end year %2.")
            .arg(startYear)
            .arg(endYear);

    const QString temp = path + QStringLiteral(".part");
    QFile::remove(temp);
    TARN::okstat status;
    {
        QSqlDatabase db = openConnection(temp, &status);
        if (status.isOk()) {
            db.transaction();
            status = executeScript(db, schema.isEmpty() ? schemaScript() : schema);
            ColumnNames columns;
            if (status.isOk())
                status = columns.read(db);
            if (status.isOk()) {
                // By position: a script may name the baseline's text columns differently.
                QSqlQuery insert(db);
                insert.prepare(
                    QStringLiteral("INSERT INTO %1 (%2) VALUES (1, :description, :user, "
                                   ":created, :modified, :startYear, :endYear, 1, :hash)")
                        .arg(TN::BaselineTable, columns.range(TN::BaselineTable, 0, 8)));
                const QString today = QDate::currentDate().toString(Qt::ISODate);
                insert.bindValue(QStringLiteral(":description"), description);
                insert.bindValue(QStringLiteral(":user"), QString::fromLocal8Bit(qgetenv("USER")));
                insert.bindValue(QStringLiteral(":created"), today);
                insert.bindValue(QStringLiteral(":modified"), today);
                insert.bindValue(QStringLiteral(":startYear"), startYear);
                insert.bindValue(QStringLiteral(":endYear"), endYear);
                insert.bindValue(QStringLiteral(":hash"), QByteArray(""));
                if (!insert.exec())
                    status = insert.lastError().text();
            }
            if (status.isOk() && !db.commit())
                status = db.lastError().text();
        }
        closeConnection(db);
    }
    if (status.isOk() && !QFile::rename(temp, path))
        status = QStringLiteral("Unable to create %1").arg(path);
    if (status.failed())
        QFile::remove(temp);
    return status;
}

} // namespace ProjectFile
