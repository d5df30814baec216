#include "PlotDialogsFixture.h"

class TestPlotDialogsPlots : public PlotDialogsFixture {
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
};

void TestPlotDialogsPlots::plotDialogLoadsPlot()
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

void TestPlotDialogsPlots::scenarioSelectionStored_data()
{
    QTest::addColumn<QList<int>>("checkedRows");
    QTest::addColumn<QString>("stored");

    QTest::newRow("none checked stores nothing") << QList<int> {} << QString();
    QTest::newRow("baseline only") << QList<int> { 0 } << QStringLiteral("NULL");
    QTest::newRow("two scenarios") << QList<int> { 1, 2 } << QStringLiteral("1,2");
    QTest::newRow("all") << QList<int> { 0, 1, 2 } << QStringLiteral("NULL,1,2");
}

void TestPlotDialogsPlots::scenarioSelectionStored()
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

void TestPlotDialogsPlots::plotNeedsName()
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

void TestPlotDialogsPlots::applyCommitsAndContinuesInTransaction()
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
void TestPlotDialogsPlots::applyWithoutNextTransactionCloses()
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
void TestPlotDialogsPlots::failedScenarioInsertStoresNothing()
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

void TestPlotDialogsPlots::newCurveListedEvenWhenCancelled()
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

void TestPlotDialogsPlots::deleteCurveAsks_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("curvesLeft");
    QTest::newRow("yes deletes") << int(QMessageBox::Yes) << 0;
    QTest::newRow("no keeps") << int(QMessageBox::No) << 1;
}

void TestPlotDialogsPlots::deleteCurveAsks()
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

void TestPlotDialogsPlots::generateSavesPendingEdits()
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

QTEST_MAIN(TestPlotDialogsPlots)
#include "tst_plotdialogs_plots.moc"
