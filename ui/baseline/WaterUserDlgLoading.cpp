// Creating a new water user and loading the dialog's fields, tables and site choice; editing,
// saving and cancelling are in WaterUserDlg.cpp.
#include "ui/baseline/WaterUserDlg.h"
#include "ui_WaterUserDlg.h"

#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/baseline/WaterUserDlgColumns.h"
#include "ui/common/ListComboBoxDelegate.h"
#include "ui/common/WaterUserAttrViewModel.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QDataWidgetMapper>
#include <QSqlError>
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
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    if (!dao)
        return;
    int newID = 0;
    const TARN::okstat made
        = dao->create(_aggDivID, _scenarioID, NewWaterUserName, NewRiffleName, newID);
    if (made.failed()) {
        showWarning(made.text());
        return;
    }
    if (newID == 0)
        return;
    _waterUserID = newID;

    QSqlRecord dist = _waterUserDistModel->record();
    dist.setValue(TN::WaterUserID, _waterUserID);
    for (int column = MonthlyCoefficientLineEdit::FirstColumn;
         column <= MonthlyCoefficientLineEdit::LastColumn; ++column)
        dist.setValue(column, 0.0);
    int distID = 0;
    const TARN::okstat distMade = ModelRows::insert(_waterUserDistModel, dist, distID);
    if (distMade.failed())
        showWarning(
            QStringLiteral("Problem Inserting data in WaterUserDist: %1").arg(distMade.text()));

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
