#pragma once

#include "db/Records.h"
#include "ui/common/TarnDlg.h"

#include <QList>

class AggDivAttrViewModel;
class BaselineChangeLog;
class QDataWidgetMapper;

namespace Ui {
class AggDivWidgets;
}

// Edits one aggregate diversion site: names, salinity method, notes and attribute values. The
// fields write into the site's row of the shared site table model; a new site's row is created
// (with placeholder names) as soon as the dialog opens, inside the caller's transaction.
class AggDivDlg : public TarnDlg {
    Q_OBJECT

public:
    // adID -1 creates a new site.
    AggDivDlg(int adID, BaselineChangeLog* changeLog, QWidget* parent = nullptr);
    ~AggDivDlg() override;

    TARN::okstat applyChanges() override;
    int aggDivID() const { return _aggDivID; }
    bool isNewAggDiv() const { return _newAggDiv; }

    // Removes a new site's row again.
    void revert();

signals:
    void aggDivEdited(int adID, QString adName);
    void aggDivEditCanceled(int adID);

public slots:
    void reject() override;

private:
    void createNewSite();
    void mapSiteRow();
    void loadAttributes();
    void installValueDelegate();
    int siteRow() const;
    // The opener's transaction ended with a failed write: says so and closes without writing.
    TARN::okstat abandon(const QString& error);

    Ui::AggDivWidgets* _ui;
    int _aggDivID;
    bool _newAggDiv = false;
    // An Apply has stored the site.
    bool _applied = false;
    QList<AggDivAttr> _attrs;
    BaselineChangeLog* _changeLog;
    AggDivAttrViewModel* _attrModel;
    QDataWidgetMapper* _mapper;
};
