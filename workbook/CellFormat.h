#pragma once

#include <QDate>
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

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

// A worksheet's grid: rows 1 to 1048576, columns A to XFD.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;

// A row number: digits only, 1 or more. One larger than the grid stands for any number past
// it, so that the cell is refused rather than taken for another. False when it isn't one.
bool parseRowNumber(std::string_view digits, int* row);
// The 0-based row and column of a reference such as "AB12" (letters in either case); false
// when it isn't one. A reference past the grid gives a row or column just past it.
bool parseCellRef(std::string_view ref, int* row, int* column);
// What a reader says of a sheet that has a cell past the grid.
QString pastGridError();

// Empty when the name may be used as a sheet name, otherwise why it may not.
QString sheetNameProblem(const QString& name);

} // namespace XlCell
} // namespace Workbook
