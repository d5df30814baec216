#pragma once

#include "calc/CalcTrace.h"
#include "calc/ValueKind.h"
#include "db/okstat.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

class CalcObserver;
class DemandCalculator;

// Explains one result of the open project: a water user's yearly or monthly diversion,
// depletion, efficiency ratio or salinity pick-up, or a site's yearly or monthly salinity, in the
// baseline or a scenario. The calculator of that run computes the one site in compare mode with
// a trace, so the steps are the calculation's own and nothing is written; the computed value is
// then compared with the stored row.
//
// The statements of prepare() and finish() run on the manager's connection on the calling
// thread; the calculator in between runs on the calling thread (explain) or on a thread of its
// own while the caller waits (a window with a status dialog). The connection is never used by
// two threads at once.
class ValueExplainer {
public:
    struct Request {
        CalcTrace::Owner owner = CalcTrace::WaterUser;
        int id = 0; // WaterUserID or AggDivID
        int year = 0;
        int month = 0; // 0: the yearly value
        int scenarioID = 0; // 0: the baseline
        ValueKind kind = ValueKind::Depletion; // of a water user's value
    };

    struct Explanation {
        // Failed when the request names nothing explainable (notFound) or the computation
        // failed; the text says what.
        TARN::okstat status;
        bool notFound = false;
        QString title; // what is explained, and its computed value
        QString run; // "Baseline" or the scenario's name
        double value = 0.0;
        bool storedRow = false;
        double stored = 0.0;
        bool matches = false;
        QVector<CalcStep> steps;

        // "The stored value differs: results are out of date", "No result is stored", or empty.
        QString verdict() const;
        // The title, one line per step and the verdict.
        QString text() const;
        QByteArray json() const;
    };

    explicit ValueExplainer(const Request& request);
    ~ValueExplainer();

    // Checks the request against the open project and makes its run's calculator (initialized,
    // compare-only, for the one site, with the trace). False when there is nothing to run;
    // result() then says why.
    bool prepare();
    DemandCalculator* calculator() const { return _calculator.get(); }
    // After the calculator ran, with its result: the steps, the stored row and the verdict.
    // The calculator is deleted (its thread waited for).
    void finish(const TARN::okstat& runResult);
    const Explanation& result() const { return _result; }

    // prepare, run and finish on the calling thread.
    static Explanation explain(const Request& request);

private:
    Request _request;
    Explanation _result;
    int _kind = 1;
    int _firstYear = 0;
    QString _scenarioName;
    QString _ownerText;
    std::unique_ptr<CalcTrace> _trace;
    std::unique_ptr<CalcObserver> _catcher;
    std::unique_ptr<DemandCalculator> _calculator;
};
