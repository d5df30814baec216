#pragma once

#include "calc/CalcObserver.h"
#include "calc/CalcStatusInfo.h"
#include "calc/ProjectValidator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/okstat.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>

struct ProjectCheckData;

// The part of the project check that rests on the calculation: the baseline and the scenarios
// are recomputed in memory by the calculators themselves (compare-only runs, one after another on
// the calling thread) and every site and water user is compared with its stored rows
// (results-current). The computed values also feed the rules on computed efficiencies, negative
// values, depletions above diversions and years the gap filling leaves empty.
class ResultsCheck : public QObject, public CalcObserver {
    Q_OBJECT

public:
    // runs: -1 for the baseline and scenario IDs, empty for all. The baseline is always
    // computed (the scenarios' changes are applied to it) but reported only when asked for.
    ResultsCheck(const ProjectCheckData& data, bool resultsOnly, const QList<int>& runs,
        QList<ValidationFinding>& findings);

    TARN::okstat run();

signals:
    void calcStatus(const CalcStatusInfo& info);

private:
    void aggDivCalculated(int aggDivID, const QString& riffleName,
        const std::vector<DemandMath::SiteSalinity>& salinity,
        const ResultStore::Difference& difference) override;
    void waterUserCalculated(int aggDivID, const AggDivCalcData::WaterUserEntry& entry,
        const ResultStore::Difference& difference) override;

    bool reported(int run) const { return _runs.isEmpty() || _runs.contains(run); }
    ValidationFinding& add(const QString& rule, int aggDivID, const QString& waterUser,
        const QString& message, int year);
    void resultsCurrent(int aggDivID, const QString& waterUser, const QString& label,
        const ResultStore::Difference& difference);
    void computedRules(const AggDivCalcData::WaterUserEntry& entry, int aggDivID);
    void missingYears(const AggDivCalcData::WaterUserEntry& entry, int aggDivID);
    void runFailed(const QString& what, const QString& error);

    const ProjectCheckData& _data;
    bool _resultsOnly;
    QList<int> _runs;
    QList<ValidationFinding>& _findings;
    int _scenarioID = 0; // the run being computed
    int _firstYear = 0;
    bool _report = true;
    bool _collectBaseline = false;
    ScenarioDemandCalculator::BaselineDepletions _baseline;
};
