#include "ui/baseline/SiteFilterPanel.h"
#include "ui_SiteFilterPanel.h"

#include "db/AttributeDAO.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/baseline/WaterUserDlgColumns.h"
#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/ListComboBoxDelegate.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStringList>

using namespace WaterUserDlgColumns;

SiteFilterPanel::SiteFilterPanel(QWidget* parent)
    : QGroupBox(parent)
    , _ui(new Ui::SiteFilterPanel)
    , _siteModel(new TarnRelationalTableModel(this, TarnDbMgr::instance()->database()))
    , _siteProxy(new QSortFilterProxyModel(this))
    , _filterModel(new AggDivAttrViewModel(this))
{
    _ui->setupUi(this);
}

SiteFilterPanel::~SiteFilterPanel()
{
    delete _ui;
}

int SiteFilterPanel::selectSites()
{
    _siteModel->setTable(TN::AggDivTable);
    _siteModel->setSort(SiteOrdCol, Qt::AscendingOrder);
    ModelOps::resetAndSelect(_siteModel);
    _siteProxy->setSourceModel(_siteModel);
    _siteProxy->setFilterKeyColumn(SiteIdCol);
    return _siteModel->index(0, SiteIdCol).data().toInt();
}

TARN::okstat SiteFilterPanel::load(int aggDivID)
{
    _ui->_aggDivNameComboBox->setModel(_siteProxy);
    _ui->_aggDivNameComboBox->setModelColumn(SiteNameCol);
    _chosenSiteID = aggDivID;
    selectSite(aggDivID);
    connect(_ui->_aggDivNameComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
        [this](int row) {
            if (!_narrowingSites && row >= 0)
                _chosenSiteID = _siteProxy->index(row, SiteIdCol).data().toInt();
        });

    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    if (!dao)
        return {};
    AttributeList attributes;
    const TARN::okstat status = dao->getAttributes(attributes, TARN::AttrTypeAggDiv);
    if (status.failed())
        return QStringLiteral("Error loading aggregate diversion attributes: %1")
            .arg(status.text());
    QList<AggDivAttr> rows;
    for (const Attribute& attribute : qAsConst(attributes)) {
        AggDivAttr row;
        row.attribute = attribute;
        row.value.AttrID = attribute.AttrID;
        rows.append(row);
    }
    _filterModel->setRecords(rows);
    _ui->_aggDivAttrTableView->setModel(_filterModel);
    hideColumns(_ui->_aggDivAttrTableView,
        { AggDivAttrViewModel::IdColumn, AggDivAttrViewModel::AttrIdColumn,
            AggDivAttrViewModel::ValueIdColumn });
    connect(_filterModel, &QAbstractItemModel::dataChanged, this, &SiteFilterPanel::filterChanged);

    ListComboBoxDelegate::ChoiceTable choices;
    for (const Attribute& attribute : qAsConst(attributes)) {
        AttrValidValList values;
        const TARN::okstat loaded = dao->getValidValues(attribute.AttrID, values);
        if (loaded.failed())
            return QStringLiteral("Error loading values for attribute '%1': %2")
                .arg(attribute.AttrName, loaded.text());
        choices.insert(attribute.AttrID, ListComboBoxDelegate::choicesOf(values));
    }
    _ui->_aggDivAttrTableView->setItemDelegateForColumn(AggDivAttrViewModel::ValueColumn,
        new ListComboBoxDelegate(
            choices, AggDivAttrViewModel::AttrIdColumn, AggDivAttrViewModel::ValueIdColumn, this));
    return {};
}

bool SiteFilterPanel::hasSite(int aggDivID) const
{
    return ModelOps::findRowById(_siteModel, aggDivID).isValid();
}

QString SiteFilterPanel::riffleName(int aggDivID) const
{
    const QModelIndex site = ModelOps::findRowById(_siteModel, aggDivID);
    return site.isValid() ? _siteModel->index(site.row(), SiteRiffleNameCol).data().toString()
                          : QString();
}

void SiteFilterPanel::selectSite(int aggDivID)
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

void SiteFilterPanel::filterChanged()
{
    const QList<AggDivAttr>& rows = _filterModel->records();
    if (rows.isEmpty())
        return;
    QList<QList<int>> valueGroups;
    for (const AggDivAttr& row : rows)
        valueGroups.append({ row.value.AttrValidValID });
    QList<int> matching;
    if (AttributeDAO* attributes = TarnDbMgr::instance()->attributeDAO())
        attributes->matchingOwners(true, valueGroups, matching);
    QStringList ids;
    for (int id : qAsConst(matching))
        ids << QString::number(id);
    if (ids.isEmpty())
        ids << QStringLiteral("-1");
    _narrowingSites = true;
    _siteProxy->setFilterRegularExpression(
        QRegularExpression(QStringLiteral("^(%1)$").arg(ids.join(QLatin1Char('|')))));
    selectSite(_chosenSiteID);
    _narrowingSites = false;
}
