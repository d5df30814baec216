#pragma once

#include "db/Records.h"
#include "ui/common/TarnDlg.h"

#include <QVariant>

class AttributeSelectionViewModel;
class QDataWidgetMapper;
class TarnRelationalTableModel;
class WaterUserViewModel;

namespace Ui {
class ChangeSpecWidgets;
}

// Edits one demand change of a scenario: name, description, the yearly depletion and
// efficiency changes and the water users the change applies to, with the attribute filters that
// chose them. Writes into the scenario dialog's open transaction and never commits; every water
// user the change affects is reported through waterUserEdited so that the scenario dialog
// recalculates it after its own commit.
class ChangeSpecDlg : public TarnDlg {
    Q_OBJECT

public:
    explicit ChangeSpecDlg(QWidget* parent = nullptr);
    ~ChangeSpecDlg() override;

    // row: the demand change's row in the demand change model.
    void load(int row, int demandChgID);

    TARN::okstat applyChanges() override;
    virtual void revertChanges();

    const WaterUserList& waterUsers() const { return _waterUserList; }
    const AttrSelectionList& filters() const { return _filterList; }

signals:
    void waterUserEdited(int aggDivID, int waterUserID, QString waterUserName);

public slots:
    void selectWatUsrHandler();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Puts the water user list (and the filter list) on its view, as loaded or as chosen.
    void bindViews(bool filters);
    void showWaterUsers();
    void showFilters();
    void refreshBaselineValues();
    // Says when the efficiency method would interpolate but the depletion method keeps the
    // calculation from doing so.
    void showMethodNote();
    void revertEdits();
    QModelIndex usesFiltersIndex() const;

    Ui::ChangeSpecWidgets* _ui;
    int _row = -1;
    int _demandChgID = -1;
    TarnRelationalTableModel* _demandChgModel = nullptr;
    QDataWidgetMapper* _mapper;
    WaterUserViewModel* _waterUserModel;
    AttributeSelectionViewModel* _filterModel;
    WaterUserList _waterUserList;
    AttrSelectionList _filterList;
    // The water users the change selected when it was last written: they need recalculating
    // too when the new list leaves them out.
    WaterUserList _writtenWaterUsers;
    // The filter flag as last written, for a cancel to put back.
    QVariant _writtenUsesFilters;
    // False while the change's water users (and so its filters) are not known: a load that
    // failed must not lead a save to replace the stored lists by empty ones. A new choice in the
    // water user selector makes them known.
    bool _waterUsersKnown = false;
    bool _filtersKnown = false;
};
