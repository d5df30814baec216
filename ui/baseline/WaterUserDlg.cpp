#include "ui/baseline/WaterUserDlg.h"

#include "calc/DemandMath.h"
#include "ui_WaterUserDlg.h"

#include "calc/ValueKind.h"
#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/Savepoint.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/baseline/ExplainDlg.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/baseline/WaterUserDlgColumns.h"
#include "ui/common/DialogHabits.h"
#include "ui/common/DoubleLineEditDelegate.h"
#include "ui/common/HelpButton.h"
#include "ui/common/ListComboBoxDelegate.h"
#include "ui/common/WaterUserAttrViewModel.h"
#include "ui/common/WaterUserDataViewModel.h"
#include "ui/plot/QuickPlot.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QComboBox>
#include <QDataWidgetMapper>
#include <QFrame>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>
#include <QStyledItemDelegate>

#include <cmath>

using namespace WaterUserDlgColumns;

namespace {

const QString CopySavepoint = QStringLiteral("WaterUserCopy");

} // namespace

WaterUserDlg::WaterUserDlg(QWidget* parent, int waterUserID, int aggDivID, int scenarioID)
    : TarnDlg(parent)
    , _ui(new Ui::WaterUserWidgets)
    , _waterUserID(waterUserID)
    , _aggDivID(aggDivID)
    , _scenarioID(scenarioID)
    , _dataTableView(nullptr)
    , _dataModel(new WaterUserDataViewModel(this))
    , _attrModel(new WaterUserAttrViewModel(this))
    , _waterUserMapper(new QDataWidgetMapper(this))
    , _distMapper(new QDataWidgetMapper(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const int firstSiteID = _ui->_aggDivGroupBox->selectSites();
    if (_waterUserModel)
        ModelOps::selectAll(_waterUserModel);

    if (_aggDivID == -1)
        _aggDivID = firstSiteID;

    _dataTableView = new WaterUserDataTableView(_ui->_waterUserDataTableViewFrame);
    auto* numberDelegate = new DoubleLineEditDelegate(_dataTableView);
    for (int column :
        { WaterUserDataViewModel::DiversionColumn, WaterUserDataViewModel::DepletionColumn,
            WaterUserDataViewModel::EfficiencyColumn, WaterUserDataViewModel::SalinityColumn })
        _dataTableView->setItemDelegateForColumn(column, numberDelegate);
    _ui->_waterUserDataTableViewLayout->addWidget(_dataTableView);
    DialogHabits::showAllColumns(_dataTableView);
    connect(_dataTableView, &WaterUserDataTableView::explainRequested, this,
        &WaterUserDlg::explainValue);

    const QList<QFrame*> frames { _ui->_janCoeffFrame, _ui->_febCoeffFrame, _ui->_marCoeffFrame,
        _ui->_aprCoeffFrame, _ui->_mayCoeffFrame, _ui->_junCoeffFrame, _ui->_julCoeffFrame,
        _ui->_augCoeffFrame, _ui->_sepCoeffFrame, _ui->_octCoeffFrame, _ui->_novCoeffFrame,
        _ui->_decCoeffFrame };
    for (int month = 0; month < frames.size(); ++month) {
        auto* layout = new QHBoxLayout(frames.at(month));
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* editor = new MonthlyCoefficientLineEdit(
            MonthlyCoefficientLineEdit::FirstColumn + month, _waterUserDistModel, frames.at(month));
        layout->addWidget(editor);
        connect(editor, &QLineEdit::textChanged, this, &WaterUserDlg::sumCoefficients);
        _coeffEditors.append(editor);
    }

    connect(_ui->_okButton, &QPushButton::clicked, this, &WaterUserDlg::okClicked);
    connect(_ui->_applyButton, &QPushButton::clicked, this, &WaterUserDlg::applyClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &WaterUserDlg::reject);
    connect(_ui->_selectWaterUserButton, &QPushButton::clicked, this,
        &WaterUserDlg::selectWaterUserClicked);
    connect(_ui->_generatePlotButton, &QPushButton::clicked, this, &WaterUserDlg::generatePlot);
    setupHelpButton(_ui->_helpButton);

    if (_waterUserID == -1) {
        _isNewWaterUser = true;
        createWaterUser();
    }
    loadWaterUserData();
    bindWaterUserRow();
    if (_isNewWaterUser) {
        // Typing replaces the stored placeholder names.
        DialogHabits::selectPlaceholderOnFocus(_ui->_waterUserNameLineEdit, NewWaterUserName);
        DialogHabits::selectPlaceholderOnFocus(_ui->_riffleNameLineEdit, NewRiffleName);
        _ui->_waterUserNameLineEdit->setFocus();
    }
    loadWaterUserAttrs();
    // The site choice works even when the attribute filter cannot be offered.
    const TARN::okstat sitesLoaded = _ui->_aggDivGroupBox->load(_aggDivID);
    if (sitesLoaded.failed())
        showWarning(sitesLoaded.text());

    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setDefault(false);
        button->setAutoDefault(false);
    }
}

