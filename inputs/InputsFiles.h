#pragma once

#include "inputs/InputsLayout.h"

#include "db/okstat.h"

struct WaterUser;

namespace Inputs {

struct AttributeInfo;
struct ProjectInputs;

// The book of the project's inputs, in the documented layout, with the sheets of the scenarios
// asked for (none by default).
Book makeBook(const ProjectInputs& project, const QList<int>& scenarioIds = {});
// Only the scenario sheets (ScenarioBook.cpp); none without a scenario.
Book scenarioSheets(const ProjectInputs& project, const QList<int>& scenarioIds);
// A water user's cells after its names, as both water user sheets write them: the twelve
// monthly coefficients, then its values of the attributes given, in their order.
// Ends the header of a water user sheet, whose last column so far is Order: the twelve months
// and the water users' attributes. Order and the months are numbers, the columns before Order
// text. Gives the attributes in the order of their columns.
QList<const AttributeInfo*> addWaterUserColumns(Sheet& sheet, const ProjectInputs& project);
QStringList waterUserCells(const ProjectInputs& project, const WaterUser& waterUser,
    const QList<const AttributeInfo*>& attributes);

// Whether path names a folder of .csv files (anything but an .xlsx, .xlsm or .xls file name).
bool isCsvFolder(const QString& path);

// Writes the book as an .xlsx file, or as one "<sheet>.csv" a sheet in the folder path (made
// when missing). Every file is written beside its target and renamed over it.
TARN::okstat writeBook(const Book& book, const QString& path);
// Reads a book written by writeBook, or edited since by any program.
TARN::okstat readBook(const QString& path, Book& book);

// CSV as spreadsheet programs write it: fields separated by commas, quoted with '"' when they
// hold a comma, a quote or a line break, a quote in a quoted field doubled. A UTF-8 byte order
// mark is skipped; lines may end in CRLF or LF.
QByteArray toCsv(const Sheet& sheet);
// false with the line of the fault when a quoted field is never closed.
bool fromCsv(const QByteArray& data, Sheet& sheet, QString* error);

} // namespace Inputs
