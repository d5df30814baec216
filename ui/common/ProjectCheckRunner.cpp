#include "ui/common/ProjectCheckRunner.h"

#include "calc/BaselineChangeLog.h"
#include "calc/Recalculation.h"
#include "ui/common/CalcStatusJob.h"
#include "ui/common/LineBatch.h"
#include "ui/common/ModalRunner.h"

#include <QMessageBox>
#include <QWidget>

namespace ProjectCheckRunner {

namespace {

void warn(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, parent ? parent->windowTitle() : QString(), text);
}

} // namespace

bool check(
    QWidget* parent, const ProjectValidator::Options& options, QList<ValidationFinding>& findings)
{
    ProjectValidator validator;
    validator.setOptions(options);
    const TARN::okstat checked
        = ModalRunner::run(parent, validator, CalcStatusJob::validation(&validator));
    if (checked.failed()) {
        warn(parent, checked.text());
        return false;
    }
    findings = validator.findings();
    return true;
}

TARN::okstat recalculate(
    QWidget* parent, const QList<int>& runs, const std::function<void(const QString&)>& diag)
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    Recalculation recalculation(everything);
    recalculation.setExecutor([parent](DemandCalculator& calculator) {
        return ModalRunner::runCalculator(parent, calculator);
    });
    LineBatch lines(diag);
    recalculation.setLineHandler(lines.handler());
    // Every failure is shown; a scenario's does not stop the others, and counts only for the
    // runs asked for.
    TARN::okstat firstFailure;
    recalculation.setFailureHandler(
        [parent, &runs, &firstFailure](const RecalcRun& run, const TARN::okstat& failed) {
            warn(parent, failed.text());
            if (firstFailure.isOk()
                && (run.isBaseline() || runs.isEmpty() || runs.contains(run.scenarioId)))
                firstFailure = failed;
            return true;
        });
    const TARN::okstat result = recalculation.run();
    if (result.failed() && !recalculation.failedInRun()) {
        const TARN::okstat unlisted
            = QStringLiteral("Unable to query the scenarios: %1").arg(result.text());
        warn(parent, unlisted.text());
        return unlisted;
    }
    return firstFailure;
}

TARN::okstat recalculateScenario(
    QWidget* parent, int scenarioId, const std::function<void(const QString&)>& diag)
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    Recalculation recalculation(everything);
    recalculation.setScenarios({ scenarioId });
    recalculation.setBaselineIncluded(false);
    recalculation.setExecutor([parent](DemandCalculator& calculator) {
        return ModalRunner::runCalculator(parent, calculator);
    });
    LineBatch lines(diag);
    recalculation.setLineHandler(lines.handler());
    return recalculation.run();
}

} // namespace ProjectCheckRunner
