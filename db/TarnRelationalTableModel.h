#pragma once

#include <QSqlRelationalTableModel>

// The editable table model every data-access object holds for each of its tables.
class TarnRelationalTableModel : public QSqlRelationalTableModel {
    Q_OBJECT

public:
    TarnRelationalTableModel(QObject* parent, const QSqlDatabase& db);
};
