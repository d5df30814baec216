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

ModalScript::Step answer(QMessageBox::StandardButton button)
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
ModalScript::Step inDialog(std::function<void(Dialog*)> action)
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

WaterUser waterUserOfMethod(int id, int methodID)
{
    WaterUser waterUser;
    waterUser.WaterUserID = id;
    waterUser.aggDiv.salinityMethod = SalinityMethodInfo::fromId(methodID);
    return waterUser;
}

int count(const TestProject& project, const QString& sql)
{
    return project.scalar(sql).toInt();
}

} // namespace

class TestPlotDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup()
    {
        if (TarnDbMgr::instance()->database().isOpen())
            TarnDbMgr::instance()->database().rollback();
        resetDbManager();
    }

    void plotDialogLoadsPlot();
    void scenarioSelectionStored_data();
    void scenarioSelectionStored();
    void plotNeedsName();
    void applyCommitsAndContinuesInTransaction();
    void applyWithoutNextTransactionCloses();
    void failedScenarioInsertStoresNothing();
    void newCurveListedEvenWhenCancelled();
    void deleteCurveAsks_data();
    void deleteCurveAsks();
    void generateSavesPendingEdits();
    void curveDialogLoadsCurve();
    void appliedFiltersShowTheClickedValues_data();
    void appliedFiltersShowTheClickedValues();
    void salinityUnitRule_data();
    void salinityUnitRule();
    void curveNeedsName();
    void salinityNoteFollowsDataType();

    void tabAddPlot_data();
    void tabAddPlot();
    void tabEditCancelUndoesChanges();
    void tabDeletePlot_data();
    void tabDeletePlot();
    void tabGenerateOpensWindows();
};

void TestPlotDialogs::plotDialogLoadsPlot()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Plot"));
    QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Demand"));
    QCOMPARE(child<QPlainTextEdit>(&dialog, "_descriptionTextEdit")->toPlainText(),
        QStringLiteral("All demand"));
    auto* list = child<QListWidget>(&dialog, "_scenarioListWidget");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Baseline"));
    QVERIFY(list->item(0)->data(Qt::UserRole).isNull());
    QCOMPARE(list->item(1)->text(), QStringLiteral("Wet years"));
    QCOMPARE(list->item(2)->data(Qt::UserRole).toInt(), 2);
    QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(list->item(2)->checkState(), Qt::Checked);
    QVERIFY(list->item(1)->flags() & Qt::ItemIsUserCheckable);

    QStandardItemModel* curves = dialog.curveTableModel();
    QCOMPARE(curves->rowCount(), 1);
    QCOMPARE(curves->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Data Type"));
    QCOMPARE(curves->index(0, 0).data().toString(), QStringLiteral("Salt"));
    QCOMPARE(curves->index(0, 0).data(Qt::UserRole).toInt(), 1);
    QCOMPARE(curves->index(0, 1).data().toString(), QStringLiteral("Salinity"));
    QCOMPARE(curves->index(0, 2).data().toString(), QStringLiteral("2"));
}

void TestPlotDialogs::scenarioSelectionStored_data()
{
    QTest::addColumn<QList<int>>("checkedRows");
    QTest::addColumn<QString>("stored");

    QTest::newRow("none checked stores nothing") << QList<int> {} << QString();
    QTest::newRow("baseline only") << QList<int> { 0 } << QStringLiteral("NULL");
    QTest::newRow("two scenarios") << QList<int> { 1, 2 } << QStringLiteral("1,2");
    QTest::newRow("all") << QList<int> { 0, 1, 2 } << QStringLiteral("NULL,1,2");
}

