#include "db/BaselineDAO.h"

#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"

#include <QSqlError>
#include <QSqlQuery>

BaselineDAO::BaselineDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _baselineModel(createModel(TN::BaselineTable))
    , _salinityMethodModel(createModel(TN::SalinityMethodTable))
    , _baseMonthlyAggDivModel(createModel(TN::BaseMonthlyAggDivTable))
    , _baseMonthlyWaterUserModel(createModel(TN::BaseMonthlyWaterUserTable))
    , _baseYearlyAggDivModel(createModel(TN::BaseYearlyAggDivTable))
    , _baseYearlyWaterUserModel(createModel(TN::BaseYearlyWaterUserTable))
{
}

bool BaselineDAO::checkStructure()
{
    return selectModels({ _baselineModel, _salinityMethodModel });
}

TARN::okstat BaselineDAO::getBaseline(Baseline& baseline)
{
    const auto value = [this](int column) { return _baselineModel->index(0, column).data(); };
    baseline.BaselineID = value(0).toInt();
    baseline.Description = value(1).toString();
    baseline.ToolUserName = value(2).toString();
    baseline.CreatedDate = value(3).toString();
    baseline.ModifiedDate = value(4).toString();
    baseline.StartYear = value(5).toInt();
    baseline.EndYear = value(6).toInt();
    baseline.outputTypeName = TARN::outputTypeName(value(7).toInt());
    baseline.outputTypeId = baseline.outputTypeName.isEmpty() ? 0 : value(7).toInt();
    baseline.PasswordHash = value(8).toByteArray();
    return {};
}

TARN::okstat BaselineDAO::getTimeRange(int& startYear, int& endYear)
{
    QSqlQuery range(_db);
    if (!range.exec(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = 1")
                        .arg(TN::StartYear, TN::EndYear, TN::BaselineTable, TN::BaselineID)))
        return range.lastError().text();
    if (!range.next())
        return QStringLiteral("The project has no baseline row.");
    startYear = range.value(0).toInt();
    endYear = range.value(1).toInt();
    return {};
}

TARN::okstat BaselineDAO::readOutputType(const QSqlDatabase& db, int& outputType)
{
    QSqlQuery baseline(db);
    if (!baseline.exec(QStringLiteral("SELECT * FROM %1").arg(TN::BaselineTable)))
        return baseline.lastError().text();
    if (baseline.next())
        outputType = baseline.value(7).toInt();
    return {};
}

TARN::okstat BaselineDAO::saveBaseline(const Baseline& baseline)
{
    const int oldStartYear = _baselineModel->index(0, 5).data().toInt();
    const int oldEndYear = _baselineModel->index(0, 6).data().toInt();
    const TARN::okstat adjusted = TarnDbMgr::instance()->waterUserDAO()->adjustTimeRange(
        oldStartYear, oldEndYear, baseline.StartYear, baseline.EndYear);
    if (adjusted.failed())
        return adjusted;

    const auto set = [this](int column, const QVariant& value) {
        _baselineModel->setData(_baselineModel->index(0, column), value);
    };
    set(1, baseline.Description);
    set(2, baseline.ToolUserName);
    set(3, baseline.CreatedDate);
    set(4, baseline.ModifiedDate);
    set(5, baseline.StartYear);
    set(6, baseline.EndYear);
    set(7, baseline.outputTypeId);
    set(8, baseline.PasswordHash);
    if (!_baselineModel->submitAll())
        return _baselineModel->lastError().text();
    return {};
}
