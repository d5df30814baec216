#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QList>
#include <QString>
#include <QThread>

// One thing the project check found that would reach the river model wrong, or that a planner
// should look at.
struct ValidationFinding {
    enum Severity { Fail, Warn };

    QString rule;
    Severity severity = Fail;
    int scenarioID = 0; // 0: the baseline
    QString scenarioName;
    QString site; // the site's Riffle name; empty when the finding names no site
    QString waterUser; // the water user's Riffle name; empty when it names none
    int year = 0; // 0 when the finding names no year
    QString message;
    // Set by the results check: the site's ID (0 when it names none), and whether the finding
    // says a run could not be recalculated (or checked) at all.
    int aggDivID = 0;
    bool runFailed = false;
    // A finding about a whole run that was never calculated: the water users it stands for.
    int waterUsers = 0;
    // The scenarios whose own finding only repeated this baseline finding, folded into it.
    QList<int> alsoIn;
    // Findings of a scenario and of the baseline with the same key say the same thing; empty
    // when the finding is never folded.
    QString foldKey;
};

// The project check: every rule over the baseline and every scenario of the open project, on the
// manager's connection. The results are recomputed in memory by the calculators themselves and
// compared with the stored result tables; nothing is written. Runs on the calling thread
// (check()) or, for the window, as a thread of its own while the GUI waits in a status dialog,
// like a calculator.
class ProjectValidator : public QThread {
    Q_OBJECT

public:
    struct Options {
        // Only the results-current rule (the export's question before it writes).
        bool resultsOnly = false;
        // The runs to check: -1 for the baseline, scenario IDs; empty for all.
        QList<int> runs;
        // Threads that recompute the results; 0 for the machine's cores, 1 for none besides the
        // calling one (which then reads through the manager's connection).
        int threads = 0;
    };

    explicit ProjectValidator(QObject* parent = nullptr);
    ~ProjectValidator() override;

    void setOptions(const Options& options) { _options = options; }
    // Runs the check on the calling thread; a failure means the check could not be made (a
    // statement failed), not that it found something.
    TARN::okstat check();

    const QList<ValidationFinding>& findings() const { return _findings; }
    int count(ValidationFinding::Severity severity) const;

    // The rules in report order, with their severities.
    static QStringList rules();
    static ValidationFinding::Severity severityOf(const QString& rule);

signals:
    void calcStatus(const CalcStatusInfo& info);
    void calcFinished(const TARN::okstat& result);

protected:
    void run() override;

private:
    void foldRepeats();

    Options _options;
    QList<ValidationFinding> _findings;
};

// The report of a check as a planner reads it and as tools read it.
namespace ValidationReport {

QString severityName(ValidationFinding::Severity severity);
// "fail" and "warn" totals in one line: "2 failures, 1 warning".
QString totals(const QList<ValidationFinding>& findings);
// Findings grouped by rule, with a count per rule.
QString text(const QString& file, const QList<ValidationFinding>& findings);
// {"file": ..., "summary": {"fail": N, "warn": N}, "findings": [...]}
QByteArray json(const QString& file, const QList<ValidationFinding>& findings);

} // namespace ValidationReport
