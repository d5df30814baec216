#include "ui/plot/CurveDlg.h"
#include "ui_CurveDlg.h"

#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/common/AttributeSelectionViewModel.h"
#include "ui/common/HelpButton.h"
#include "ui/common/WaterUserViewModel.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {
enum CurveColumn { IdCol = 0, PlotCol, NameCol, DataTypeCol };
const QString SaveTitle = QStringLiteral("Save Curve");
} // namespace

CurveDlg::CurveDlg(int plotCurveID, QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::CurveWidgets)
    , _plotCurveID(plotCurveID)
    , _waterUserViewModel(new WaterUserViewModel(this))
    , _filterViewModel(new AttributeSelectionViewModel(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (PlotDAO* plots = TarnDbMgr::instance()->plotDAO())
        _curveModel = plots->plotCurveModel();

    _ui->_waterUserTableView->setModel(_waterUserViewModel);
    for (int column = 0; column < _waterUserViewModel->numColumns(); ++column)
        _ui->_waterUserTableView->setColumnHidden(column, column != WaterUserViewModel::NameColumn);
    _ui->_filtersTableView->setModel(_filterViewModel);

    _ui->_dataTypeButtonGroup->setId(_ui->_depletionRadioButton, TARN::CurveDepletion);
    _ui->_dataTypeButtonGroup->setId(_ui->_diversionRadioButton, TARN::CurveDiversion);
    _ui->_dataTypeButtonGroup->setId(_ui->_salinityRadioButton, TARN::CurveSalinity);
    _ui->_salinityUnitsLabel->hide();
    connect(_ui->_dataTypeButtonGroup,
        QOverload<QAbstractButton*, bool>::of(&QButtonGroup::buttonToggled), this,
        &CurveDlg::dataTypeButtonGroupToggledHandler);
    connect(_ui->_selectWaterUsersButton, &QPushButton::clicked, this,
        &CurveDlg::selectWaterUsersHandler);
    connect(_ui->_okButton, &QPushButton::clicked, this, &CurveDlg::okClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &CurveDlg::reject);
    setupHelpButton(_ui->_helpButton);

    load();
}

CurveDlg::~CurveDlg()
{
    delete _ui;
}

TARN::okstat CurveDlg::fail(const QString& message, const QString& title)
{
    // A failed write that ended the plot dialog's transaction: nothing more may be written.
    if (transactionLost()) {
        if (_curveModel)
            _curveModel->revertAll();
        closeAfterLostTransaction(message, QStringLiteral("the curve"));
        return message;
    }
    showWarning(message, title);
    return message;
}

void CurveDlg::load()
{
    static const QString LoadTitle = QStringLiteral("Load Curve");
    static const QString LoadError = QStringLiteral("Error loading curve: %1");
    PlotDAO* plots = TarnDbMgr::instance()->plotDAO();
    if (!plots || !_curveModel) {
        fail(LoadError.arg(QStringLiteral("no project is open")), LoadTitle);
        return;
    }
    QSqlRecord row;
    QString readError;
    if (!ModelRows::readWhere(_curveModel, _plotCurveID, TN::PlotCurveID, row, &readError)) {
        const QString reason = !readError.isNull()
            ? readError
            : QStringLiteral("no plot curve with ID %1 found").arg(_plotCurveID);
        fail(LoadError.arg(reason), LoadTitle);
        return;
    }
    _ui->_nameLineEdit->setText(row.value(NameCol).toString());
    QAbstractButton* typeButton = _ui->_dataTypeButtonGroup->button(row.value(DataTypeCol).toInt());
    (typeButton ? typeButton : _ui->_depletionRadioButton)->setChecked(true);

    WaterUserList waterUsers;
    AttrSelectionList filters;
    TARN::okstat status = plots->getPlotCurveWaterUsers(_plotCurveID, waterUsers);
    if (status.isOk())
        status = plots->getPlotCurveFilters(_plotCurveID, filters);
    if (status.failed())
        fail(LoadError.arg(status.text()), LoadTitle);
    setSelection(waterUsers, filters);
}

void CurveDlg::setSelection(const WaterUserList& waterUsers, const AttrSelectionList& filters)
{
    _waterUsers = waterUsers;
    _filters = filters;
    _waterUserViewModel->setRecords(_waterUsers);
    _filterViewModel->setSelections(_filters);
}

int CurveDlg::checkedDataType() const
{
    const int id = _ui->_dataTypeButtonGroup->checkedId();
    return id > 0 ? id : int(TARN::CurveDepletion);
}

bool CurveDlg::sameSalinityUnits(const WaterUserList& waterUsers)
{
    for (const WaterUser& waterUser : waterUsers) {
        if (waterUser.aggDiv.salinityMethod.unitKind
            != waterUsers.first().aggDiv.salinityMethod.unitKind)
            return false;
    }
    return true;
}

void CurveDlg::dataTypeButtonGroupToggledHandler(QAbstractButton* button, bool checked)
{
    if (button == _ui->_salinityRadioButton)
        _ui->_salinityUnitsLabel->setVisible(checked);
}

void CurveDlg::selectWaterUsersHandler()
{
    WaterUserSelectorDlg selector(this);
    if (selector.exec() != QDialog::Accepted)
        return;
    const QVector<WaterUser> chosen = selector.selectedWaterUsers();
    setSelection(WaterUserList(chosen.cbegin(), chosen.cend()), selector.selectedFilters());
}

TARN::okstat CurveDlg::applyChanges()
{
    const QString name = _ui->_nameLineEdit->text();
    if (name.isEmpty())
        return fail(QStringLiteral("The curve must have a name."), SaveTitle);
    const int dataType = checkedDataType();
    if (dataType == TARN::CurveSalinity && !_waterUsers.isEmpty()
        && !sameSalinityUnits(_waterUsers))
        return fail(QStringLiteral("All selected water users must use the same salinity units."),
            SaveTitle);

    PlotDAO* plots = TarnDbMgr::instance()->plotDAO();
    if (!plots || !_curveModel)
        return fail(
            QStringLiteral("Error saving curve: %1").arg(QStringLiteral("no project is open")),
            SaveTitle);
    QModelIndex row = ModelOps::findRowById(_curveModel, _plotCurveID);
    if (!row.isValid()) {
        ModelOps::selectAll(_curveModel);
        row = ModelOps::findRowById(_curveModel, _plotCurveID);
    }
    if (!row.isValid())
        return fail(QStringLiteral("Error saving curve: %1")
                        .arg(QStringLiteral("no plot curve with ID %1 found").arg(_plotCurveID)),
            SaveTitle);
    _curveModel->setData(_curveModel->index(row.row(), NameCol), name);
    _curveModel->setData(_curveModel->index(row.row(), DataTypeCol), dataType);
    if (!_curveModel->submitAll()) {
        const QString error = _curveModel->lastError().text();
        _curveModel->revertAll();
        return fail(QStringLiteral("Error saving curve: %1").arg(error), SaveTitle);
    }

    TARN::okstat status = plots->setPlotCurveWaterUsers(_plotCurveID, _waterUsers);
    if (status.failed())
        return fail(QStringLiteral("Unable to save water users: %1").arg(status.text()), SaveTitle);
    status = plots->setPlotCurveFilters(_plotCurveID, _filters);
    if (status.failed())
        return fail(QStringLiteral("Unable to save filters: %1").arg(status.text()), SaveTitle);
    return {};
}
