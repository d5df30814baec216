#pragma once

#include "db/okstat.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

// What the demand ensembles read from and write into a project file: the rows of its input
// tables for the project's identity, a scenario's demand changes with the years they change, and
// a member's values written into a copied scenario's changes.
namespace EnsembleData {

// Every row of every input table (all tables but the eight result tables), the tables by name
// and the rows ordered by all their columns, read by position: two files with the same inputs
// give the same rows in the same order whatever their free columns are called.
using RowVisitor = std::function<void(const QString& table, const QVector<QVariant>& row)>;
TARN::okstat visitInputRows(QSqlDatabase& db, const RowVisitor& visit);

// A demand change of a scenario and the years it has stored depletion and efficiency changes for.
struct Change {
    int id = 0;
    QString name;
    QList<int> depletionYears; // ascending
    QList<int> efficiencyYears; // ascending
};
TARN::okstat scenarioChanges(QSqlDatabase& db, int scenarioID, QList<Change>& changes);

// Inside the caller's transaction: the change value of year of a change's depletion (efficiency
// when not depletion) rows set to value; refuses when there is no such row.
TARN::okstat setChangeValue(
    QSqlDatabase& db, int demandChgID, bool depletion, int year, double value);
// Inside the caller's transaction: every change value of a change's depletion or efficiency
// rows multiplied by factor, except those that name a baseline year.
TARN::okstat scaleChangeValues(QSqlDatabase& db, int demandChgID, bool depletion, double factor);

} // namespace EnsembleData
