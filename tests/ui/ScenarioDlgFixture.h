#pragma once

#include "support/CalcTestSupport.h"
#include "support/ModalDriver.h"
#include "support/StatementRefusal.h"
#include "support/TestProject.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/scenario/ChangeDataModel.h"
#include "ui/scenario/ChangeDataWidget.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

namespace {

// Scenario 1 ("Dry") has the changes 1 (water users 1, 2, 3, +50 % depletion) and 3, and the
// water user Echo of its own; scenario 11 has change 2 and the water user Foxtrot. In 2001 the
// three water users of change 1 have different efficiencies. Change 1 was chosen by filters.
const char* const Project = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 1, 'North Canal', 'NC', 0), (2, 1, 'South Ditch', 'SD', 1);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), (2, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (12, 1, 'Upper'), (21, 2, 'Unassigned'), (22, 2, 'Irrigation');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 12), (1, 2, 11);
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES
    (1, 'Dry', 'D'), (11, 'Eleven', 'E');
INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, NULL, 'Alpha', 'A', 0), (2, 1, NULL, 'Bravo', 'B', 1),
    (3, 2, NULL, 'Charlie', 'C', 0), (4, 2, NULL, 'Delta', 'D', 1),
    (5, 2, 1, 'Echo', 'E', 2), (6, 1, 11, 'Foxtrot', 'F', 2);
INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES
    (2, 1, 22), (2, 2, 21), (2, 3, 22), (2, 4, 21);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    SELECT WaterUserID, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5 FROM WaterUser;
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES
    (1, 2000, 80, 40, 0.5, 1), (1, 2001, 80, 40, 0.5, 1), (1, 2002, 80, 40, 0.5, 1),
    (2, 2000, 40, 20, 0.5, 1), (2, 2001, 50, 20, 0.4, 1), (2, 2002, 40, 20, 0.5, 1),
    (3, 2000, 60, 30, 0.5, 1), (3, 2001, 60, 30, 0.5, 1), (3, 2002, 60, 30, 0.5, 1),
    (4, 2000, 20, 10, 0.5, 1), (4, 2001, 20, 10, 0.5, 1), (4, 2002, 20, 10, 0.5, 1),
    (5, 2000, 20, 10, 0.5, 1), (5, 2001, 20, 10, 0.5, 1), (5, 2002, 20, 10, 0.5, 1),
    (6, 2000, 20, 10, 0.5, 1), (6, 2001, 20, 10, 0.5, 1), (6, 2002, 20, 10, 0.5, 1);
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, CreatedDate,
    DepletionCalcMethodID, EfficiencyCalcMethodID, UsesFilters) VALUES
    (1, 1, 'Cut', '2020-01-01', 1, 1, 1), (2, 11, 'Other', '2020-01-01', 1, 1, 0),
    (3, 1, 'Second', '2020-01-02', 1, 1, 0);
INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), (1, 2), (1, 3), (2, 4);
INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES
    (1, 2000, 1, 50), (1, 2001, 1, 50), (1, 2002, 1, 50);
)";

inline TARN::okstat runFullCalculation(DemandCalculator& calculator)
{
    BaselineChangeLog log;
    log.setFullRecalculation();
    return runCalculator(calculator, log).result;
}

inline QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

// True when the manager's connection was inside a transaction (which this ends).
inline bool endOpenTransaction()
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(QStringLiteral("ROLLBACK"));
}

// Years in which a water user's stored scenario depletion is not its baseline depletion times
// factor.
inline int yearsOff(int scenarioID, int waterUserID, double factor)
{
    return scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser b JOIN "
                                 "ScenarioYearlyWaterUser s ON s.WaterUserID = b.WaterUserID AND "
                                 "s.Year = b.Year WHERE s.ScenarioID = %1 AND b.WaterUserID = %2 "
                                 "AND ABS(s.DepletionValue - b.DepletionValue * %3) > 1e-6")
                      .arg(scenarioID)
                      .arg(waterUserID)
                      .arg(factor))
        .toInt();
}

inline int resultYears(int scenarioID, int waterUserID)
{
    return scalar(QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyWaterUser WHERE ScenarioID = "
                                 "%1 AND WaterUserID = %2")
                      .arg(scenarioID)
                      .arg(waterUserID))
        .toInt();
}

inline void selectRowWhere(QTableView* view, int column, const QVariant& value)
{
    QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, column).data() == value) {
            view->setCurrentIndex(model->index(row, column));
            return;
        }
    }
    qFatal("no row with that value");
}

inline QList<int> waterUserIds(const WaterUserList& users)
{
    QList<int> ids;
    for (const WaterUser& user : users)
        ids << user.WaterUserID;
    return ids;
}

} // namespace

// What the tst_scenariodlg_* tests share: the project they work on and their helpers.
class ScenarioDlgFixture : public QObject {
protected:
    std::unique_ptr<TestProject> _project;

    // The project with baseline results and scenario 1 calculated.
    void openProject()
    {
        _project = std::make_unique<TestProject>(2000, 2002);
        QVERIFY(_project->exec(QString::fromUtf8(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
        BaselineDemandCalculator baseline;
        QVERIFY2(runFullCalculation(baseline).isOk(), "baseline calculation");
        ScenarioDemandCalculator dry(1, QStringLiteral("Dry"));
        QVERIFY2(runFullCalculation(dry).isOk(), "scenario calculation");
        QCOMPARE(yearsOff(1, 1, 1.5), 0);
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }
};
