// Creating a new water user and loading the dialog's fields, tables and site choice; editing,
// saving and cancelling are in WaterUserDlg.cpp.
#include "ui/baseline/WaterUserDlg.h"
#include "ui_WaterUserDlg.h"

#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/baseline/WaterUserDlgColumns.h"
#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/ListComboBoxDelegate.h"
#include "ui/common/WaterUserAttrViewModel.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QComboBox>
#include <QDataWidgetMapper>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QStyledItemDelegate>

using namespace WaterUserDlgColumns;

namespace {

// Hands a coefficient field to the distribution row as a number: an empty field as NULL, a
// text that is no number not at all (the save refuses it).
class CoefficientDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(
        QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* field = qobject_cast<MonthlyCoefficientLineEdit*>(editor);
        if (!field) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        double value = 0.0;
        if (field->value(value))
            model->setData(index, TARN::fromDouble(value), Qt::EditRole);
    }
};

} // namespace

void WaterUserDlg::createWaterUser()
{
    if (!_waterUserModel || !_waterUserDistModel || !_waterUserDataModel)
        return;
    QSqlDatabase& db = TarnDbMgr::instance()->database();
    QSqlQuery maxOrd(db);
    maxOrd.prepare(QStringLiteral("SELECT MAX(Ord) FROM WaterUser WHERE AggDivID = :aggDivID AND "
                                  "ScenarioID IS NULL"));
    maxOrd.bindValue(QStringLiteral(":aggDivID"), _aggDivID);
    if (!maxOrd.exec() || !maxOrd.next()) {
        showWarning(QStringLiteral("Unable to determine order for new water user"));
        return;
    }
    const int ord = maxOrd.value(0).isNull() ? 1 : maxOrd.value(0).toInt() + 1;
    maxOrd.finish();

    QSqlRecord record = _waterUserModel->record();
    record.setValue(TN::AggDivID, _aggDivID);
    record.setValue(TN::WaterUserName, NewWaterUserName);
    record.setValue(TN::RiffleName, NewRiffleName);
    record.setValue(TN::Ord, ord);
    if (_scenarioID != -1)
        record.setValue(TN::ScenarioID, _scenarioID);
    if (!_waterUserModel->insertRecord(-1, record) || !_waterUserModel->submitAll()) {
        const QString error = _waterUserModel->lastError().text();
        // Nothing half-made may stay pending in the shared model for a later submit.
        _waterUserModel->revertAll();
        showWarning(error);
        return;
    }
    ModelOps::selectAll(_waterUserModel);
    QSqlQuery lastId(db);
    if (!lastId.exec(QStringLiteral("SELECT last_insert_rowid()")) || !lastId.next())
        return;
    _waterUserID = lastId.value(0).toInt();

    QSqlRecord dist = _waterUserDistModel->record();
    dist.setValue(TN::WaterUserID, _waterUserID);
    for (int column = MonthlyCoefficientLineEdit::FirstColumn;
         column <= MonthlyCoefficientLineEdit::LastColumn; ++column)
        dist.setValue(column, 0.0);
    if (!_waterUserDistModel->insertRecord(-1, dist) || !_waterUserDistModel->submitAll()) {
        const QString error = _waterUserDistModel->lastError().text();
        _waterUserDistModel->revertAll();
        showWarning(QStringLiteral("Problem Inserting data in WaterUserDist: %1").arg(error));
    }

    Baseline baseline;
    BaselineDAO* baselineDAO = TarnDbMgr::instance()->baselineDAO();
    const TARN::okstat loaded = baselineDAO ? baselineDAO->getBaseline(baseline)
                                            : TARN::okstat(QStringLiteral("no project"));
    if (loaded.failed()) {
        showWarning(QStringLiteral("Problem creating water user data: %1").arg(loaded.text()));
        return;
    }
    // One submit for all years: it stops at the first failing row just as row-by-row submits
    // would, without re-reading the whole yearly table once per year.
    for (int year = baseline.StartYear; year <= baseline.EndYear; ++year) {
        QSqlRecord row = _waterUserDataModel->record();
        row.setValue(TN::WaterUserID, _waterUserID);
        row.setValue(TN::Year, year);
        if (!_waterUserDataModel->insertRecord(-1, row))
            break;
    }
    if (!_waterUserDataModel->submitAll()) {
        const QString error = _waterUserDataModel->lastError().text();
        _waterUserDataModel->revertAll();
        showWarning(QStringLiteral("Problem creating water user data: %1").arg(error));
    }
}

