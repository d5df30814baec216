#pragma once

#include "support/ModalDriver.h"
#include "support/StatementRefusal.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/PlotDlg.h"
#include "ui/plot/ScenarioPlotDlg.h"
#include "ui/scenario/AttrFilterWidget.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Sites 1 (mass method 1), 2 (concentration method 3), 3 (mass method 4); one water user each;
// two scenarios; plot 1 "Demand" draws the baseline and scenario 2 and has one curve.
const char* const PlotProject = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 1, 'North', 'North Canal', 1), (2, 3, 'East', 'East Canal', 2),
    (3, 4, 'Dry', 'Dry Wash', 3);
INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, 'Upper', 'Upper Ditch', 1), (2, 2, 'East User', 'East User', 1),
    (3, 3, 'Dry User', 'Dry User', 1);
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES
    (1, 'Wet years', 'Wet'), (2, 'Dry years', 'Dry');
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES (11, 1, 'Unassigned'),
    (12, 1, 'Irrigation');
INSERT INTO Plot (PlotID, Name, Description) VALUES (1, 'Demand', 'All demand');
INSERT INTO PlotScenario (PlotID, ScenarioID) VALUES (1, NULL), (1, 2);
INSERT INTO PlotCurve (PlotCurveID, PlotID, Name, CurveDataTypeID) VALUES (1, 1, 'Salt', 3);
INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID) VALUES (1, 1), (1, 3);
INSERT INTO PlotCurveFilter (PlotCurveID, AttrID, AttrValidValID) VALUES (1, 1, 12);
)";

// Works through modal windows as they come up: each step gets the active modal widget and
// returns true when it handled it. Message box texts are recorded.
class ModalScript : public QObject {
public:
    using Step = std::function<bool(QWidget*)>;

    explicit ModalScript(QList<Step> steps)
        : _steps(std::move(steps))
    {
        connect(&_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || _steps.isEmpty() || modal == _handled)
                return;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                texts << box->text();
            if (_steps.first()(modal)) {
                _handled = modal;
                _steps.removeFirst();
            }
        });
        _timer.start(10);
    }
    bool done() const { return _steps.isEmpty(); }
    QStringList texts;

private:
    QList<Step> _steps;
    QTimer _timer;
    QPointer<QWidget> _handled;
};

inline ModalScript::Step answer(QMessageBox::StandardButton button)
{
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return false;
        QTimer::singleShot(0, box, [box, button] { box->button(button)->click(); });
        return true;
    };
}

template<typename Dialog>
inline ModalScript::Step inDialog(std::function<void(Dialog*)> action)
{
    return [action](QWidget* modal) {
        auto* dialog = qobject_cast<Dialog*>(modal);
        if (!dialog)
            return false;
        // Run outside the polling timer: a timer does not fire again while its own handler
        // waits in the nested event loop of a window the action opens.
        QTimer::singleShot(0, dialog, [action, dialog] { action(dialog); });
        return true;
    };
}

inline WaterUser waterUserOfMethod(int id, int methodID)
{
    WaterUser waterUser;
    waterUser.WaterUserID = id;
    waterUser.aggDiv.salinityMethod = SalinityMethodInfo::fromId(methodID);
    return waterUser;
}

inline int count(const TestProject& project, const QString& sql)
{
    return project.scalar(sql).toInt();
}

} // namespace

// What the tst_plotdialogs_* tests share: the project they work on and their helpers.
class PlotDialogsFixture : public QObject {
protected:
};
