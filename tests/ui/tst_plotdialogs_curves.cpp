#include "PlotDialogsFixture.h"

class TestPlotDialogsCurves : public PlotDialogsFixture {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup()
    {
        if (TarnDbMgr::instance()->database().isOpen())
            TarnDbMgr::instance()->database().rollback();
        resetDbManager();
    }
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

void TestPlotDialogsCurves::curveDialogLoadsCurve()
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

void TestPlotDialogsCurves::appliedFiltersShowTheClickedValues_data()
{
    QTest::addColumn<int>("modifier");
    QTest::newRow("click") << int(Qt::NoModifier);
    QTest::newRow("ctrl-click") << int(Qt::ControlModifier);
}

// What the planner clicked in the selector's filter values is what "Applied Filters" lists.
void TestPlotDialogsCurves::appliedFiltersShowTheClickedValues()
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

void TestPlotDialogsCurves::salinityUnitRule_data()
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

void TestPlotDialogsCurves::salinityUnitRule()
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

void TestPlotDialogsCurves::curveNeedsName()
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

void TestPlotDialogsCurves::salinityNoteFollowsDataType()
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

void TestPlotDialogsCurves::tabAddPlot_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted is listed") << true;
    QTest::newRow("cancelled is rolled back") << false;
}

void TestPlotDialogsCurves::tabAddPlot()
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

void TestPlotDialogsCurves::tabEditCancelUndoesChanges()
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

void TestPlotDialogsCurves::tabDeletePlot_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("plotsLeft");
    QTest::newRow("yes") << int(QMessageBox::Yes) << 0;
    QTest::newRow("no") << int(QMessageBox::No) << 1;
}

void TestPlotDialogsCurves::tabDeletePlot()
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

void TestPlotDialogsCurves::tabGenerateOpensWindows()
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

QTEST_MAIN(TestPlotDialogsCurves)
#include "tst_plotdialogs_curves.moc"
