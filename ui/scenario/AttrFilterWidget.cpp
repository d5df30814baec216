#include "ui/scenario/AttrFilterWidget.h"
#include "ui_AttrFilterWidget.h"

#include "db/TarnNames.h"
#include "ui/common/CheckBoxIconItem.h"
#include "ui/scenario/AttributeCache.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QStringList>

AttrFilterWidget::AttrFilterWidget(QWidget* parent)
    : QWidget(parent)
    , _ui(new Ui::AttrFilterWidget)
{
    _ui->setupUi(this);
    for (QTableWidget* table : { _ui->_filtTableWidget, _ui->_attrTableWidget }) {
        table->horizontalHeader()->setHighlightSections(false);
        table->horizontalHeader()->setStretchLastSection(true);
    }
    _ui->_filtTableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    _ui->_filtTableWidget->horizontalHeader()->setStretchLastSection(true);
}

AttrFilterWidget::~AttrFilterWidget()
{
    clearPanel();
    delete _ui;
}

void AttrFilterWidget::clearPanel()
{
    // The value items live in the entries and only visit the value table; take them back so
    // that each is deleted exactly once.
    QTableWidget* values = _ui->_attrTableWidget;
    {
        const QSignalBlocker blocker(values);
        for (int row = 0; row < values->rowCount(); ++row)
            values->takeItem(row, 0);
        values->setRowCount(0);
    }
    for (const QList<ValueEntry>& entries : qAsConst(_values)) {
        for (const ValueEntry& entry : entries)
            delete entry.item;
    }
    _values.clear();
    _attrNames.clear();
    _currentAttr = 0;
    _currentRow = -1;
    const QSignalBlocker blocker(_ui->_filtTableWidget);
    _ui->_filtTableWidget->setRowCount(0);
}

TARN::okstat AttrFilterWidget::setFilterType(int type)
{
    clearPanel();
    _type = type == SitePanel ? SitePanel : WaterUserPanel;
    _typeText = _type == SitePanel ? QStringLiteral("Aggregate Diversion Site")
                                   : QStringLiteral("Water User");
    AttributeCache& cache = AttributeCache::instance();
    const TARN::okstat status = cache.ensureLoaded(_typeText);
    if (status.failed())
        return status;

    _ui->_filtGroupBox->setTitle(QStringLiteral("%1 Attribute Filters").arg(_typeText));

    const QSet<int>& attributes = cache.attributesOfPanel(_type);
    QList<int> rows;
    for (int valueId : cache.valueIds()) {
        const AttributeCache::Value value = cache.value(valueId);
        if (!attributes.contains(value.AttrID))
            continue;
        if (!_values.contains(value.AttrID)) {
            rows.append(value.AttrID);
            _attrNames.insert(value.AttrID, value.AttrName);
            _values[value.AttrID].reserve(cache.valueCount(value.AttrID));
        }
        ValueEntry entry;
        entry.id = value.AttrValidValID;
        entry.text = value.AttrVal;
        _values[value.AttrID].append(entry);
    }

    QTableWidget* table = _ui->_filtTableWidget;
    table->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const int attrId = rows.at(row);
        auto* name = new QTableWidgetItem(_attrNames.value(attrId));
        auto* summary = new QTableWidgetItem(QString());
        for (QTableWidgetItem* item : { name, summary }) {
            item->setData(AttrIdRole, attrId);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        }
        table->setItem(row, 0, name);
        table->setItem(row, 1, summary);
    }

    connect(table, &QTableWidget::itemClicked, this, &AttrFilterWidget::filtSelectionHandler,
        Qt::UniqueConnection);
    // Moving through the attributes with the keyboard shows their values as a click does.
    connect(table, &QTableWidget::currentItemChanged, this, &AttrFilterWidget::filtSelectionHandler,
        Qt::UniqueConnection);
    connect(_ui->_attrTableWidget, &QTableWidget::itemSelectionChanged, this,
        &AttrFilterWidget::attrSelectionHandler, Qt::UniqueConnection);
    return {};
}

