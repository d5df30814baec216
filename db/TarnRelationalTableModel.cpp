#include "db/TarnRelationalTableModel.h"

TarnRelationalTableModel::TarnRelationalTableModel(QObject* parent, const QSqlDatabase& db)
    : QSqlRelationalTableModel(parent, db)
{
}
