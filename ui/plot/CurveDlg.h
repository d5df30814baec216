#pragma once

#include "db/Records.h"
#include "ui/common/TarnDlg.h"

class AttributeSelectionViewModel;
class QAbstractButton;
class WaterUserViewModel;

namespace Ui {
class CurveWidgets;
}

// Edits one curve of a plot: its name, data type and the water users whose values it sums,
// with the attribute filters they were chosen by. Writes inside the plot dialog's transaction.
class CurveDlg : public TarnDlg {
    Q_OBJECT

public:
    explicit CurveDlg(int plotCurveID, QWidget* parent = nullptr);
    ~CurveDlg() override;

    TARN::okstat applyChanges() override;

    int plotCurveID() const { return _plotCurveID; }
    const WaterUserList& waterUsers() const { return _waterUsers; }
    const AttrSelectionList& filters() const { return _filters; }
    void setSelection(const WaterUserList& waterUsers, const AttrSelectionList& filters);
    // 1 depletion, 2 diversion, 3 salinity.
    int checkedDataType() const;

    // A salinity curve sums pick-ups, which only add up when all sites use one unit kind.
    static bool sameSalinityUnits(const WaterUserList& waterUsers);

public slots:
    void dataTypeButtonGroupToggledHandler(QAbstractButton* button, bool checked);
    void selectWaterUsersHandler();

private:
    void load();
    TARN::okstat fail(const QString& message, const QString& title = QString());

    Ui::CurveWidgets* _ui;
    int _plotCurveID;
    TarnRelationalTableModel* _curveModel = nullptr;
    WaterUserList _waterUsers;
    AttrSelectionList _filters;
    WaterUserViewModel* _waterUserViewModel;
    AttributeSelectionViewModel* _filterViewModel;
};
