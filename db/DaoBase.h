#pragma once

#include "db/TarnRelationalTableModel.h"

#include <QObject>
#include <QSqlDatabase>

// Shared construction of the data-access objects: each holds table models on the connection,
// with manual submission, created in a fixed order.
class DaoBase : public QObject {
    Q_OBJECT

public:
    DaoBase(QObject* parent, const QSqlDatabase& db);

    // Sets the display headers and selects every model the structure check covers.
    virtual bool checkStructure() = 0;

    QSqlDatabase database() const { return _db; }

protected:
    TarnRelationalTableModel* createModel(const QString& table);
    static bool selectModels(std::initializer_list<TarnRelationalTableModel*> models);
    static void setHeader(TarnRelationalTableModel* model, int column, const QString& text);

    QSqlDatabase _db;
};
