#pragma once

#include "support/WorkbookTestTools.h"

#include "db/okstat.h"
#include "export/LibXlConnect.h"

#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <limits>
#include <vector>

// What the tests of the export's workbooks share: books written through LibXlConnect, read back
// by our reader, openpyxl and the package checker.
namespace ExportChecks {

inline const double NaN = std::numeric_limits<double>::quiet_NaN();
inline const QString Baseline = QStringLiteral("Baseline Monthly Data");

// Values that a careless number writer gets wrong: shortest forms, subnormals, extremes,
// negative zero, and missing values.
std::vector<double> trickyValues(int count, int seed);

struct Column {
    QString header;
    std::vector<double> values;
};

TARN::okstat writeSheet(LibXlConnect& book, const QString& sheet,
    const std::vector<Column>& columns, const std::vector<QDate>& dates);

// The JSON a Python script prints for the book at path; empty (with the script's errors logged)
// when it fails.
QJsonObject pythonDump(const char* script, const QString& path);
// What the package checker finds wrong with the book at path, a line a problem.
QStringList packageProblems(const QString& path);
QJsonObject partHashes(const QString& path);
// The cells of one sheet in the Python dump, by "row,col".
QHash<QString, QJsonArray> dumpCells(const QJsonObject& dump, const QString& sheet);

// A new book of one sheet "First" at path, then one of its parts rewritten by a Python
// expression of `data` (the part's bytes) and `args` (the further arguments).
bool editedBook(const QString& path, const QString& part, const QString& expression,
    const QStringList& args = {});

// "Notes" (formats, a formula, a global name), "Baseline Monthly Data" (with a comment only it
// owns) and "Other" (with a local name) in dir; the second sheet is the active one. Optionally
// the app properties list the sheet titles and there is a calculation chain, as Excel writes
// them. Empty when openpyxl fails.
QString makeOpenpyxlBook(const QString& dir, bool excelParts = false);

// Reads the export back with our reader and (unless told not to) openpyxl, and checks the
// package's structure; a failed check fails the running test.
void checkExport(const QString& path, const QStringList& sheetNames,
    const std::vector<std::vector<Column>>& sheets, const std::vector<QDate>& dates,
    bool withOpenpyxl = true);

} // namespace ExportChecks
