#pragma once

#include "db/Records.h"
#include "ui/common/TarnDlg.h"

#include <QList>
#include <QVector>

class MonthlyCoefficientLineEdit;
class QDataWidgetMapper;
class TarnRelationalTableModel;
class WaterUserAttrViewModel;
class WaterUserDataTableView;
class WaterUserDataViewModel;

namespace Ui {
class WaterUserWidgets;
}

// Creates or edits one water user: names, notes, its site (SiteFilterPanel), its attribute values,
// the twelve monthly distribution coefficients and the yearly input data. Works inside the opener's
// transaction: a new water user's rows are written as soon as the dialog opens, everything else on
// Apply, and the opener commits or rolls back.
class WaterUserDlg : public TarnDlg {
    Q_OBJECT

public:
    // Each id -1 when not given: a water user id of -1 creates a new water user, a site id of -1
    // means the first site, a scenario id of -1 a baseline water user.
    WaterUserDlg(
        QWidget* parent = nullptr, int waterUserID = -1, int aggDivID = -1, int scenarioID = -1);
    ~WaterUserDlg() override;

    TARN::okstat applyChanges() override;
    virtual void revertChanges();

    int waterUserID() const { return _waterUserID; }
    int aggDivID() const { return _aggDivID; }
    bool isNewWaterUser() const { return _isNewWaterUser; }
    WaterUserDataViewModel* dataModel() const { return _dataModel; }
    WaterUserDataTableView* dataTableView() const { return _dataTableView; }
    const QList<MonthlyCoefficientLineEdit*>& coefficientEditors() const { return _coeffEditors; }
    // Whether the dialog holds edits of inputs of the calculation that Apply has not saved: the
    // yearly table, the coefficients, the site.
    bool hasUnsavedEdits() const;

signals:
    void waterUserEdited(int aggDivID, int waterUserID, QString waterUserName);
    void waterUserEditCanceled(int aggDivID, int waterUserID);

public slots:
    double sumCoefficients();
    void okClicked() override;
    void selectWaterUserClicked();
    void generatePlot();
    void copyWaterUserData(int waterUserID);
    // Opens the explanation of the value at a cell of the yearly table (the year column stands
    // for the depletion).
    void explainValue(const QModelIndex& index);
    void reject() override;

private:
    void createWaterUser();
    // Shows why a save failed and returns it; when the failure ended the opener's transaction,
    // the dialog closes without writing more.
    TARN::okstat saveFailed(const QString& error);
    void bindWaterUserRow();
    void loadWaterUserData();
    void loadWaterUserAttrs();
    int waterUserRow() const;
    // Undoes a copy from another water user, removes a new water user's row again, and drops
    // the pending edits of the shared models.
    void discardEdits();
    // Asks before Cancel throws away what an Apply stored for a new water user, or edits not
    // applied yet; true to go on.
    bool confirmCancel();
    bool attributesEdited() const;
    bool namesEdited() const;
    // The attribute values as the file holds them, for attributesEdited().
    void keepStoredAttributes();
    // The copy from another water user writes at once, inside a savepoint that Cancel rolls
    // back to and a successful save releases.
    bool beginCopySavepoint();
    // The database's error text when the undo failed, else empty.
    QString endCopySavepoint(bool undo);

    Ui::WaterUserWidgets* _ui;
    int _waterUserID;
    int _aggDivID;
    int _scenarioID;
    bool _isNewWaterUser = false;
    // An Apply has stored the water user's data.
    bool _applied = false;
    QList<int> _storedAttrValues;
    bool _copySavepoint = false;
    WaterUserDataTableView* _dataTableView;
    WaterUserDataViewModel* _dataModel;
    WaterUserAttrViewModel* _attrModel;
    QList<MonthlyCoefficientLineEdit*> _coeffEditors;
    QDataWidgetMapper* _waterUserMapper;
    QDataWidgetMapper* _distMapper;
};