void TestPlotDialogs::scenarioSelectionStored()
{
    QFETCH(QList<int>, checkedRows);
    QFETCH(QString, stored);

    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    auto* list = child<QListWidget>(&dialog, "_scenarioListWidget");
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setCheckState(checkedRows.contains(row) ? Qt::Checked : Qt::Unchecked);
    QVERIFY(dialog.applyChanges().isOk());
    QCOMPARE(project
                 .scalar(QStringLiteral(
                     "SELECT group_concat(COALESCE(ScenarioID, 'NULL')) FROM (SELECT ScenarioID "
                     "FROM PlotScenario WHERE PlotID = 1 ORDER BY ScenarioID)"))
                 .toString(),
        stored);
    // Reopened, the dialog shows what was stored.
    PlotDlg reopened(1);
    auto* again = child<QListWidget>(&reopened, "_scenarioListWidget");
    for (int row = 0; row < again->count(); ++row)
        QCOMPARE(again->item(row)->checkState() == Qt::Checked, checkedRows.contains(row));
}

void TestPlotDialogs::plotNeedsName()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    child<QLineEdit>(&dialog, "_nameLineEdit")->clear();
    ModalScript script({ answer(QMessageBox::Ok) });
    const TARN::okstat result = dialog.applyChanges();
    QCOMPARE(result.text(), QStringLiteral("The plot must have a name."));
    QCOMPARE(script.texts, QStringList { QStringLiteral("The plot must have a name.") });
    QCOMPARE(project.scalar(QStringLiteral("SELECT Name FROM Plot WHERE PlotID = 1")).toString(),
        QStringLiteral("Demand"));
}

void TestPlotDialogs::applyCommitsAndContinuesInTransaction()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    TarnDbMgr* mgr = TarnDbMgr::instance();
    QVERIFY(mgr->beginTransaction().isOk());

    PlotDlg dialog(1);
    child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Renamed"));
    child<QPlainTextEdit>(&dialog, "_descriptionTextEdit")->setPlainText(QStringLiteral("New"));
    child<QPushButton>(&dialog, "_applyButton")->click();
    // Committed: another connection sees it, and a rollback of the next transaction keeps it.
    QCOMPARE(
        project.scalar(QStringLiteral("SELECT Name || '/' || Description FROM Plot")).toString(),
        QStringLiteral("Renamed/New"));
    QVERIFY(mgr->database().rollback());
    QCOMPARE(project.scalar(QStringLiteral("SELECT Name FROM Plot")).toString(),
        QStringLiteral("Renamed"));
    QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Renamed"));
}

// When the transaction after Apply cannot begin, the dialog may not edit on without one.
void TestPlotDialogs::applyWithoutNextTransactionCloses()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    TarnDbMgr* mgr = TarnDbMgr::instance();
    QVERIFY(mgr->beginTransaction().isOk());

    PlotDlg dialog(1);
    dialog.show();
    child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Renamed"));
    // The warning; a question to cancel, should one come, is answered No.
    ModalScript script({ answer(QMessageBox::Ok), answer(QMessageBox::No) });
    {
        StatementRefusal refusal(mgr->database(), StatementRefusal::beginning());
        QVERIFY(refusal.isActive());
        child<QPushButton>(&dialog, "_applyButton")->click();
    }
    QVERIFY2(script.texts.value(0).startsWith(QStringLiteral("Cannot begin the transaction: ")),
        qPrintable(script.texts.value(0)));
    QCOMPARE(script.texts.size(), 1);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(project.scalar(QStringLiteral("SELECT Name FROM Plot")).toString(),
        QStringLiteral("Renamed"));
    QVERIFY(mgr->beginTransaction().isOk()); // none was left open
}

