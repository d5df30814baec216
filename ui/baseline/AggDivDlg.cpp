#include "ui/baseline/AggDivDlg.h"
#include "ui_AggDivDlg.h"

#include "db/AggDivDAO.h"
#include "db/AttributeDAO.h"
#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/DialogHabits.h"
#include "ui/common/HelpButton.h"
#include "ui/common/ListComboBoxDelegate.h"
#include "ui/plot/QuickPlot.h"

#include <QDataWidgetMapper>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>

namespace {

enum AggDivColumn { IdCol = 0, BaselineCol, SalinityCol, SiteNameCol, RiffleNameCol, NotesCol };
const QString NewSiteName = QStringLiteral("Enter site name");
const QString NewRiffleName = QStringLiteral("Enter Riffle Name");

} // namespace

AggDivDlg::AggDivDlg(int adID, BaselineChangeLog* changeLog, QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::AggDivWidgets)
    , _aggDivID(adID)
    , _changeLog(changeLog)
    , _attrModel(new AggDivAttrViewModel(this))
    , _mapper(new QDataWidgetMapper(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    for (int id = 1; id <= 4; ++id)
        _ui->_salinityMethodComboBox->addItem(SalinityMethodInfo::fromId(id).label, id);

    if (adID == -1)
        createNewSite();
    mapSiteRow();
    if (_newAggDiv) {
        // Typing replaces the stored placeholder names.
        DialogHabits::selectPlaceholderOnFocus(_ui->_aggDivSiteNameLineEdit, NewSiteName);
        DialogHabits::selectPlaceholderOnFocus(_ui->_aggDivRWNameLineEdit, NewRiffleName);
        _ui->_aggDivSiteNameLineEdit->setFocus();
    }
    loadAttributes();

    _ui->_aggDivAttrTableView->setModel(_attrModel);
    for (int column : { AggDivAttrViewModel::IdColumn, AggDivAttrViewModel::AttrIdColumn,
             AggDivAttrViewModel::ValueIdColumn })
        _ui->_aggDivAttrTableView->setColumnHidden(column, true);
    installValueDelegate();

    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setDefault(false);
        button->setAutoDefault(false);
    }

    connect(_ui->_okButton, &QPushButton::clicked, this, &AggDivDlg::okClicked);
    connect(_ui->_applyButton, &QPushButton::clicked, this, &AggDivDlg::applyClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &AggDivDlg::reject);
    connect(_ui->_generatePlotButton, &QPushButton::clicked, this, [this] {
        QuickPlot::openAggDivPlot(
            this, _aggDivID, _ui->_aggDivSiteNameLineEdit->text(), _changeLog);
    });
    setupHelpButton(_ui->_helpButton);
}

AggDivDlg::~AggDivDlg()
{
    delete _ui;
}

int AggDivDlg::siteRow() const
{
    if (!_aggDivModel)
        return -1;
    const QModelIndex index = ModelOps::findRowById(_aggDivModel, _aggDivID);
    return index.isValid() ? index.row() : -1;
}

void AggDivDlg::createNewSite()
{
    _newAggDiv = true;
    if (!_aggDivModel)
        return;
    QSqlRecord record = _aggDivModel->record();
    record.setValue(BaselineCol, 1);
    record.setValue(SalinityCol, 4);
    record.setValue(SiteNameCol, NewSiteName);
    record.setValue(RiffleNameCol, NewRiffleName);
    int newID = 0;
    const TARN::okstat made = ModelRows::insert(_aggDivModel, record, newID);
    if (made.failed()) {
        showWarning(made.text());
        return;
    }
    if (newID != 0)
        _aggDivID = newID;
}

void AggDivDlg::mapSiteRow()
{
    const int row = siteRow();
    if (row < 0) {
        showWarning(QStringLiteral("Unable to load aggregate diversion."));
        return;
    }
    const QVariant salinity = _aggDivModel->index(row, SalinityCol).data();
    if (!salinity.isValid()) {
        showWarning(QStringLiteral("Unable to load salinity data."));
    } else {
        const int item = _ui->_salinityMethodComboBox->findData(salinity.toInt());
        _ui->_salinityMethodComboBox->setCurrentIndex(item >= 0 ? item : 0);
    }
    _mapper->setModel(_aggDivModel);
    _mapper->addMapping(_ui->_aggDivSiteNameLineEdit, SiteNameCol);
    _mapper->addMapping(_ui->_aggDivRWNameLineEdit, RiffleNameCol);
    _mapper->addMapping(_ui->_notes, NotesCol);
    _mapper->setCurrentIndex(row);
    // Whoever re-selects the shared model (the baseline dialog reading the saved site back, a
    // quick plot window opening) leaves the mapper without a row, and later edits would go
    // nowhere. Re-selects follow saves, so the fields show what they had.
    connect(_aggDivModel, &QAbstractItemModel::modelReset, this,
        [this] { _mapper->setCurrentIndex(siteRow()); });
}

