#pragma once

#include <QDate>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <vector>

// Helpers shared by the workbook tests: sample series and the independent Python readers.
namespace WorkbookTestTools {

// The first of each month from January of firstYear to December of lastYear.
std::vector<QDate> months(int firstYear, int lastYear);

// count values in (-1e9, 1e9), every 17th (from the fourth) missing (NaN); the same for a seed.
std::vector<double> series(int count, int seed);

// Whether two doubles are the same to the bit (a NaN equals itself, 0 doesn't equal -0).
bool sameBits(double a, double b);

QByteArray fileBytes(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

// Runs one of the Python helpers below with /usr/bin/python3; fails the test's QVERIFY when
// the helper fails. Returns what it printed.
QByteArray runPython(const QString& script, const QStringList& args, bool* ok, QString* errors);

// openpyxl (xlsx) or xlrd (xls) dump of a workbook as JSON:
// {"sheets": [...], "cells": {sheet: [[row, col, kind, value, format, align], ...]},
//  "names": [[name, localSheetId or -1, text], ...]}; numbers as float.hex() texts.
extern const char* const DumpXlsxScript;
extern const char* const DumpXlsScript;
// Structural checks of a package; prints the problems, one a line, or nothing.
extern const char* const CheckPackageScript;
// {"part name": "sha256 of its content", ...} for every entry of a ZIP package.
extern const char* const PartHashesScript;
// The custom document properties of a workbook, read without the workbook layer (zipfile and
// ElementTree for .xlsx/.xlsm, olefile and struct for .xls), and each sheet's content hash
// worked out from its cells as openpyxl/xlrd read them:
// {"properties": {name: [type, value]}, "count": number of properties (names may repeat),
//  "hashes": {sheet: hex}, "declared": true when the part's package relationship and content
//  type are there (.xlsx), or the stream is (.xls)}.
extern const char* const FingerprintScript;
// Books of other programs: a sheet "Notes" (xlwt for .xls; openpyxl for .xlsx, with the custom
// property "Reviewer" = "Pat" added to the package).
extern const char* const ForeignXlsScript;
extern const char* const ForeignXlsxScript;

// A DocumentSummaryInformation stream as Excel writes one: both property sets in code page
// 1252, the user-defined one holding the text property "Reviewer" = "Pat" (VT_LPSTR).
QByteArray excelSummaryStream();

double hexToDouble(const QString& hex);

// A ZIP archive with the modification times and dates of its entries (local and central
// headers) set to zero, so that two archives written at different times can be compared byte
// for byte. Empty when the archive's directory can't be walked.
QByteArray withoutEntryTimes(QByteArray zip);

} // namespace WorkbookTestTools
