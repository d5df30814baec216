#pragma once

#include "db/okstat.h"

#include <QSqlDatabase>
#include <QString>

// Making new project files from the schema script that ships with the program.
namespace ProjectFile {

// The schema script (tables, lookup rows, keys and indexes), compiled in.
QString schemaScript();

// Runs every statement of script on db; stops at the first failure with SQLite's message.
TARN::okstat executeScript(QSqlDatabase& db, const QString& script);

// Creates a new project at path with its baseline row; refuses an existing file. The file is
// built under a temporary name and renamed into place, so a failure leaves nothing behind.
// schema is the script that makes the tables; empty means the one that ships with the program.
TARN::okstat create(const QString& path, int startYear, int endYear,
    const QString& description = QString(), const QString& schema = QString());

// Opens a private connection to path (foreign keys on) under a unique name; the caller removes
// it with closeConnection. For tools that write a project outside the program's manager.
QSqlDatabase openConnection(const QString& path, TARN::okstat* status);
void closeConnection(QSqlDatabase& db);

} // namespace ProjectFile
