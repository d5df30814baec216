#pragma once

#include <QString>

// What a failed statement means to a planner. The database's texts come as the driver glues
// them ("database or disk is full Unable to fetch row"); these turn them into one sentence that
// says what happened and what to do.
namespace DbFailure {

enum Kind { DiskFull, IoError, Locked, ReadOnly, Damaged, Other };

Kind classify(const QString& errorText);

// The database's own part of an error text, without the driver's words after it.
QString databaseText(const QString& errorText);

// "The disk is full", "Another program is writing to the project file", ...; for Other the
// database's own text.
QString cause(const QString& errorText);

// "<cause>: <what> was not saved. <what to do> and <retry>." for a failure whose cause is known;
// empty for Other, where the caller words the database's text itself. what: "the baseline";
// retry: "press OK again".
QString notSaved(const QString& errorText, const QString& what, const QString& retry);

// The same when the transaction ended with the failure: the edits since the last save are gone
// from the file, and the dialog shows the file's content again.
QString editsLost(const QString& errorText, const QString& what);

} // namespace DbFailure
