#include "ui/scenario/ChangeDataWidget.h"
#include "ui_ChangeDataWidget.h"

#include "db/BaselineDAO.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/common/DialogHabits.h"
#include "ui/common/DoubleLineEditDelegate.h"
#include "ui/common/ListComboBoxDelegate.h"
#include "ui/scenario/ChangeDataModel.h"
#include "ui/scenario/PasteMethodDlg.h"

#include <QDoubleValidator>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlRecord>

#include <algorithm>
#include <cmath>

namespace {

enum ChangeColumn { ChgIdCol = 0, ChgDemandChgCol, ChgYearCol, ChgTypeCol, ChgValueCol };
enum DemandChgColumn { DepletionMethodCol = 5, EfficiencyMethodCol = 6 };

const char* const ChangeTypeProperty = "ChgDataWidget_ChgType";

} // namespace

ChangeDataWidget::ChangeDataWidget(QWidget* parent)
    : QWidget(parent)
    , _ui(new Ui::ChangeDataWidget)
    , _changeProxy(new QSortFilterProxyModel(this))
    , _dataModel(new ChangeDataModel(this))
{
    _ui->setupUi(this);
    for (QLineEdit* edit : { _ui->_pctChgLineEdit, _ui->_amtChgLineEdit, _ui->_newAmtLineEdit })
        edit->setValidator(new QDoubleValidator(edit));
    const QList<QWidget*> inside = _ui->_chgGroupBox->findChildren<QWidget*>();
    for (QWidget* widget : inside) {
        if (!qobject_cast<QRadioButton*>(widget))
            widget->setEnabled(false);
    }
    // Enter in a value field must not press a button of the dialog around the widget.
    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    DialogHabits::showAllColumns(_ui->_chgDataTableView);
}

ChangeDataWidget::~ChangeDataWidget()
{
    delete _ui;
}

int ChangeDataWidget::changeTypeOf(const QAbstractButton* button)
{
    return button ? button->property(ChangeTypeProperty).toInt() : ChangeDataRow::NoChange;
}

ChangeDataWidget::Editor ChangeDataWidget::editorOf(QAbstractButton* button) const
{
    if (button == _ui->_pctChgRadioBtn)
        return { _ui->_pctChgLineEdit, _ui->_pctChgLabel };
    if (button == _ui->_amtChgRadioBtn)
        return { _ui->_amtChgLineEdit, _ui->_amtChgLabel };
    if (button == _ui->_newAmtRadioBtn)
        return { _ui->_newAmtLineEdit, _ui->_newAmtLabel };
    if (button == _ui->_baseYearRadioBtn)
        return { _ui->_baseYearComboBox, _ui->_baseYearLabel };
    return {};
}

