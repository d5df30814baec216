#include "ui/baseline/BaselineDlg.h"
#include "ui_BaselineDlg.h"

#include "db/AggDivDAO.h"
#include "db/BaselineDAO.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"
#include "ui/common/AggDivViewModel.h"
#include "ui/common/InputsBookRunner.h"
#include "ui/common/WaterUserViewModel.h"

#include <QSqlError>
#include <QTextDocument>

#include <algorithm>

namespace {
const QString ImportTitle = QStringLiteral("Import Inputs");
const QString ExportTitle = QStringLiteral("Export Inputs");
} // namespace

TARN::okstat BaselineDlg::writePendingEdits()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    if (transactionLost())
        return QStringLiteral("The dialog's edits were lost by an earlier failure: close it and "
                              "open it again.");
    // The description is kept as the file has it unless the planner edited it: the editor's
    // rich text would otherwise differ from every book's plain one.
    if (_ui->_baselineDescription->document()->isModified())
        _baseline.Description = _ui->_baselineDescription->toHtml();
    _baseline.ToolUserName = _ui->_toolUserName->text();
    _baseline.outputTypeId = _ui->_outputNameRequested->isChecked() ? 1 : 2;
    _baseline.outputTypeName = TARN::outputTypeName(_baseline.outputTypeId);
    TARN::okstat status = mgr->baselineDAO()->saveBaseline(_baseline);
    if (status.failed())
        return status;
    // Moved rows are renumbered as a save does; lists in their stored order keep it as it is.
    const auto moved = [](const auto& records) {
        return !std::is_sorted(records.begin(), records.end(),
            [](const auto& a, const auto& b) { return a.Ord < b.Ord; });
    };
    if (moved(_aggDivViewModel->records()))
        _aggDivViewModel->renumberOrd();
    if (moved(_waterUserViewModel->records()))
        _waterUserViewModel->renumberOrd();
    AggDivList aggDivs = _aggDivViewModel->records();
    if ((status = mgr->aggDivDAO()->saveAggDivs(aggDivs)).failed())
        return status;
    WaterUserList waterUsers = _waterUserViewModel->records();
    if ((status = mgr->waterUserDAO()->saveWaterUsers(waterUsers)).failed())
        return status;
    for (QSqlTableModel* model : qAsConst(_submitModels))
        if (!model->submitAll())
            return model->lastError().text();
    return {};
}

bool BaselineDlg::pendingEditsWritten(const QString& title)
{
    const TARN::okstat written = writePendingEdits();
    if (written.failed())
        showWarning(written.text(), title);
    return written.isOk();
}

void BaselineDlg::reloadViews()
{
    reselectModels();
    reloadLists();
    updateButtons();
}

void BaselineDlg::importInputsClicked()
{
    if (!pendingEditsWritten(ImportTitle))
        return;
    if (InputsBookRunner::importBook(this, ImportTitle, QString(), _changeLog).applied)
        reloadViews();
}

void BaselineDlg::importInputsFrom(const QString& path)
{
    if (!pendingEditsWritten(ImportTitle))
        return;
    if (InputsBookRunner::importFrom(this, ImportTitle, QString(), path, _changeLog).applied)
        reloadViews();
}

void BaselineDlg::exportInputsClicked()
{
    if (!pendingEditsWritten(ExportTitle))
        return;
    InputsBookRunner::exportBook(this, ExportTitle, -1);
}
