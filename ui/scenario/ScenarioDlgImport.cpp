#include "ui/scenario/ScenarioDlg.h"
#include "ui_ScenarioDlg.h"

#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/common/InputsBookRunner.h"

#include <QDataWidgetMapper>
#include <QSqlError>

namespace {
const QString ImportTitle = QStringLiteral("Import Changes");
const QString ExportTitle = QStringLiteral("Export Changes");
// The scenario's name in the scenario model (Scenario table, by position).
constexpr int NameColumn = 2;
} // namespace

QString ScenarioDlg::writePendingEdits(const QString& title)
{
    if (transactionLost()) {
        showWarning(QStringLiteral("The dialog's edits were lost by an earlier failure: close "
                                   "it and open it again."),
            title);
        return {};
    }
    if (!_mapper->submit()) {
        showWarning(_scenarioModel->lastError().text(), title);
        return {};
    }
    for (QSqlTableModel* model : qAsConst(_saveModels))
        if (!model->submitAll()) {
            showWarning(model->lastError().text(), title);
            return {};
        }
    _scenarioRow = findScenarioRow();
    _mapper->setCurrentIndex(_scenarioRow);
    return _scenarioModel->index(_scenarioRow, NameColumn).data().toString();
}

void ScenarioDlg::reloadModels()
{
    for (QSqlTableModel* model : qAsConst(_saveModels))
        ModelOps::selectAll(model);
    ModelOps::selectAll(_scenarioWaterUserModel);
    _scenarioRow = findScenarioRow();
    _mapper->setCurrentIndex(_scenarioRow);
    sensitizeWidgets();
}

void ScenarioDlg::importChangesFrom(const QString& path)
{
    const QString name = writePendingEdits(ImportTitle);
    if (name.isEmpty())
        return;
    BaselineChangeLog imported;
    const InputsBookRunner::Outcome outcome = path.isEmpty()
        ? InputsBookRunner::importBook(this, ImportTitle, name, imported)
        : InputsBookRunner::importFrom(this, ImportTitle, name, path, imported);
    if (!outcome.applied)
        return;
    // The scenario's changes or own water users changed: its save computes it all again.
    _changeLog.setFullRecalculation();
    reloadModels();
}

void ScenarioDlg::importChangesClicked()
{
    importChangesFrom(QString());
}

void ScenarioDlg::exportChangesClicked()
{
    if (writePendingEdits(ExportTitle).isEmpty())
        return;
    InputsBookRunner::exportBook(this, ExportTitle, _scenarioID);
}