// A scenario row that cannot be added fails the save: storing the rest would silently drop
// the scenario from the plot.
void TestPlotDialogs::failedScenarioInsertStoresNothing()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    auto* list = child<QListWidget>(&dialog, "_scenarioListWidget");
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setCheckState(Qt::Checked);
    // The model drops the second new row as it is inserted, so that inserting it fails.
    TarnRelationalTableModel* model = TarnDbMgr::instance()->plotDAO()->plotScenarioModel();
    int inserted = 0;
    connect(model, &QAbstractItemModel::rowsInserted, &dialog,
        [model, &inserted](const QModelIndex&, int first, int) {
            if (++inserted == 2)
                model->removeRows(first, 1);
        });
    ModalScript script({ answer(QMessageBox::Ok) });
    const TARN::okstat result = dialog.applyChanges();
    QVERIFY(script.done());
    QVERIFY2(result.text().startsWith(QStringLiteral("Error saving scenario selection: ")),
        qPrintable(result.text()));
    QCOMPARE(inserted, 2);
    QVERIFY(!model->isDirty());
    // Nothing was committed: the file holds the selection as it was.
    QCOMPARE(project
                 .scalar(QStringLiteral(
                     "SELECT group_concat(COALESCE(ScenarioID, 'NULL')) FROM (SELECT ScenarioID "
                     "FROM PlotScenario WHERE PlotID = 1 ORDER BY ScenarioID)"))
                 .toString(),
        QStringLiteral("NULL,2"));
}

void TestPlotDialogs::newCurveListedEvenWhenCancelled()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    int openedCurve = 0;
    ModalScript script({ inDialog<CurveDlg>([&openedCurve](CurveDlg* curve) {
        openedCurve = curve->plotCurveID();
        child<QLineEdit>(curve, "_nameLineEdit")->setText(QStringLiteral("Not kept"));
        child<QPushButton>(curve, "_cancelButton")->click();
    }) });
    dialog.addCurveClicked();
    QVERIFY(script.done());
    QVERIFY(openedCurve > 1);

    QStandardItemModel* curves = dialog.curveTableModel();
    QCOMPARE(curves->rowCount(), 2);
    QCOMPARE(curves->index(1, 0).data(Qt::UserRole).toInt(), openedCurve);
    QCOMPARE(curves->index(1, 0).data().toString(), QString());
    QCOMPARE(curves->index(1, 1).data().toString(), QStringLiteral("Depletion"));
    QCOMPARE(curves->index(1, 2).data().toString(), QStringLiteral("0"));
}

void TestPlotDialogs::deleteCurveAsks_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("curvesLeft");
    QTest::newRow("yes deletes") << int(QMessageBox::Yes) << 0;
    QTest::newRow("no keeps") << int(QMessageBox::No) << 1;
}

void TestPlotDialogs::deleteCurveAsks()
{
    QFETCH(int, button);
    QFETCH(int, curvesLeft);

    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    auto* view = child<QTableView>(&dialog, "_curveTableView");
    view->setCurrentIndex(dialog.curveTableModel()->index(0, 0));
    ModalScript script({ answer(QMessageBox::StandardButton(button)) });
    dialog.deleteCurveClicked();
    QCOMPARE(script.texts,
        QStringList { QStringLiteral("Are you sure you want to delete this curve?") });
    QCOMPARE(dialog.curveTableModel()->rowCount(), curvesLeft);
    QSqlQuery query(TarnDbMgr::instance()->database());
    QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM PlotCurveWaterUser")) && query.next());
    QCOMPARE(query.value(0).toInt(), curvesLeft * 2);
}

void TestPlotDialogs::generateSavesPendingEdits()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    PlotDlg dialog(1);
    dialog.show();
    child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Shown"));
    auto* list = child<QListWidget>(&dialog, "_scenarioListWidget");
    list->item(2)->setCheckState(Qt::Unchecked);
    QPointer<ScenarioPlotDlg> window;
    connect(&dialog, &PlotDlg::plotWindowOpened, this,
        [&window](ScenarioPlotDlg* opened) { window = opened; });
    child<QPushButton>(&dialog, "_generateButton")->click();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Shown"));
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!window->isModal());
    QVERIFY(window->chart());
    // The drawing saved the definition first: committed, with the scenario unchecked.
    QCOMPARE(project.scalar(QStringLiteral("SELECT Name FROM Plot")).toString(),
        QStringLiteral("Shown"));
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM PlotScenario")), 1);
    window->close();
    QTRY_VERIFY(window.isNull());
}