void WaterUserDlg::loadWaterUserData()
{
    WaterUserDataList data;
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    if (dao) {
        const TARN::okstat status = dao->getWaterUserData(data, _waterUserID, true);
        if (status.failed()) {
            data.clear();
            showWarning(QStringLiteral("Error loading water user data: %1").arg(status.text()));
        }
    }
    _dataModel->setRecords(data);
    _dataTableView->setModel(_dataModel);
    _dataTableView->setColumnHidden(WaterUserDataViewModel::IdColumn, true);
    _dataTableView->setColumnHidden(WaterUserDataViewModel::WaterUserIdColumn, true);
}

void WaterUserDlg::bindWaterUserRow()
{
    const int row = waterUserRow();
    if (row < 0) {
        showWarning(QStringLiteral("Error opening dialog."));
        return;
    }
    _waterUserMapper->setModel(_waterUserModel);
    _waterUserMapper->addMapping(_ui->_waterUserNameLineEdit, WuNameCol);
    _waterUserMapper->addMapping(_ui->_riffleNameLineEdit, WuRiffleCol);
    _waterUserMapper->addMapping(_ui->_notes, WuNotesCol);
    _waterUserMapper->setCurrentIndex(row);

    ModelOps::filterById(_waterUserDistModel, _waterUserID, TN::WaterUserID);
    _distMapper->setModel(_waterUserDistModel);
    _distMapper->setItemDelegate(new CoefficientDelegate(_distMapper));
    for (MonthlyCoefficientLineEdit* editor : qAsConst(_coeffEditors))
        _distMapper->addMapping(editor, editor->column());
    _distMapper->setCurrentIndex(0);
    sumCoefficients();
}

void WaterUserDlg::loadWaterUserAttrs()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    if (!mgr->attributeDAO() || !mgr->waterUserDAO() || _waterUserID < 0)
        return;
    AttributeDAO* attributeDAO = mgr->attributeDAO();
    QList<WaterUserAttr> rows;
    ListComboBoxDelegate::ChoiceTable choices;

    if (_isNewWaterUser) {
        AttributeList attributes;
        const TARN::okstat status
            = attributeDAO->getAttributes(attributes, TARN::AttrTypeWaterUser);
        if (status.failed())
            showWarning(QStringLiteral("Unable to load attributes: %1").arg(status.text()));
        for (const Attribute& attribute : qAsConst(attributes)) {
            AttrValidValList values;
            const TARN::okstat loaded = attributeDAO->getValidValues(attribute.AttrID, values);
            if (loaded.failed() || values.isEmpty()) {
                showWarning(QStringLiteral("Unable to load valid values for attribute '%1': %2")
                                .arg(attribute.AttrName, loaded.text()));
                break;
            }
            choices.insert(attribute.AttrID, ListComboBoxDelegate::choicesOf(values));
            WaterUserAttr row;
            row.attribute = attribute;
            row.WaterUserID = _waterUserID;
            row.value = values.first();
            rows.append(row);
        }
    } else {
        const TARN::okstat status = mgr->waterUserDAO()->getWaterUserAttrs(_waterUserID, rows);
        if (status.failed()) {
            rows.clear();
            showWarning(
                QStringLiteral("Error loading water user attributes: %1").arg(status.text()));
        }
        for (const WaterUserAttr& row : qAsConst(rows)) {
            AttrValidValList values;
            const TARN::okstat loaded = attributeDAO->getValidValues(row.attribute.AttrID, values);
            if (loaded.failed()) {
                showWarning(QStringLiteral("Error loading values for attribute '%1': %2")
                                .arg(row.attribute.AttrName, loaded.text()));
                break;
            }
            choices.insert(row.attribute.AttrID, ListComboBoxDelegate::choicesOf(values));
        }
    }
    _attrModel->setRecords(rows);
    _ui->_waterUserAttrTableView->setModel(_attrModel);
    hideColumns(_ui->_waterUserAttrTableView,
        { WaterUserAttrViewModel::IdColumn, WaterUserAttrViewModel::AttrIdColumn,
            WaterUserAttrViewModel::ValueIdColumn });
    _ui->_waterUserAttrTableView->setItemDelegateForColumn(WaterUserAttrViewModel::ValueColumn,
        new ListComboBoxDelegate(choices, WaterUserAttrViewModel::AttrIdColumn,
            WaterUserAttrViewModel::ValueIdColumn, this));
    keepStoredAttributes();
}

