#include "db/DaoBase.h"

#include "db/ModelOps.h"

DaoBase::DaoBase(QObject* parent, const QSqlDatabase& db)
    : QObject(parent)
    , _db(db)
{
}

TarnRelationalTableModel* DaoBase::createModel(const QString& table)
{
    auto* model = new TarnRelationalTableModel(this, _db);
    model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    model->setTable(table);
    return model;
}

bool DaoBase::selectModels(std::initializer_list<TarnRelationalTableModel*> models)
{
    for (auto* model : models) {
        if (!ModelOps::resetAndSelect(model))
            return false;
    }
    return true;
}

void DaoBase::setHeader(TarnRelationalTableModel* model, int column, const QString& text)
{
    model->setHeaderData(column, Qt::Horizontal, text);
}