void TestPlotDialogs::curveDialogLoadsCurve()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());

    CurveDlg dialog(1);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Curve"));
    QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Salt"));
    QVERIFY(child<QRadioButton>(&dialog, "_salinityRadioButton")->isChecked());
    QCOMPARE(dialog.checkedDataType(), 3);
    QCOMPARE(dialog.waterUsers().size(), 2);
    auto* view = child<QTableView>(&dialog, "_waterUserTableView");
    int shown = 0;
    for (int column = 0; column < view->model()->columnCount(); ++column)
        shown += view->isColumnHidden(column) ? 0 : 1;
    QCOMPARE(shown, 1);
    QCOMPARE(dialog.filters().size(), 1);
    QCOMPARE(dialog.filters().first().AttrVal, QStringLiteral("Irrigation"));
    QCOMPARE(child<QTableView>(&dialog, "_filtersTableView")->model()->rowCount(), 1);
}

void TestPlotDialogs::appliedFiltersShowTheClickedValues_data()
{
    QTest::addColumn<int>("modifier");
    QTest::newRow("click") << int(Qt::NoModifier);
    QTest::newRow("ctrl-click") << int(Qt::ControlModifier);
}

// What the planner clicked in the selector's filter values is what "Applied Filters" lists.
void TestPlotDialogs::appliedFiltersShowTheClickedValues()
{
    QFETCH(int, modifier);
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());
    CurveDlg dialog(1);
    dialog.show();
    ModalScript script({ inDialog<WaterUserSelectorDlg>([modifier](WaterUserSelectorDlg* selector) {
        auto* panel = child<AttrFilterWidget>(selector, "_watUsrFiltWidget");
        auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
        auto* values = child<QTableWidget>(panel, "_attrTableWidget");
        QTest::mouseClick(attrs->viewport(), Qt::LeftButton, {},
            attrs->visualItemRect(attrs->item(0, 0)).center());
        QTest::mouseClick(values->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifier),
            values
                ->visualItemRect(
                    values->findItems(QStringLiteral("Unassigned"), Qt::MatchExactly).value(0))
                .center());
        child<QPushButton>(selector, "_okButton")->click();
    }) });
    child<QPushButton>(&dialog, "_selectWaterUsersButton")->click();
    QVERIFY(script.done());
    const QAbstractItemModel* applied = child<QTableView>(&dialog, "_filtersTableView")->model();
    QCOMPARE(applied->rowCount(), 1);
    QCOMPARE(applied->index(0, 1).data().toString(), QStringLiteral("Use"));
    QCOMPARE(applied->index(0, 2).data().toString(), QStringLiteral("Irrigation"));
}

void TestPlotDialogs::salinityUnitRule_data()
{
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("methodA");
    QTest::addColumn<int>("methodB");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("mass and concentration refused") << 3 << 1 << 3 << false;
    QTest::newRow("two mass methods accepted") << 3 << 1 << 4 << true;
    QTest::newRow("two concentration methods accepted") << 3 << 2 << 3 << true;
    QTest::newRow("concentration and mass refused") << 3 << 2 << 4 << false;
    QTest::newRow("depletion ignores units") << 1 << 1 << 3 << true;
}

