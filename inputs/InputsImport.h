#pragma once

#include "inputs/ImportPlan.h"
#include "inputs/ProjectInputs.h"

#include "db/okstat.h"

#include <QJsonObject>
#include <QStringList>

namespace Inputs {

// What to import: a book (empty when only series are given) and StateMod series files.
struct ImportRequest {
    QString book;
    QStringList diversionSeries;
    QStringList depletionSeries;
    ImportOptions options;
};

// Reads the project's inputs, the book and the series, and plans the import. Writes nothing.
TARN::okstat prepareImport(const ImportRequest& request, ProjectInputs& project, ImportPlan& plan);

// Writes the inputs of the open project to path (.xlsx, or a folder of .csv files), with the
// sheets of the scenarios asked for; an ID that names no scenario fails before anything is
// written.
TARN::okstat exportInputs(const QString& path, const QList<int>& scenarioIds = {});

// The preview as text lines for a terminal: per sheet what is added, changed (field by field)
// and not in the book; the unmatched stations; the rejected rows.
QStringList previewLines(const ImportPlan& plan);
// The same as JSON, with what the calculation that follows recomputes.
QJsonObject previewJson(const ImportPlan& plan, const QStringList& recompute);
// "Yearly Data row 5, column \"Depletion\": \"abc\" is not a number."
QString rejectedText(const RejectedRow& row);

} // namespace Inputs
