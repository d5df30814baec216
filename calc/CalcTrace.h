#pragma once

#include "calc/DemandMath.h"
#include "calc/ScenarioChanges.h"

#include <QString>
#include <QVariantMap>
#include <QVector>

// One step of the way a value came to be: its name ("input", "gap-fill", "change", "derived",
// "monthly", "salinity", "stored"), one line of text with its numbers, the numbers as fields,
// and the value kind it bears on (AggDivCalcData::ValueKind, -1 for every kind).
struct CalcStep {
    QString step;
    QString text;
    QVariantMap fields;
    int kind = -1;
};

// The recorder a calculator fills, when it is given one, with the steps by which one value was
// computed: a water user's values of one year (and month), or a site's salinity. The
// calculators record from inside the computation itself, and only for the water user or site
// the trace follows, so the explanation cannot drift from what is computed and a run without a
// trace records nothing and allocates nothing for it.
class CalcTrace {
public:
    enum Owner { WaterUser, Site };

    // month 0: the yearly values only.
    CalcTrace(Owner owner, int id, int year, int month = 0);

    Owner owner() const { return _owner; }
    int id() const { return _id; }
    int year() const { return _year; }
    int month() const { return _month; }
    bool followsWaterUser(int waterUserID) const
    {
        return _owner == WaterUser && _id == waterUserID;
    }
    bool followsSite(int aggDivID) const { return _owner == Site && _id == aggDivID; }

    // A demand change as the explanation names it.
    struct Change {
        int id = 0;
        QString name;
        QString created;
    };

    // Recorded by the calculators, in the order they take the steps. values: diversion,
    // depletion, efficiency ratio and salinity pick-up of the followed year as read.
    void input(const double* values, bool hadRow);
    void gapFilled(int kind, const DemandMath::GapNote& note, int firstYear, bool afterChange);
    void noChange(const QString& scenarioName);
    // chosen and the other changes of the scenario that select the water user, newest first.
    void changeChosen(const QString& scenarioName, const Change& chosen,
        const QVector<Change>& others, int depletionMethod, int efficiencyMethod,
        int waterUserCount);
    // filledAfter: the gap filling runs again after the change (the depletion method
    // interpolates), so a year the change leaves empty may still get a value.
    void changed(int kind, const ScenarioChanges::YearChange& change, int method,
        const ScenarioChanges::ChangeNote& note, double result, double b, double B, int N,
        bool filledAfter);
    // before and after: diversion, depletion, efficiency ratio.
    void derived(DemandMath::Derivation rule, const double* before, const double* after);
    void monthly(int kind, double yearly, double coefficientPercent, double value);
    void siteInput(int waterUserID, const QString& name, double diversion, double depletion,
        double salinityPickup);
    void salinity(int salinityMethodID, DemandMath::SalinityRule rule, double totalDiversion,
        double totalDepletion, double totalReturnFlow, double totalSalinity,
        const DemandMath::SiteSalinity& result, int waterUserCount);
    void add(const CalcStep& step) { _steps.append(step); }

    const QVector<CalcStep>& steps() const { return _steps; }
    // The steps that bear on one value kind of a water user (all of a site's), in order.
    QVector<CalcStep> stepsFor(int kind) const;

    // A number as an explanation writes it: "none" when missing, a true minus sign.
    static QString number(double value);
    // A missing number is null, in fields and in JSON.
    static QVariant field(double value);
    // The step name padded to a column, then its text.
    static QString line(const CalcStep& step);
    static QString kindName(int kind);
    static QString monthName(int month);

private:
    // Where the followed year's value of a kind comes from so far: explanations word each value
    // by it ("the gap-filled diversion").
    enum Origin { Missing, Entered, GapFilled, Changed, Derived };
    QString origin(int kind) const;

    Owner _owner;
    int _id;
    int _year;
    int _month;
    QVector<CalcStep> _steps;
    Origin _origins[4] = { Missing, Missing, Missing, Missing };
};