WaterUserDlg::~WaterUserDlg()
{
    // Closed neither by OK nor by Cancel: what was copied stays, as it would after an Apply.
    endCopySavepoint(false);
    delete _ui;
}

bool WaterUserDlg::beginCopySavepoint()
{
    if (_copySavepoint)
        return true;
    const TARN::okstat begun = Savepoint::begin(TarnDbMgr::instance()->database(), CopySavepoint);
    if (begun.failed()) {
        showWarning(QStringLiteral("Unable to copy data: %1").arg(begun.text()));
        return false;
    }
    _copySavepoint = true;
    return true;
}

QString WaterUserDlg::endCopySavepoint(bool undo)
{
    if (!_copySavepoint)
        return QString();
    _copySavepoint = false;
    const QSqlDatabase& db = TarnDbMgr::instance()->database();
    QString failure;
    if (undo) {
        const TARN::okstat undone = Savepoint::rollbackTo(db, CopySavepoint);
        if (undone.failed())
            failure = undone.text();
    }
    // A savepoint that cannot be released stays inside the dialog's transaction, which ends it.
    Savepoint::release(db, CopySavepoint);
    return failure;
}

int WaterUserDlg::waterUserRow() const
{
    if (!_waterUserModel || _waterUserID < 0)
        return -1;
    const QModelIndex index = ModelOps::findRowById(_waterUserModel, _waterUserID);
    return index.isValid() ? index.row() : -1;
}

double WaterUserDlg::sumCoefficients()
{
    double sum = 0.0;
    for (const MonthlyCoefficientLineEdit* editor : qAsConst(_coeffEditors)) {
        bool ok = false;
        const double value = editor->text().toDouble(&ok);
        if (ok)
            sum += value;
    }
    _ui->_coefficientTotalLabel->setText(QString::number(sum, 'g', QLocale::FloatingPointShortest));
    return sum;
}

void WaterUserDlg::selectWaterUserClicked()
{
    WaterUserSelectorDlg selector(this);
    if (selector.exec() != QDialog::Accepted)
        return;
    const QVector<WaterUser> chosen = selector.selectedWaterUsers();
    if (!chosen.isEmpty())
        copyWaterUserData(chosen.first().WaterUserID);
}

void WaterUserDlg::generatePlot()
{
    const QString siteRiffleName
        = _ui->_aggDivGroupBox->riffleName(_ui->_aggDivGroupBox->chosenSiteID());
    const QString title
        = QStringLiteral("%1:%2").arg(siteRiffleName, _ui->_riffleNameLineEdit->text());
    QuickPlot::openWaterUserPlot(this, _waterUserID, title);
}

