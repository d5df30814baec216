#pragma once

#include "db/okstat.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The column names of one project file, as that file spells them. The file format fixes the
// position of every column, but only some of the names: keys of the membership and result
// tables, the twelve coefficient columns, dates and descriptions may be called anything in a file
// made by another tool. Code that needs such a column in SQL text asks for it by table and
// position here; record writes address it by position.
class ColumnNames {
public:
    // Reads the columns of every table of the format (PRAGMA table_info); a table the file lacks
    // has no columns here, and statements naming it fail with SQLite's own message.
    TARN::okstat read(QSqlDatabase& db);
    void clear() { _columns.clear(); }

    // The column at position pos of table, quoted for SQL text.
    QString at(const QString& table, int pos) const;
    // The columns first..last (inclusive) of table, quoted and joined with ", ".
    QString range(const QString& table, int first, int last) const;
    // The unquoted names of table's columns, in file order.
    QStringList names(const QString& table) const { return _columns.value(table); }

    static QString quoted(const QString& name);

private:
    QHash<QString, QStringList> _columns;
};
