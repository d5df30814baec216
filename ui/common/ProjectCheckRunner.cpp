#include "ui/common/ProjectCheckRunner.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "ui/common/CalcStatusDlg.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

#include <memory>

namespace ProjectCheckRunner {

namespace {

void warn(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, parent ? parent->windowTitle() : QString(), text);
}

TARN::okstat runOne(QWidget* parent, DemandCalculator* calculator,
    const BaselineChangeLog& changeLog, const std::function<void(const QString&)>& diag)
{
    std::unique_ptr<DemandCalculator> owner(calculator);
    calculator->initialize(&changeLog, true);
    QObject receiver;
    if (diag) {
        QObject::connect(
            calculator, &DemandCalculator::diagMessage, &receiver, diag, Qt::QueuedConnection);
    }
    CalcStatusDlg status(parent);
    status.attachCalculator(calculator);
    calculator->start();
    TARN::okstat result;
    if (status.exec() != QDialog::Accepted)
        result = status.resultText();
    calculator->wait();
    // Lines still queued from the worker belong before whatever comes next.
    QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall);
    return result;
}

} // namespace

bool check(
    QWidget* parent, const ProjectValidator::Options& options, QList<ValidationFinding>& findings)
{
    ProjectValidator validator;
    validator.setOptions(options);
    CalcStatusDlg status(parent);
    status.attachValidator(&validator);
    validator.start();
    const bool accepted = status.exec() == QDialog::Accepted;
    validator.wait();
    if (!accepted) {
        warn(parent, status.resultText());
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
    TARN::okstat result = runOne(parent, new BaselineDemandCalculator(), everything, diag);
    if (result.failed()) {
        warn(parent, result.text());
        return result;
    }
    QList<QPair<int, QString>> scenarios;
    const TARN::okstat listed = TarnDbMgr::instance()->scenarioDAO()->getScenarioNames(scenarios);
    if (listed.failed()) {
        result = QStringLiteral("Unable to query the scenarios: %1").arg(listed.text());
        warn(parent, result.text());
        return result;
    }
    TARN::okstat firstFailure;
    for (const auto& [id, name] : qAsConst(scenarios)) {
        result = runOne(parent, new ScenarioDemandCalculator(id, name), everything, diag);
        if (result.isOk())
            continue;
        warn(parent, result.text());
        if (runs.contains(id) && firstFailure.isOk())
            firstFailure = result;
    }
    return firstFailure;
}

TARN::okstat recalculateScenario(QWidget* parent, int scenarioId, const QString& name,
    const std::function<void(const QString&)>& diag)
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    return runOne(parent, new ScenarioDemandCalculator(scenarioId, name), everything, diag);
}

} // namespace ProjectCheckRunner
