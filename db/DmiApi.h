// DmiApi: the Excel export's read-only data access (scenarios, monthly result series).

#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QList>
#include <QObject>
#include <QPair>

class QSqlDatabase;
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
    // found, when given, says whether the scenario exists (name is left as it was when not).
    TARN::okstat getScenarioName(int scenarioId, QString& name, bool* found = nullptr) const;

    // found: whether any site has monthly salinity results for the months from January of
    // begYear to December of endYear, that is whether an export would write a sheet for it.
    TARN::okstat hasAggDivResults(int scenarioId, int begYear, int endYear, bool& found) const;
    // columns: how many columns an export of those months writes into the sheet: the months,
    // one per site with monthly salinity results, and two per baseline water user of such a
    // site with monthly results.
    TARN::okstat exportColumns(int scenarioId, int begYear, int endYear, int& columns) const;

    // The monthly salinity of one site from January of begYear to December of endYear. Each row
    // goes to the position of its month; months without a row are NaN once any row was found.
    TARN::okstat getAggDivSalinitySeries(int scenarioId, const AggDiv& aggDiv, int begYear,
        int endYear, int count, bool& found, double* values, int begMonth = 1, int endMonth = 12,
        qint64* timeStamps = nullptr) const;
    TARN::okstat getWaterUserSeries(int scenarioId, const WaterUser& waterUser,
        const QString& aggDivName, int begYear, int endYear, int count, bool& found,
        double* diversion, double* depletion, int begMonth = 1, int endMonth = 12,
        qint64* timeStamps = nullptr) const;

    // Whether the series are read straight through the connection's SQLite handle (possible
    // only when Qt's driver runs on the SQLite library this program is linked with); otherwise
    // they are read through QSqlQuery, with the same results.
    static bool directReadAvailable(const QSqlDatabase& db);
    // For tests: false reads every series through QSqlQuery.
    static void setDirectReadEnabled(bool enabled);

private:
    QSqlTableModel* _aggDivModel;
    QSqlTableModel* _scenarioModel;
    QSqlTableModel* _waterUserModel;
};