TARN::okstat ChangeDataWidget::setup(int kind, int demandChgRow, int demandChgID)
{
    _kind = kind;
    _demandChgRow = demandChgRow;
    _demandChgID = demandChgID;

    TarnDbMgr* mgr = TarnDbMgr::instance();
    ScenarioDAO* scenarios = mgr->scenarioDAO();
    if (!scenarios)
        return {};
    _changeModel
        = kind == Depletion ? scenarios->depletionChgModel() : scenarios->efficiencyChgModel();
    _demandChgModel = scenarios->demandChgModel();
    ModelOps::resetAndSelect(_changeModel);
    _changeProxy->setSourceModel(_changeModel);
    _changeProxy->setFilterKeyColumn(ChgDemandChgCol);
    _changeProxy->setFilterRegularExpression(QStringLiteral("^%1$").arg(demandChgID));

    QSqlTableModel* types = scenarios->changeTypeModel();
    ModelOps::resetAndSelect(types);
    for (int row = 0; row < types->rowCount(); ++row)
        _typeNames.insert(
            types->index(row, 0).data().toInt(), types->index(row, 1).data().toString());
    _dataModel->setChangeTypeNames(_typeNames);

    connect(_ui->_useBaseRadioBtn, &QRadioButton::toggled, this, &ChangeDataWidget::methodChanged);
    connect(_ui->_chgTypeBtnGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked),
        this, &ChangeDataWidget::chgTypeBtnHandler);
    connect(_ui->_chgYearsBtnGroup,
        QOverload<QAbstractButton*, bool>::of(&QButtonGroup::buttonToggled), this,
        &ChangeDataWidget::chgYearsBtnHandler);
    connect(_ui->_chgYearsListWidget, &QListWidget::itemSelectionChanged, this,
        &ChangeDataWidget::chgYearsSelChgHandler);
    connect(_ui->_modifySelYearsBtn, &QPushButton::clicked, this,
        &ChangeDataWidget::modifySelYearsHandler);
    connect(_ui->_resetSelYearsBtn, &QPushButton::clicked, this,
        &ChangeDataWidget::resetSelYearsHandler);
    connect(_ui->_pasteSelYearsBtn, &QPushButton::clicked, this,
        &ChangeDataWidget::pasteSelYearsHandler);
    connect(
        _changeModel, &QSqlTableModel::primeInsert, this, &ChangeDataWidget::primeInsertHandler);

    Baseline baseline;
    if (!mgr->baselineDAO() || mgr->baselineDAO()->getBaseline(baseline).failed())
        return {};
    _firstYear = baseline.StartYear;
    _lastYear = baseline.EndYear;

    _ui->_pctChgRadioBtn->setChecked(true);
    chgTypeBtnHandler(_ui->_pctChgRadioBtn);
    if (kind == Efficiency) {
        _ui->_amtChgLabel->setText(QStringLiteral("0.XX"));
        _ui->_newAmtLabel->setText(QStringLiteral("0.XX"));
    }
    _ui->_chgSelYrsRadioBtn->setChecked(true);
    QVector<ChangeDataRow> rows;
    for (int year = _firstYear; year <= _lastYear; ++year) {
        _ui->_chgYearsListWidget->addItem(QString::number(year));
        rows.append(ChangeDataRow(year));
    }
    _dataModel->setRows(rows);

    for (int row = 0; row < _changeProxy->rowCount(); ++row) {
        const int year = _changeProxy->index(row, ChgYearCol).data().toInt();
        const QString typeName = _changeProxy->index(row, ChgTypeCol).data().toString();
        const double change = TARN::toDouble(_changeProxy->index(row, ChgValueCol).data());
        const int typeId = _typeNames.key(typeName, ChangeDataRow::NoChange);
        _dataModel->setChange(_dataModel->rowOfYear(year), typeId, change);
    }

    _ui->_chgDataTableView->setModel(_dataModel);
    QHeaderView* header = _ui->_chgDataTableView->horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStyleSheet(QStringLiteral("QHeaderView { font-size: %1pt; }")
                              .arg(_ui->_chgDataTableView->font().pointSize()));
    ListComboBoxDelegate::ChoiceList choices;
    for (auto it = _typeNames.cbegin(); it != _typeNames.cend(); ++it)
        choices.append({ it.key(), it.value() });
    _ui->_chgDataTableView->setItemDelegateForColumn(
        ChangeDataModel::ChangeTypeColumn, new ListComboBoxDelegate(choices, this));
    _ui->_chgDataTableView->setItemDelegateForColumn(
        ChangeDataModel::ChangeColumn, new DoubleLineEditDelegate(this));

    const int methodColumn = kind == Depletion ? DepletionMethodCol : EfficiencyMethodCol;
    const int method = _demandChgModel->index(_demandChgRow, methodColumn).data().toInt();
    if (method == TARN::CalcBaselinePlusChanges)
        _ui->_useBaseRadioBtn->setChecked(true);
    else
        _ui->_interpRadioBtn->setChecked(true);
    return {};
}

int ChangeDataWidget::method() const
{
    return _ui->_useBaseRadioBtn->isChecked() ? TARN::CalcBaselinePlusChanges
                                              : TARN::CalcInterpolateChanges;
}

void ChangeDataWidget::chgTypeBtnHandler(QAbstractButton* button)
{
    if (button == _currentTypeButton)
        return;
    const Editor previous = editorOf(_currentTypeButton);
    if (auto* combo = qobject_cast<QComboBox*>(previous.editor))
        combo->clear();
    else if (auto* edit = qobject_cast<QLineEdit*>(previous.editor))
        edit->clear();
    if (previous.editor)
        previous.editor->setEnabled(false);
    if (previous.label)
        previous.label->setEnabled(false);

    _currentTypeButton = button;
    if (changeTypeOf(button) == TARN::ChangeBaselineYear) {
        _ui->_baseYearComboBox->clear();
        for (int year = _firstYear; year <= _lastYear; ++year)
            _ui->_baseYearComboBox->addItem(QString::number(year));
        _ui->_baseYearComboBox->setCurrentIndex(0);
    }
    const Editor current = editorOf(button);
    if (current.editor)
        current.editor->setEnabled(true);
    if (current.label)
        current.label->setEnabled(true);
    _ui->_modifySelYearsBtn->setEnabled(true);
    _ui->_resetSelYearsBtn->setEnabled(true);
}

void ChangeDataWidget::chgYearsBtnHandler(QAbstractButton* button, bool checked)
{
    if (button == _ui->_chgAllYrsRadioBtn && checked)
        _ui->_chgYearsListWidget->selectAll();
}

void ChangeDataWidget::chgYearsSelChgHandler()
{
    if (!_ui->_chgAllYrsRadioBtn->isChecked())
        return;
    QListWidget* list = _ui->_chgYearsListWidget;
    if (list->selectedItems().size() == list->count())
        return;
    const bool blocked = _ui->_chgSelYrsRadioBtn->blockSignals(true);
    _ui->_chgSelYrsRadioBtn->setChecked(true);
    _ui->_chgSelYrsRadioBtn->blockSignals(blocked);
}