void WaterUserDlg::copyWaterUserData(int sourceID)
{
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    if (!dao || !_waterUserDistModel)
        return;
    QSqlRecord source;
    if (!ModelRows::readWhere(_waterUserDistModel, sourceID, TN::WaterUserID, source)) {
        showWarning(QStringLiteral("Unable to find distribution data for selected water user"));
        return;
    }
    // The copy is written at once; Cancel undoes it back to here.
    if (!beginCopySavepoint())
        return;
    QList<double> coefficients;
    for (int column = MonthlyCoefficientLineEdit::FirstColumn;
         column <= MonthlyCoefficientLineEdit::LastColumn; ++column)
        coefficients.append(source.value(column).toDouble());
    for (int month = 0; month < coefficients.size(); ++month)
        _waterUserDistModel->setData(
            _waterUserDistModel->index(0, MonthlyCoefficientLineEdit::FirstColumn + month),
            coefficients.at(month));
    if (!_waterUserDistModel->submitAll()) {
        showWarning(QStringLiteral("Unable to copy distribution data: %1")
                        .arg(_waterUserDistModel->lastError().text()));
        return;
    }
    ModelOps::filterById(_waterUserDistModel, _waterUserID, TN::WaterUserID);
    _distMapper->setCurrentIndex(0);

    WaterUserDataList data;
    const TARN::okstat loaded = dao->getWaterUserData(data, sourceID, true);
    if (loaded.failed()) {
        showWarning(QStringLiteral("Error loading water user data: %1").arg(loaded.text()));
        return;
    }
    for (WaterUserData& row : data) {
        row.id = 0;
        row.WaterUserID = _waterUserID;
    }
    const TARN::okstat saved = dao->saveWaterUserData(data, _waterUserID);
    _dataModel->setRecords(data);
    if (saved.failed())
        showWarning(QStringLiteral("Unable to copy data: %1").arg(saved.text()));
}

bool WaterUserDlg::hasUnsavedEdits() const
{
    if (_ui->_aggDivGroupBox->chosenSiteID() != _aggDivID)
        return true;
    auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    // Against the file, not the model: a field that lost the focus has handed its text to it.
    if (_waterUserDistModel) {
        QSqlRecord stored;
        const bool found
            = ModelRows::readWhere(_waterUserDistModel, _waterUserID, TN::WaterUserID, stored);
        for (const MonthlyCoefficientLineEdit* editor : _coeffEditors) {
            double typed = 0.0;
            const double held
                = found ? TARN::toDouble(stored.value(editor->column())) : TARN::nan();
            if (!editor->value(typed) || !same(typed, held))
                return true;
        }
    }
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    if (!dao)
        return false;
    WaterUserDataList stored;
    if (dao->getWaterUserData(stored, _waterUserID, true).failed())
        return true;
    const QList<WaterUserData>& shown = _dataModel->records();
    if (stored.size() != shown.size())
        return true;
    for (int row = 0; row < shown.size(); ++row) {
        const WaterUserData& a = shown.at(row);
        const WaterUserData& b = stored.at(row);
        if (a.Year != b.Year || !same(a.DiversionReq, b.DiversionReq)
            || !same(a.DepletionReq, b.DepletionReq) || !same(a.EfficiencyRatio, b.EfficiencyRatio)
            || !same(a.SalinityPickup, b.SalinityPickup))
            return true;
    }
    return false;
}

bool WaterUserDlg::namesEdited() const
{
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    WaterUser stored;
    if (!dao || dao->getWaterUser(_waterUserID, stored).failed())
        return false;
    return _ui->_waterUserNameLineEdit->text() != stored.WaterUserName
        || _ui->_riffleNameLineEdit->text() != stored.RiffleName
        || _ui->_notes->toPlainText() != stored.Notes;
}