void TestPlotDialogs::salinityUnitRule()
{
    QFETCH(int, dataType);
    QFETCH(int, methodA);
    QFETCH(int, methodB);
    QFETCH(bool, accepted);

    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());

    CurveDlg dialog(1);
    const char* buttons[]
        = { nullptr, "_depletionRadioButton", "_diversionRadioButton", "_salinityRadioButton" };
    child<QRadioButton>(&dialog, buttons[dataType])->setChecked(true);
    dialog.setSelection({ waterUserOfMethod(1, methodA), waterUserOfMethod(2, methodB) }, {});
    ModalScript script({ answer(QMessageBox::Ok) });
    const TARN::okstat result = dialog.applyChanges();
    QCOMPARE(result.isOk(), accepted);
    if (!accepted) {
        QCOMPARE(result.text(),
            QStringLiteral("All selected water users must use the same salinity units."));
        // Nothing of the refused curve was written.
        QCOMPARE(count(project,
                     QStringLiteral("SELECT COUNT(*) FROM PlotCurveWaterUser WHERE "
                                    "PlotCurveID = 1 AND WaterUserID = 2")),
            0);
        return;
    }
    QCOMPARE(count(project,
                 QStringLiteral("SELECT CurveDataTypeID FROM PlotCurve WHERE "
                                "PlotCurveID = 1")),
        dataType);
    QCOMPARE(project
                 .scalar(QStringLiteral("SELECT group_concat(WaterUserID) FROM (SELECT "
                                        "WaterUserID FROM PlotCurveWaterUser WHERE PlotCurveID "
                                        "= 1 ORDER BY WaterUserID)"))
                 .toString(),
        QStringLiteral("1,2"));
    // The filters were replaced by the (empty) selection too.
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM PlotCurveFilter")), 0);
}

void TestPlotDialogs::curveNeedsName()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.openInManager().isOk());

    CurveDlg dialog(1);
    child<QLineEdit>(&dialog, "_nameLineEdit")->clear();
    ModalScript script({ answer(QMessageBox::Ok) });
    QCOMPARE(dialog.applyChanges().text(), QStringLiteral("The curve must have a name."));
    QCOMPARE(project.scalar(QStringLiteral("SELECT Name FROM PlotCurve")).toString(),
        QStringLiteral("Salt"));
}

void TestPlotDialogs::salinityNoteFollowsDataType()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    QVERIFY(project.exec(QStringLiteral("UPDATE PlotCurve SET CurveDataTypeID = 2")).isOk());
    QVERIFY(project.openInManager().isOk());

    CurveDlg dialog(1);
    dialog.show();
    auto* note = child<QLabel>(&dialog, "_salinityUnitsLabel");
    QVERIFY(child<QRadioButton>(&dialog, "_diversionRadioButton")->isChecked());
    QVERIFY(!note->isVisible());
    child<QRadioButton>(&dialog, "_salinityRadioButton")->click();
    QVERIFY(note->isVisible());
    child<QRadioButton>(&dialog, "_depletionRadioButton")->click();
    QVERIFY(!note->isVisible());
}

void TestPlotDialogs::tabAddPlot_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted is listed") << true;
    QTest::newRow("cancelled is rolled back") << false;
}

void TestPlotDialogs::tabAddPlot()
{
    QFETCH(bool, accept);

    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    TARNMainWindow window;
    QVERIFY(window.connectToDatabase(project.path()));
    auto* view = child<QTableView>(&window, "_plotTableView");
    QCOMPARE(view->model()->rowCount(), 1);

    QList<ModalScript::Step> steps { inDialog<PlotDlg>([accept](PlotDlg* dialog) {
        QCOMPARE(child<QLineEdit>(dialog, "_nameLineEdit")->text(), QString());
        child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Fresh"));
        child<QPushButton>(dialog, accept ? "_okButton" : "_cancelButton")->click();
    }) };
    if (!accept)
        steps << answer(QMessageBox::Yes);
    ModalScript script(steps);
    child<QPushButton>(&window, "_addPlotButton")->click();
    QVERIFY(script.done());

    const int expected = accept ? 2 : 1;
    QCOMPARE(view->model()->rowCount(), expected);
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM Plot")), expected);
    if (accept)
        QCOMPARE(view->model()->index(1, 1).data().toString(), QStringLiteral("Fresh"));
    // No transaction is left open either way.
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    QVERIFY(TarnDbMgr::instance()->database().rollback());
}

