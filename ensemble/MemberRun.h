#pragma once

#include "ensemble/EnsemblePlan.h"

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// One member of an ensemble: the template scenario computed with the member's values applied
// in memory, by the calculators in the project check's mode (nothing read or written of the
// template's own results, nothing written at all). The project must be open in the manager,
// read-only as a rule; its baseline results must be current, since the scenario's changes are
// applied to them.
class DemandCalculator;

class MemberRun {
public:
    // One output column: "Site.Salinity Mass", "Site:User.Depletion Requested".
    struct Series {
        QString slot;
        std::vector<double> yearly; // per year of the run
        std::vector<double> monthly; // per month of the run, January of the first year first
        // Whether the scenario's monthly sheet has the column: a water user that exists only
        // in the scenario is in its results, but never exported.
        bool inWorkbook = true;
    };

    explicit MemberRun(const EnsemblePlan& plan)
        : _plan(plan)
    {
    }

    // Progress of the calculations, site by site.
    void setStatusHandler(std::function<void(const CalcStatusInfo&)> handler)
    {
        _status = std::move(handler);
    }

    // Before run: keep the monthly values too, for writeWorkbook (a tenth of a member's memory
    // goes to them otherwise unused).
    void setMonthly(bool monthly) { _monthly = monthly; }

    // Checks the project against the plan and its baseline, then computes the member.
    TARN::okstat run(int member);

    int firstYear() const { return _firstYear; }
    int lastYear() const { return _lastYear; }
    const std::vector<Series>& series() const { return _series; }

    // "Slot,Year,Value" and one line per slot and year; missing values read "NaN".
    QByteArray csv() const;
    // The member's monthly sheet, named after the template scenario, into an .xlsx book whose
    // fingerprint records the plan's hash and the member's values. Needs setMonthly(true).
    TARN::okstat writeWorkbook(const QString& fileName, int member) const;

private:
    TARN::okstat checkBaseline(ScenarioChanges::BaselineSeriesMap& depletions);
    // Hands the calculator's progress on, under what this step does.
    void follow(DemandCalculator& calculator, const QString& step);

    const EnsemblePlan& _plan;
    std::function<void(const CalcStatusInfo&)> _status;
    bool _monthly = false;
    int _firstYear = 0;
    int _lastYear = -1;
    std::vector<Series> _series;
};

// Writes data to path through a temporary file beside it, renamed over it once complete.
TARN::okstat writeFileAtomically(const QString& path, const QByteArray& data);
// Renames from over to (replacing it).
TARN::okstat replaceFile(const QString& from, const QString& to);

class LibXlConnect;
namespace Workbook {
struct SheetFingerprint;
}

// Where an ensemble workbook is made before it replaces fileName: a hidden file beside it,
// named after this process.
QString partialWorkbookPath(const QString& fileName);
// Saves book with its fingerprint into partial and renames that over fileName; the partial file
// is removed when the save fails.
TARN::okstat saveWorkbookOver(LibXlConnect& book, const Workbook::SheetFingerprint& fp,
    const QString& partial, const QString& fileName);
