#pragma once

#include <QDate>
#include <QString>

#include <cstddef>

namespace Workbook {
namespace XlCell {

// Excel's serial day number of a date in the 1900 date system, or 0 when the date cannot be
// given as one (invalid, or before 1900-01-01). Excel counts the nonexistent 1900-02-29 as day
// 60, so days before March 1900 are one lower than the plain day count from 1899-12-30.
int serialOf(const QDate& date);

// The text written in place of a date that has no serial number.
QString dateText(const QDate& date);

// Writes the shortest decimal text that reads back as exactly the same double. The value must
// be finite. Returns the number of characters written; buf needs room for 32.
size_t formatNumber(double value, char* buf);

// Text as a worksheet stores it back to the characters: "_x000D_" and the like are the
// characters XML can't hold, and "_x005F_" an underscore that starts such a text itself.
QString unescapeText(const QString& text);

// "A", "B", ... "Z", "AA", ... for a 0-based column index.
QString columnName(int column);
void appendColumnName(int column, std::string& out);
// The same at out, which needs room for 4 characters; returns the end of what was written.
char* appendColumnName(int column, char* out);

// Empty when the name may be used as a sheet name, otherwise why it may not.
QString sheetNameProblem(const QString& name);

} // namespace XlCell
} // namespace Workbook