void WaterUserDlg::loadSiteFilter()
{
    // The site choice works even when the attribute filter cannot be offered.
    _ui->_aggDivNameComboBox->setModel(_siteProxy);
    _ui->_aggDivNameComboBox->setModelColumn(SiteNameCol);
    _chosenSiteID = _aggDivID;
    selectSite(_aggDivID);
    // Only picking a site changes the choice; narrowing the list by attributes does not, even
    // when it hides the chosen site (the combo box then shows none).
    connect(_ui->_aggDivNameComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
        [this](int row) {
            if (!_narrowingSites && row >= 0)
                _chosenSiteID = _siteProxy->index(row, SiteIdCol).data().toInt();
        });

    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    if (!dao)
        return;
    AttributeList attributes;
    const TARN::okstat status = dao->getAttributes(attributes, TARN::AttrTypeAggDiv);
    if (status.failed()) {
        showWarning(
            QStringLiteral("Error loading aggregate diversion attributes: %1").arg(status.text()));
        return;
    }
    QList<AggDivAttr> rows;
    for (const Attribute& attribute : qAsConst(attributes)) {
        AggDivAttr row;
        row.attribute = attribute;
        row.value.AttrID = attribute.AttrID;
        rows.append(row);
    }
    _siteFilterModel->setRecords(rows);
    _ui->_aggDivAttrTableView->setModel(_siteFilterModel);
    hideColumns(_ui->_aggDivAttrTableView,
        { AggDivAttrViewModel::IdColumn, AggDivAttrViewModel::AttrIdColumn,
            AggDivAttrViewModel::ValueIdColumn });
    connect(_siteFilterModel, &QAbstractItemModel::dataChanged, this,
        &WaterUserDlg::aggDivFilterChanged);

    ListComboBoxDelegate::ChoiceTable choices;
    for (const Attribute& attribute : qAsConst(attributes)) {
        AttrValidValList values;
        const TARN::okstat loaded = dao->getValidValues(attribute.AttrID, values);
        if (loaded.failed()) {
            showWarning(QStringLiteral("Error loading values for attribute '%1': %2")
                            .arg(attribute.AttrName, loaded.text()));
            return;
        }
        choices.insert(attribute.AttrID, ListComboBoxDelegate::choicesOf(values));
    }
    _ui->_aggDivAttrTableView->setItemDelegateForColumn(AggDivAttrViewModel::ValueColumn,
        new ListComboBoxDelegate(
            choices, AggDivAttrViewModel::AttrIdColumn, AggDivAttrViewModel::ValueIdColumn, this));
}

void WaterUserDlg::selectSite(int aggDivID)
{
    for (int row = 0; row < _siteProxy->rowCount(); ++row) {
        if (_siteProxy->index(row, SiteIdCol).data().toInt() == aggDivID) {
            _ui->_aggDivNameComboBox->setCurrentIndex(row);
            return;
        }
    }
    const bool narrowing = _narrowingSites;
    _narrowingSites = true;
    _ui->_aggDivNameComboBox->setCurrentIndex(-1);
    _narrowingSites = narrowing;
}

void WaterUserDlg::aggDivFilterChanged(const QModelIndex&, const QModelIndex&, const QVector<int>&)
{
    const QList<AggDivAttr>& rows = _siteFilterModel->records();
    if (rows.isEmpty())
        return;
    QStringList selects;
    for (const AggDivAttr& row : rows)
        selects << QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4")
                       .arg(TN::AggDivID, TN::AggDivAttrTable, TN::AttrValidValID)
                       .arg(row.value.AttrValidValID);
    QSqlQuery query(TarnDbMgr::instance()->database());
    QStringList ids;
    if (query.exec(selects.join(QStringLiteral(" INTERSECT ")))) {
        while (query.next())
            ids << QString::number(query.value(0).toInt());
    }
    if (ids.isEmpty())
        ids << QStringLiteral("-1");
    _narrowingSites = true;
    _siteProxy->setFilterRegularExpression(
        QRegularExpression(QStringLiteral("^(%1)$").arg(ids.join(QLatin1Char('|')))));
    selectSite(_chosenSiteID);
    _narrowingSites = false;
}
