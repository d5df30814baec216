#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Workbook {

// A sheet of plain cells: a header row and rows of texts, as a person edits it in any spreadsheet
// program. The cells of a numeric column that read as a number are written as numbers, the rest
// as texts; an empty text is an empty cell.
struct PlainSheet {
    QString name;
    QStringList header;
    QList<QStringList> rows;
    QVector<bool> numeric; // by column; missing entries are text columns

    int columnOf(const QString& heading) const;
    QString cell(int row, int column) const;
};

// Writes the sheets as a new .xlsx book (header rows in bold, frozen under the header); the book
// is written beside path and renamed over it, so a failure leaves the old file as it was.
bool writePlainBook(const QString& path, const QList<PlainSheet>& sheets, QString* error);

// Reads every sheet of a book (.xlsx, .xlsm or .xls) as texts: numbers in their shortest exact
// form, the first row as the header, trailing empty rows dropped.
bool readPlainBook(const QString& path, QList<PlainSheet>* sheets, QString* error);

// The shortest text that reads back as value.
QString plainNumber(double value);

} // namespace Workbook
