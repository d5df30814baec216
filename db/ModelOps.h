#pragma once

#include "db/okstat.h"

#include <QList>
#include <QModelIndex>
#include <QSqlQuery>
#include <QVariant>

class QSqlTableModel;
class QAbstractItemModel;

// Row operations shared by every table model of the program.
namespace ModelOps {

// select() and fetch every row; false when the select fails.
bool selectAll(QSqlTableModel* model);
// Clear the filter, then selectAll.
bool resetAndSelect(QSqlTableModel* model);
// Show only the rows whose column equals id ("Table.Column = id").
bool filterById(QSqlTableModel* model, int id, const QString& column);
// Fetches every row a select has left unfetched (the driver hands out rows in batches of 256).
void fetchAll(const QAbstractItemModel* model);
// Index of column 0 of the first row whose key is id, all rows fetched first; invalid when none.
QModelIndex findRowById(const QAbstractItemModel* model, int id);
// Column 0 of every row, in row order (all rows fetched first).
void idList(const QAbstractItemModel* model, QList<int>& ids);
// "select * from Table where Table.Column = id", executed; inactive when it failed.
QSqlQuery selectWhere(const QSqlTableModel* model, int id, const QString& column);
// "delete from Table where Table.Column = 'id'".
TARN::okstat deleteWhere(QSqlTableModel* model, const QString& column, int id);
// Removes row of model and saves it in a transaction of its own (one saved step, the cascade
// included); on failure nothing is removed, the model is reverted and the database's text
// returned.
TARN::okstat removeRowSaved(QSqlTableModel* model, int row);

} // namespace ModelOps

namespace TARN {
// A number held by a model or typed text: NULL or text that is no number reads as NaN; integers
// are values too.
double toDouble(const QVariant& value);
// A number as the project file stores it: only a REAL or INTEGER value is one. NULL, text
// (whatever it spells: "12", "inf") and blobs read as NaN, a missing value, as the calculation
// takes them.
double storedNumber(const QVariant& value);
// Typed or pasted text as a number: only a finite one (text that overflows a double or spells
// nan or inf is no number).
bool parseFinite(const QString& text, double& value);
// A number pasted from a spreadsheet: as parseFinite, or written the way the desktop's locale
// writes it, thousands separators included ("1,234.5" in English, "1.234,5" in German), or with
// the separators of the "C" locale.
bool parsePasted(const QString& text, double& value);
// A double for binding: NaN binds as NULL.
QVariant fromDouble(double value);
// The month key "%1-%2-01".
QString monthKey(int year, int month);
// How a planner recalculates, for the messages that ask for it: "tarnhelm-cli recalc, or
// Recalculate All Data in the baseline editor".
QString recalculateHint();
} // namespace TARN