void AggDivDlg::loadAttributes()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    if (!mgr->aggDivDAO() || !mgr->attributeDAO() || _aggDivID < 0)
        return;
    _attrs.clear();
    if (_newAggDiv) {
        AttributeList attributes;
        const TARN::okstat status = mgr->attributeDAO()->getAttributes(attributes, 1);
        if (status.failed()) {
            showWarning(QStringLiteral("Unable to load attributes: %1").arg(status.text()));
        } else {
            for (const Attribute& attribute : qAsConst(attributes)) {
                AttrValidValList values;
                const TARN::okstat loaded
                    = mgr->attributeDAO()->getValidValues(attribute.AttrID, values);
                if (loaded.failed()) {
                    showWarning(QStringLiteral("Unable to load valid values for attribute '%1': %2")
                                    .arg(attribute.AttrName, loaded.text()));
                    break;
                }
                // An attribute without any value has nothing to assign; an assignment of value 0
                // could never be saved and would keep the dialog from closing.
                if (values.isEmpty())
                    continue;
                AggDivAttr assignment;
                assignment.attribute = attribute;
                assignment.AggDivID = _aggDivID;
                assignment.value = values.first();
                _attrs.append(assignment);
            }
        }
    } else {
        const TARN::okstat status = mgr->aggDivDAO()->getAggDivAttrs(_aggDivID, _attrs);
        if (status.failed()) {
            _attrs.clear();
            showWarning(QStringLiteral("Error loading aggregate diversion attributes: %1")
                            .arg(status.text()));
        }
    }
    _attrModel->setRecords(_attrs);
}

void AggDivDlg::installValueDelegate()
{
    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    if (!dao)
        return;
    ListComboBoxDelegate::ChoiceTable choices;
    for (const AggDivAttr& assignment : qAsConst(_attrs)) {
        const Attribute& attribute = assignment.attribute;
        AttrValidValList values;
        const TARN::okstat status = dao->getValidValues(attribute.AttrID, values);
        if (status.failed()) {
            showWarning(QStringLiteral("Error loading values for attribute '%1': %2")
                            .arg(attribute.AttrName, status.text()));
            continue;
        }
        choices.insert(attribute.AttrID, ListComboBoxDelegate::choicesOf(values));
    }
    _ui->_aggDivAttrTableView->setItemDelegateForColumn(AggDivAttrViewModel::ValueColumn,
        new ListComboBoxDelegate(
            choices, AggDivAttrViewModel::AttrIdColumn, AggDivAttrViewModel::ValueIdColumn, this));
}

TARN::okstat AggDivDlg::applyChanges()
{
    if (transactionLost())
        return abandon(QString());
    // A field still holding the focus has not handed its text to the model yet.
    _mapper->submit();
    int row = siteRow();
    if (row < 0) {
        QString error = _aggDivModel ? _aggDivModel->lastError().text() : QString();
        if (error.trimmed().isEmpty())
            error = QStringLiteral("Unable to load aggregate diversion.");
        showWarning(error);
        return error;
    }
    _aggDivModel->setData(_aggDivModel->index(row, SalinityCol),
        _ui->_salinityMethodComboBox->currentData(), Qt::EditRole);
    if (!_aggDivModel->submitAll()) {
        const QString error = _aggDivModel->lastError().text();
        if (transactionLost())
            return abandon(error);
        showWarning(DbFailure::databaseText(error));
    }
    row = siteRow();

    QList<AggDivAttr> attrs = _attrModel->records();
    const TARN::okstat saved = TarnDbMgr::instance()->aggDivDAO()->saveAggDivAttrs(attrs);
    if (saved.failed()) {
        if (transactionLost())
            return abandon(saved.text());
        QString text = DbFailure::notSaved(
            saved.text(), QStringLiteral("the site"), QStringLiteral("press OK or Apply again"));
        if (text.isEmpty())
            text = DbFailure::databaseText(saved.text());
        showWarning(text);
        return text;
    }
    // Keep the new keys, so that a second Apply updates the rows it just wrote.
    _attrs = attrs;
    _attrModel->setRecords(_attrs);

    const QString name = row >= 0 ? _aggDivModel->index(row, SiteNameCol).data().toString()
                                  : _ui->_aggDivSiteNameLineEdit->text();
    _applied = true;
    emit aggDivEdited(_aggDivID, name);
    return {};
}

TARN::okstat AggDivDlg::abandon(const QString& error)
{
    _mapper->clearMapping();
    if (_aggDivModel)
        _aggDivModel->revertAll();
    closeAfterLostTransaction(error, QStringLiteral("the site"));
    emit aggDivEditCanceled(_aggDivID);
    return DbFailure::editsLost(error, QStringLiteral("the site"));
}

void AggDivDlg::revert()
{
    if (!_newAggDiv || !_aggDivModel)
        return;
    // A failed write that ended the transaction took the new row with it; a removal now would
    // be committed on its own.
    if (transactionLost()) {
        _aggDivModel->revertAll();
        return;
    }
    const int row = siteRow();
    if (row < 0)
        return;
    // The placeholder row was written when the dialog opened; the removal is written too, so
    // that a cancelled site cannot survive a later commit of the caller's transaction.
    if (!_aggDivModel->removeRow(row) || !_aggDivModel->submitAll()) {
        const QString error = _aggDivModel->lastError().text();
        _aggDivModel->revertAll();
        showWarning(QStringLiteral("Unable to remove row. %1").arg(error));
    }
}

void AggDivDlg::reject()
{
    // What an Apply wrote goes with a new site: the planner may think it kept.
    if (_newAggDiv && _applied
        && QMessageBox::question(this, QStringLiteral("Discard Site"),
               QStringLiteral("Discard the new site \"%1\" and the data applied to it?")
                   .arg(_ui->_aggDivSiteNameLineEdit->text()),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    revert();
    emit aggDivEditCanceled(_aggDivID);
    TarnDlg::reject();
}