void AttrFilterWidget::filtSelectionHandler(QTableWidgetItem* item)
{
    if (!item)
        return;
    const int attrId = item->data(AttrIdRole).toInt();
    if (attrId == _currentAttr)
        return;
    _currentAttr = attrId;
    _currentRow = item->row();

    QTableWidget* table = _ui->_attrTableWidget;
    {
        const QSignalBlocker blocker(table);
        for (int row = 0; row < table->rowCount(); ++row)
            table->takeItem(row, 0);
        table->setRowCount(0);
        QList<ValueEntry>& entries = _values[attrId];
        table->setRowCount(entries.size());
        for (int row = 0; row < entries.size(); ++row) {
            ValueEntry& entry = entries[row];
            if (!entry.item) {
                entry.item = new QTableWidgetItem(entry.text);
                entry.item->setData(AttrIdRole, attrId);
                entry.item->setData(ValueIdRole, entry.id);
                entry.item->setFlags(entry.item->flags() & ~Qt::ItemIsEditable);
            }
            table->setItem(row, 0, entry.item);
            entry.item->setSelected(entry.selected);
            entry.item->setIcon(entry.selected ? CheckBoxIconItem::checkedIcon()
                                               : CheckBoxIconItem::uncheckedIcon());
        }
        table->scrollToTop();
    }
    updateSummary();
}

void AttrFilterWidget::attrSelectionHandler()
{
    if (!_values.contains(_currentAttr))
        return;
    QTableWidget* table = _ui->_attrTableWidget;
    QList<ValueEntry>& entries = _values[_currentAttr];
    for (int row = 0; row < table->rowCount() && row < entries.size(); ++row) {
        QTableWidgetItem* item = table->item(row, 0);
        if (!item)
            continue;
        entries[row].selected = item->isSelected();
        item->setIcon(entries[row].selected ? CheckBoxIconItem::checkedIcon()
                                            : CheckBoxIconItem::uncheckedIcon());
    }
    updateSummary();
    emit filterChanged();
}

QString AttrFilterWidget::summaryText(int attrId) const
{
    const QList<ValueEntry> entries = _values.value(attrId);
    QStringList names;
    for (const ValueEntry& entry : entries) {
        if (entry.selected)
            names.append(entry.text);
    }
    if (names.size() == entries.size())
        return QString();
    return names.join(QStringLiteral("; "));
}

void AttrFilterWidget::updateSummary()
{
    QTableWidgetItem* summary = _ui->_filtTableWidget->item(_currentRow, 1);
    if (summary)
        summary->setText(summaryText(_currentAttr));
}

QList<QList<int>> AttrFilterWidget::chosenValues() const
{
    QList<QList<int>> groups;
    for (auto it = _values.constBegin(); it != _values.constEnd(); ++it) {
        QList<int> ids;
        for (const ValueEntry& entry : it.value()) {
            if (entry.selected)
                ids.append(entry.id);
        }
        if (ids.isEmpty())
            return {};
        groups.append(ids);
    }
    return groups;
}

AttrSelectionList AttrFilterWidget::selectedFilters() const
{
    const int typeId = _type == SitePanel ? TARN::AttrTypeAggDiv : TARN::AttrTypeWaterUser;
    AttrSelectionList selections;
    for (auto it = _values.constBegin(); it != _values.constEnd(); ++it) {
        for (const ValueEntry& entry : it.value()) {
            if (!entry.selected)
                continue;
            AttrSelection selection;
            selection.AttrID = it.key();
            selection.AttrName = _attrNames.value(it.key());
            selection.typeId = typeId;
            selection.typeName = TARN::attrTypeName(typeId);
            selection.AttrValidValID = entry.id;
            selection.AttrVal = entry.text;
            selections.append(selection);
        }
    }
    return selections;
}
