#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class BaselineDAO : public DaoBase {
    Q_OBJECT

public:
    BaselineDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* baselineModel() const { return _baselineModel; }
    TarnRelationalTableModel* salinityMethodModel() const { return _salinityMethodModel; }
    TarnRelationalTableModel* baseMonthlyAggDivModel() const { return _baseMonthlyAggDivModel; }
    TarnRelationalTableModel* baseMonthlyWaterUserModel() const
    {
        return _baseMonthlyWaterUserModel;
    }
    TarnRelationalTableModel* baseYearlyAggDivModel() const { return _baseYearlyAggDivModel; }
    TarnRelationalTableModel* baseYearlyWaterUserModel() const { return _baseYearlyWaterUserModel; }

    // Row 0 of the baseline model as currently selected.
    TARN::okstat getBaseline(Baseline& baseline);
    // The stored baseline row's years, read from the file rather than the model; fails when
    // there is no baseline row.
    TARN::okstat getTimeRange(int& startYear, int& endYear);
    // The baseline row's output type (0 without a row), read by position on the connection
    // given (an exporter's).
    static TARN::okstat readOutputType(const QSqlDatabase& db, int& outputType);
    // Fits the water users' yearly rows to the record's range, then writes and submits the
    // baseline row. When the yearly rows cannot be fitted, the row is left unwritten and the
    // failure returned, so that the caller's transaction can roll back both.
    TARN::okstat saveBaseline(const Baseline& baseline);

private:
    TarnRelationalTableModel* _baselineModel;
    TarnRelationalTableModel* _salinityMethodModel;
    TarnRelationalTableModel* _baseMonthlyAggDivModel;
    TarnRelationalTableModel* _baseMonthlyWaterUserModel;
    TarnRelationalTableModel* _baseYearlyAggDivModel;
    TarnRelationalTableModel* _baseYearlyWaterUserModel;
};