QList<int> ChangeDataWidget::selectedRows() const
{
    // The i-th pasted value belongs to the i-th selected year counted from the first year,
    // whatever order the years were clicked in.
    QList<int> rows;
    const QList<QListWidgetItem*> items = _ui->_chgYearsListWidget->selectedItems();
    for (const QListWidgetItem* item : items)
        rows << _ui->_chgYearsListWidget->row(item);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ChangeDataWidget::applyChange(int row, int changeTypeId, double change)
{
    const int year = _ui->_chgYearsListWidget->item(row)->text().toInt();
    _dataModel->setChange(_dataModel->rowOfYear(year), changeTypeId, change);
}

void ChangeDataWidget::warn(const QString& message)
{
    QMessageBox::warning(nullptr, QStringLiteral("Tarnhelm"), message, QMessageBox::Ok);
}

void ChangeDataWidget::modifySelYearsHandler(bool)
{
    if (!_currentTypeButton)
        return;
    const int typeId = changeTypeOf(_currentTypeButton);
    QString text;
    if (typeId == TARN::ChangeBaselineYear) {
        text = _ui->_baseYearComboBox->currentText();
    } else {
        text = qobject_cast<QLineEdit*>(editorOf(_currentTypeButton).editor)->text();
    }
    double change = 0.0;
    // A half-typed number ("-", "1e") is no value either: it must not turn into a change of 0.
    if (!TARN::parseFinite(text, change)) {
        warn(QStringLiteral("A change value must be specified"));
        return;
    }
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        warn(QStringLiteral("The change years must be selected"));
        return;
    }
    for (int row : rows)
        applyChange(row, typeId, change);
}

void ChangeDataWidget::resetSelYearsHandler(bool)
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        warn(QStringLiteral("The change years must be selected"));
        return;
    }
    for (int row : rows) {
        const int year = _ui->_chgYearsListWidget->item(row)->text().toInt();
        _dataModel->resetChange(_dataModel->rowOfYear(year));
    }
}

void ChangeDataWidget::pasteSelYearsHandler(bool)
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        warn(QStringLiteral("The change years must be selected"));
        return;
    }
    PasteMethodDlg dialog(rows.size(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QVector<double>& values = dialog.values();
    for (int i = 0; i < rows.size() && i < values.size(); ++i)
        applyChange(rows.at(i), dialog.changeTypeId(), values.at(i));
}

void ChangeDataWidget::primeInsertHandler(int, QSqlRecord& record)
{
    record.setValue(ChgDemandChgCol, _demandChgID);
}

TARN::okstat ChangeDataWidget::save()
{
    if (!_changeModel || !_demandChgModel)
        return {};
    QVector<ChangeDataRow> changed;
    for (const ChangeDataRow& row : _dataModel->rows()) {
        if (row.changeTypeId == ChangeDataRow::NoChange)
            continue;
        if (std::isnan(row.change))
            return QStringLiteral("The data for year %1 is incomplete.").arg(row.year);
        changed.append(row);
    }

    const int methodColumn = _kind == Depletion ? DepletionMethodCol : EfficiencyMethodCol;
    _demandChgModel->setData(_demandChgModel->index(_demandChgRow, methodColumn), method());

    // Only the rows of the years this widget shows are rewritten: a stored change for a year
    // outside the baseline's range (left there when the range shrank) is not shown, so it is not
    // the user's to drop. Rows are addressed in the model itself, where a removed row keeps its
    // place until the submit.
    QList<int> targets;
    for (int row = 0; row < _changeProxy->rowCount(); ++row) {
        const int year = _changeProxy->index(row, ChgYearCol).data().toInt();
        if (year >= _firstYear && year <= _lastYear)
            targets.append(_changeProxy->mapToSource(_changeProxy->index(row, 0)).row());
    }
    if (changed.size() > targets.size()) {
        const int first = _changeModel->rowCount();
        const int added = changed.size() - targets.size();
        if (!_changeModel->insertRows(first, added))
            return submitError();
        for (int i = 0; i < added; ++i)
            targets.append(first + i);
    } else {
        // From the last row back: a removed row that was never stored leaves the model at once.
        std::sort(targets.begin(), targets.end());
        while (targets.size() > changed.size())
            _changeModel->removeRows(targets.takeLast(), 1);
    }

    for (int i = 0; i < changed.size(); ++i) {
        const ChangeDataRow& row = changed.at(i);
        const int slot = targets.at(i);
        _changeModel->setData(_changeModel->index(slot, ChgDemandChgCol), _demandChgID);
        _changeModel->setData(_changeModel->index(slot, ChgYearCol), row.year);
        _changeModel->setData(_changeModel->index(slot, ChgTypeCol), row.changeTypeId);
        _changeModel->setData(_changeModel->index(slot, ChgValueCol), row.change);
    }
    if (!_changeModel->submitAll())
        return submitError();
    return {};
}

TARN::okstat ChangeDataWidget::submitError() const
{
    return QStringLiteral("Error submitting changes to the %1 table: %2")
        .arg(_changeModel->tableName(), _changeModel->lastError().text());
}

void ChangeDataWidget::revert()
{
    _changeProxy->revert();
    // The model's own revert does nothing under manual submit; its pending rows are this
    // widget's and go too.
    if (_changeModel)
        _changeModel->revertAll();
}

void ChangeDataWidget::setBaselineValues(const QHash<int, double>& values)
{
    _dataModel->setBaselineValues(values);
}