void WaterUserDlg::explainValue(const QModelIndex& index)
{
    if (!index.isValid() || index.row() >= _dataModel->rowCount())
        return;
    ValueKind kind = ValueKind::Depletion;
    switch (index.column()) {
    case WaterUserDataViewModel::DiversionColumn:
        kind = ValueKind::Diversion;
        break;
    case WaterUserDataViewModel::EfficiencyColumn:
        kind = ValueKind::EfficiencyRatio;
        break;
    case WaterUserDataViewModel::SalinityColumn:
        kind = ValueKind::SalinityPickup;
        break;
    default:
        break;
    }
    ExplainDlg dialog(
        this, _waterUserID, _dataModel->record(index.row()).Year, kind, hasUnsavedEdits());
    dialog.explain();
    dialog.exec();
}

TARN::okstat WaterUserDlg::applyChanges()
{
    if (transactionLost())
        return saveFailed(QString());
    // A field still holding the focus has not handed its text to the model yet.
    _waterUserMapper->submit();
    _distMapper->submit();

    for (const MonthlyCoefficientLineEdit* editor : qAsConst(_coeffEditors)) {
        double coefficient = 0.0;
        if (!editor->value(coefficient)) {
            const QString error = QStringLiteral("'%1' is not numeric.").arg(editor->text());
            showWarning(error);
            return error;
        }
    }
    if (std::abs(100.0 - sumCoefficients()) > DemandMath::CoefficientSumTolerance) {
        const QString error = QStringLiteral("Sum of coefficients must = 100.");
        showWarning(error);
        return error;
    }
    int row = waterUserRow();
    if (row < 0) {
        QString error = _waterUserModel ? _waterUserModel->lastError().text() : QString();
        if (error.trimmed().isEmpty())
            error = QStringLiteral("Error opening dialog.");
        showWarning(error);
        return error;
    }
    // The site last picked, whether or not the attribute filter still lists it.
    const int chosenSite = _ui->_aggDivGroupBox->chosenSiteID();
    if (!_ui->_aggDivGroupBox->hasSite(chosenSite)) {
        const QString error = QStringLiteral("Please select an AggDiv");
        showWarning(error);
        return error;
    }
    if (chosenSite != _aggDivID) {
        _aggDivID = chosenSite;
        _waterUserModel->setData(_waterUserModel->index(row, WuAggDivCol), _aggDivID);
    }
    if (!_waterUserModel->submitAll())
        return saveFailed(_waterUserModel->lastError().text());
    ModelOps::selectAll(_waterUserModel);
    row = waterUserRow();
    _waterUserMapper->setCurrentIndex(row);

    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    QList<WaterUserAttr> attrs = _attrModel->records();
    const TARN::okstat attrsSaved = dao->saveWaterUserAttrs(attrs);
    if (attrsSaved.failed())
        return saveFailed(attrsSaved.text());
    // Keep the new keys, so that a second Apply updates the rows it just wrote.
    _attrModel->setRecords(attrs);

    if (!_waterUserDistModel->submitAll())
        return saveFailed(_waterUserDistModel->lastError().text());
    _distMapper->setCurrentIndex(0);

    WaterUserDataList data = _dataModel->records();
    const TARN::okstat dataSaved = dao->saveWaterUserData(data, _waterUserID);
    if (dataSaved.failed())
        return saveFailed(dataSaved.text());

    // Saved, copy included: the copy is now an edit like any other.
    endCopySavepoint(false);
    _applied = true;
    keepStoredAttributes();
    const QString name = _waterUserModel->index(row, WuNameCol).data().toString();
    emit waterUserEdited(_aggDivID, _waterUserID, name);
    _ui->_aggDivGroupBox->selectSite(_aggDivID);
    return {};
}