void TestPlotDialogs::tabEditCancelUndoesChanges()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    TARNMainWindow window;
    QVERIFY(window.connectToDatabase(project.path()));
    auto* view = child<QTableView>(&window, "_plotTableView");
    view->selectRow(0);
    QVERIFY(child<QPushButton>(&window, "_editPlotButton")->isEnabled());

    ModalScript script(
        { inDialog<PlotDlg>([](PlotDlg* dialog) {
             child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Changed"));
             dialog->addCurveClicked();
             // A failed apply leaves its submitted rows in the transaction.
             child<QListWidget>(dialog, "_scenarioListWidget")->item(1)->setCheckState(Qt::Checked);
             child<QPushButton>(dialog, "_cancelButton")->click();
         }),
            inDialog<CurveDlg>([](CurveDlg* curve) {
                child<QLineEdit>(curve, "_nameLineEdit")->setText(QStringLiteral("Kept?"));
                child<QPushButton>(curve, "_okButton")->click();
            }),
            answer(QMessageBox::Yes) });
    window.editPlotClicked();
    QVERIFY(script.done());

    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM PlotCurve")), 1);
    QCOMPARE(project.scalar(QStringLiteral("SELECT Name FROM Plot")).toString(),
        QStringLiteral("Demand"));
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM PlotScenario")), 2);
    QCOMPARE(view->model()->index(0, 1).data().toString(), QStringLiteral("Demand"));
}

void TestPlotDialogs::tabDeletePlot_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("plotsLeft");
    QTest::newRow("yes") << int(QMessageBox::Yes) << 0;
    QTest::newRow("no") << int(QMessageBox::No) << 1;
}

void TestPlotDialogs::tabDeletePlot()
{
    QFETCH(int, button);
    QFETCH(int, plotsLeft);

    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    TARNMainWindow window;
    QVERIFY(window.connectToDatabase(project.path()));
    auto* view = child<QTableView>(&window, "_plotTableView");
    view->selectRow(0);
    ModalScript script({ answer(QMessageBox::StandardButton(button)) });
    child<QPushButton>(&window, "_deletePlotButton")->click();
    QCOMPARE(
        script.texts, QStringList { QStringLiteral("Are you sure you want to delete this plot?") });
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM Plot")), plotsLeft);
    // The plot's curves go with it.
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM PlotCurve")), plotsLeft);
    QCOMPARE(view->model()->rowCount(), plotsLeft);
    if (plotsLeft == 0) {
        for (const char* name : { "_editPlotButton", "_deletePlotButton", "_generatePlotButton" })
            QVERIFY(!child<QPushButton>(&window, name)->isEnabled());
    }
}

void TestPlotDialogs::tabGenerateOpensWindows()
{
    TestProject project;
    QVERIFY(project.exec(QString::fromLatin1(PlotProject)).isOk());
    TARNMainWindow window;
    QVERIFY(window.connectToDatabase(project.path()));
    auto* view = child<QTableView>(&window, "_plotTableView");
    auto* generate = child<QPushButton>(&window, "_generatePlotButton");
    QVERIFY(!generate->isEnabled());
    view->selectRow(0);
    QVERIFY(generate->isEnabled());

    generate->click();
    generate->click();
    const QList<ScenarioPlotDlg*> windows = window.findChildren<ScenarioPlotDlg*>();
    QCOMPARE(windows.size(), 2);
    for (ScenarioPlotDlg* plot : windows) {
        QCOMPARE(plot->windowTitle(), QStringLiteral("Demand"));
        QCOMPARE(plot->plotID(), 1);
        QVERIFY(plot->isVisible());
        QVERIFY(plot->chart());
    }
    windows.first()->close();
    QTRY_COMPARE(window.findChildren<ScenarioPlotDlg*>().size(), 1);

    view->clearSelection();
    QVERIFY(!generate->isEnabled());
}

QTEST_MAIN(TestPlotDialogs)
#include "tst_plotdialogs.moc"
