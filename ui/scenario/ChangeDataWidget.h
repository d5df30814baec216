#pragma once

#include "db/okstat.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QWidget>

class ChangeDataModel;
class QAbstractButton;
class QLabel;
class QSortFilterProxyModel;
class QSqlRecord;
class TarnRelationalTableModel;

namespace Ui {
class ChangeDataWidget;
}

// Edits the yearly changes of one quantity of one demand change: the depletion request or the
// efficiency ratio. The planner picks a change type and value and applies it to the selected
// years (or pastes one value per year); the rows are written into the shared change table model
// only on save, inside the scenario dialog's transaction.
class ChangeDataWidget : public QWidget {
    Q_OBJECT

public:
    enum Kind { Depletion = 0, Efficiency = 1 };

    explicit ChangeDataWidget(QWidget* parent = nullptr);
    ~ChangeDataWidget() override;

    // Reads the stored changes of the demand change at row demandChgRow of the demand change
    // model. Always succeeds; without a readable baseline the widget stays empty.
    TARN::okstat setup(int kind, int demandChgRow, int demandChgID);
    // Writes the rows and the calculation method into the models; nothing is committed.
    TARN::okstat save();
    void revert();
    // year -> the specified water users' baseline value.
    void setBaselineValues(const QHash<int, double>& values);

    int kind() const { return _kind; }
    // The calculation method chosen (TARN::CalcBaselinePlusChanges or CalcInterpolateChanges).
    int method() const;
    ChangeDataModel* dataModel() const { return _dataModel; }

signals:
    // The planner chose the other calculation method (or setup showed the stored one).
    void methodChanged();

public slots:
    void chgTypeBtnHandler(QAbstractButton* button);
    void chgYearsBtnHandler(QAbstractButton* button, bool checked);
    void chgYearsSelChgHandler();
    void modifySelYearsHandler(bool checked = false);
    void resetSelYearsHandler(bool checked = false);
    void pasteSelYearsHandler(bool checked = false);
    void primeInsertHandler(int row, QSqlRecord& record);

private:
    struct Editor {
        QWidget* editor = nullptr;
        QLabel* label = nullptr;
    };

    Editor editorOf(QAbstractButton* button) const;
    static int changeTypeOf(const QAbstractButton* button);
    // Rows of the selected years, in year order.
    QList<int> selectedRows() const;
    void applyChange(int row, int changeTypeId, double change);
    // "Error submitting changes to the <table> table: <error>" for the change table model.
    TARN::okstat submitError() const;
    static void warn(const QString& message);

    Ui::ChangeDataWidget* _ui;
    int _kind = Depletion;
    int _demandChgRow = -1;
    int _demandChgID = -1;
    int _firstYear = 0;
    int _lastYear = -1;
    QMap<int, QString> _typeNames;
    TarnRelationalTableModel* _changeModel = nullptr;
    TarnRelationalTableModel* _demandChgModel = nullptr;
    QSortFilterProxyModel* _changeProxy;
    ChangeDataModel* _dataModel;
    QAbstractButton* _currentTypeButton = nullptr;
};