TARN::okstat WaterUserDlg::saveFailed(const QString& error)
{
    if (transactionLost()) {
        _waterUserMapper->clearMapping();
        _distMapper->clearMapping();
        _copySavepoint = false;
        if (_waterUserModel)
            _waterUserModel->revertAll();
        if (_waterUserDistModel)
            _waterUserDistModel->revertAll();
        closeAfterLostTransaction(error, QStringLiteral("the water user"));
        emit waterUserEditCanceled(_aggDivID, _waterUserID);
        return DbFailure::editsLost(error, QStringLiteral("the water user"));
    }
    QString text = DbFailure::notSaved(
        error, QStringLiteral("the water user"), QStringLiteral("press OK or Apply again"));
    if (text.isEmpty())
        text = DbFailure::databaseText(error);
    showWarning(text);
    return text;
}

void WaterUserDlg::okClicked()
{
    if (applyChanges().failed())
        return;
    // As in reject(): the fields must not write into the shared models while the dialog closes.
    _waterUserMapper->clearMapping();
    _distMapper->clearMapping();
    accept();
}

void WaterUserDlg::discardEdits()
{
    // After a failed write that ended the opener's transaction there is nothing left to undo,
    // and any write now would be committed on its own.
    if (transactionLost()) {
        _copySavepoint = false;
        if (_waterUserModel)
            _waterUserModel->revertAll();
        if (_waterUserDistModel)
            _waterUserDistModel->revertAll();
        return;
    }
    if (_copySavepoint) {
        const QString failure = endCopySavepoint(true);
        if (!failure.isEmpty()) {
            showWarning(QStringLiteral("Unable to undo the copied data: %1\n\nCancel the "
                                       "dialog that opened this one to discard it.")
                            .arg(failure));
        }
        if (_waterUserDistModel)
            ModelOps::filterById(_waterUserDistModel, _waterUserID, TN::WaterUserID);
        loadWaterUserData();
    }
    if (_isNewWaterUser && _waterUserModel) {
        const int row = waterUserRow();
        if (row >= 0 && (!_waterUserModel->removeRow(row) || !_waterUserModel->submitAll())) {
            showWarning(QStringLiteral("Unable to remove row. %1")
                            .arg(_waterUserModel->lastError().text()));
        }
    }
    if (_waterUserModel)
        _waterUserModel->revertAll();
    if (_waterUserDistModel)
        _waterUserDistModel->revertAll();
}

void WaterUserDlg::revertChanges()
{
    discardEdits();
    _waterUserMapper->revert();
    _distMapper->revert();
    emit waterUserEditCanceled(_aggDivID, _waterUserID);
}

void WaterUserDlg::reject()
{
    if (!confirmCancel())
        return;
    // Unbind the fields first: losing the focus while the dialog closes would otherwise hand a
    // field's text back to the shared models after they were reverted.
    _waterUserMapper->clearMapping();
    _distMapper->clearMapping();
    discardEdits();
    emit waterUserEditCanceled(_aggDivID, _waterUserID);
    TarnDlg::reject();
}

bool WaterUserDlg::confirmCancel()
{
    const auto ask = [this](const QString& title, const QString& text) {
        return QMessageBox::question(
                   this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    // What an Apply wrote goes with a new water user: the planner may think it kept.
    if (_isNewWaterUser && _applied)
        return ask(QStringLiteral("Discard Water User"),
            QStringLiteral("Discard the new water user \"%1\" and the data applied to it?")
                .arg(_ui->_waterUserNameLineEdit->text()));
    if (_copySavepoint || hasUnsavedEdits() || namesEdited() || attributesEdited())
        return ask(QStringLiteral("Cancel Changes to Water User"),
            QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."));
    return true;
}

bool WaterUserDlg::attributesEdited() const
{
    QList<int> shown;
    for (const WaterUserAttr& row : _attrModel->records())
        shown.append(row.value.AttrValidValID);
    return shown != _storedAttrValues;
}

void WaterUserDlg::keepStoredAttributes()
{
    _storedAttrValues.clear();
    for (const WaterUserAttr& row : _attrModel->records())
        _storedAttrValues.append(row.value.AttrValidValID);
}
