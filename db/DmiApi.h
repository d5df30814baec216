#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QList>
#include <QObject>
#include <QPair>

class QSqlTableModel;

// Read-only access for the Excel export: the scenarios and the monthly result series of one
// site or water user, packed into caller-supplied arrays. Create it after a project is open.
class DmiApi : public QObject {
    Q_OBJECT

public:
    using ScenarioEntry = QPair<int, QString>;
    static constexpr int BaselineScenarioId = -1;

    explicit DmiApi(QObject* parent);

    TARN::okstat getScenarios(QList<ScenarioEntry>& scenarios, bool includeBaseline) const;
    TARN::okstat getScenarioName(int scenarioId, QString& name) const;

    // The monthly salinity of one site from January of begYear to December of endYear.
    TARN::okstat getAggDivSalinitySeries(int scenarioId, const AggDiv& aggDiv, int begYear,
        int endYear, int count, bool& found, double* values, int begMonth = 1, int endMonth = 12,
        qint64* timeStamps = nullptr) const;
    TARN::okstat getWaterUserSeries(int scenarioId, const WaterUser& waterUser,
        const QString& aggDivName, int begYear, int endYear, int count, bool& found,
        double* diversion, double* depletion, int begMonth = 1, int endMonth = 12,
        qint64* timeStamps = nullptr) const;

private:
    QSqlTableModel* _aggDivModel;
    QSqlTableModel* _scenarioModel;
    QSqlTableModel* _waterUserModel;
};
