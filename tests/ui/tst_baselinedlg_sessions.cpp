#include "BaselineDlgFixture.h"

class TestBaselineDlgSessions : public BaselineDlgFixture {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<CalcStatusInfo>();
        qRegisterMetaType<TARN::okstat>();
    }
    void init()
    {
        _project = std::make_unique<TestProject>();
        QVERIFY(_project->exec(QString::fromLatin1(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }
    void cleanup()
    {
        endOpenTransaction();
        _project.reset();
        resetDbManager();
    }

    void timeRangeChangeRecalculatesEverything()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        driver.expect<QDialog>([](QDialog* range) {
            child<QSpinBox>(range, "_endYearSpinBox")->setValue(2011);
            child<QPushButton>(range, "_okButton")->click();
        });
        dialog.editTimeRangeClicked();
        QVERIFY(driver.done());
        QCOMPARE(child<QLineEdit>(&dialog, "_endYearLineEdit")->text(), QStringLiteral("2011"));
        QVERIFY(dialog.changeLog().fullRecalculation());

        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        // Every site of the baseline and of both scenarios.
        QCOMPARE(countStartingWith(diag, QStringLiteral("Computing Agg Diversion")), 9);
        QVERIFY(!dialog.changeLog().hasChanges());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT EndYear FROM Baseline")).toInt(), 2011);
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT COUNT(DISTINCT WaterUserID) FROM "
                                             "ScenarioYearlyWaterUser WHERE Year = 2011"))
                     .toInt(),
            4);
        QVERIFY(endOpenTransaction()); // Apply began the next one
    }

    void applyWithNothingChanged()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        child<QLineEdit>(&dialog, "_toolUserName")->setText(QStringLiteral("Planner"));
        ModalDriver driver;
        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(diag.count(), 0);
        QCOMPARE(_project->scalar(QStringLiteral("SELECT ToolUserName FROM Baseline")).toString(),
            QStringLiteral("Planner"));
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")).toInt(), 0);
        QVERIFY(endOpenTransaction());
    }

    // Apply commits; when the next transaction cannot begin the dialog may not edit on without
    // one, so it closes and keeps what it committed.
    void applyWithoutNextTransactionCloses()
    {
        BaselineDlg dialog;
        dialog.show();
        child<QLineEdit>(&dialog, "_toolUserName")->setText(QStringLiteral("Planner"));
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        {
            StatementRefusal refusal(
                TarnDbMgr::instance()->database(), StatementRefusal::beginning());
            QVERIFY(refusal.isActive());
            child<QPushButton>(&dialog, "_applyButton")->click();
        }
        QVERIFY(driver.done());
        QVERIFY2(driver.texts.value(0).startsWith(QStringLiteral("Cannot begin the transaction: ")),
            qPrintable(driver.texts.value(0)));
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT ToolUserName FROM Baseline")).toString(),
            QStringLiteral("Planner"));
        QVERIFY(!endOpenTransaction());
    }

    void recalculateAllCommitsWhatIsWrittenSoFar()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        addValue(driver, QStringLiteral("Lower"));
        dialog.addAttrValClicked();
        child<QPushButton>(&dialog, "_moveAggDivDownButton")->click();

        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, "_recalculateAllButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.last(),
            QStringLiteral("Are you sure you want to recalculate all baseline and scenario data? "
                           "This operation may take a while."));
        QCOMPARE(countStartingWith(diag, QStringLiteral("Computing Agg Diversion")), 9);
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal "
                                             "= 'Lower'"))
                     .toInt(),
            1);
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT Ord FROM AggDiv WHERE AggDivID = 1")).toInt(),
            0);
        QVERIFY(!dialog.changeLog().hasChanges());
        QVERIFY(endOpenTransaction());
    }

    void recalculateAllAnsweredNo()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        driver.answer(QMessageBox::No);
        dialog.recalculateAllClickedHandler();
        QVERIFY(driver.done());
        QCOMPARE(diag.count(), 0);
        QVERIFY(!dialog.changeLog().fullRecalculation());
    }

    void cancelAnsweredNoKeepsEdits()
    {
        BaselineDlg dialog;
        dialog.show();
        ModalDriver driver;
        addValue(driver, QStringLiteral("Lower"));
        dialog.addAttrValClicked();
        child<QLineEdit>(&dialog, "_toolUserName")->setText(QStringLiteral("Planner"));

        driver.answer(QMessageBox::No);
        child<QPushButton>(&dialog, "_cancelButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.last(),
            QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."));
        QVERIFY(dialog.isVisible());
        QCOMPARE(child<QLineEdit>(&dialog, "_toolUserName")->text(), QStringLiteral("Planner"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal = 'Lower'"))
                     .toInt(),
            1);

        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal = 'Lower'"))
                     .toInt(),
            0);
        QVERIFY(!endOpenTransaction());
    }

    void failedBaselineSaveStopsTheSave()
    {
        QSqlQuery trigger(TarnDbMgr::instance()->database());
        QVERIFY(trigger.exec(
            QStringLiteral("CREATE TRIGGER BaselineLocked BEFORE UPDATE ON Baseline BEGIN SELECT "
                           "RAISE(ABORT, 'baseline is locked'); END")));
        BaselineDlg dialog;
        ModalDriver driver;
        addValue(driver, QStringLiteral("Lower"));
        dialog.addAttrValClicked();
        child<QPushButton>(&dialog, "_moveAggDivDownButton")->click();

        const TARN::okstat result = dialog.applyChanges();
        QVERIFY(result.failed());
        QVERIFY2(result.text().startsWith(QLatin1String("Unable to save baseline: ")),
            qPrintable(result.text()));
        QVERIFY(result.text().contains(QLatin1String("baseline is locked")));
        QTRY_COMPARE(driver.unexpected, QStringList { result.text() });
        // Nothing was committed: the transaction is still open with all of it.
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal "
                                             "= 'Lower'"))
                     .toInt(),
            0);
        QCOMPARE(scalar(QStringLiteral("SELECT Ord FROM AggDiv WHERE AggDivID = 1")).toInt(), 0);
        QVERIFY(endOpenTransaction());
    }

    void exportAttributesWritesTheFile()
    {
        BaselineDlg dialog;
        dialog.show();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("attributes.xml"));
        ModalDriver driver;
        driver.expect<QFileDialog>([path](QFileDialog* files) {
            QCOMPARE(files->windowTitle(), QStringLiteral("Attributes File"));
            child<QLineEdit>(files, "fileNameEdit")->setText(path);
            static_cast<QDialog*>(files)->accept();
        });
        child<QPushButton>(&dialog, "_exportAttributesButton")->click();
        QVERIFY(driver.done());
        QTRY_VERIFY(QFile::exists(path));
        QTRY_VERIFY(!dialog.findChild<CalcStatusDlg*>());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray xml = file.readAll();
        QCOMPARE(xmlWellFormedProblem(path), QString());
        QVERIFY(xml.contains("Basin"));
        QVERIFY(xml.contains("Irrigation"));
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    }

    void siteFieldsStayBoundAfterASave_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Apply") << "_applyButton";
        QTest::newRow("Quick Plot") << "_generatePlotButton";
    }

    void siteFieldsStayBoundAfterASave()
    {
        QFETCH(QString, button);
        BaselineDlg dialog;
        ModalDriver driver;
        dialog.scrollToAggDiv(2);
        driver.expect<AggDivDlg>([button](AggDivDlg* site) {
            child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("First"));
            click(site, qPrintable(button));
            child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("Second"));
            child<QLineEdit>(site, "_aggDivRWNameLineEdit")->setText(QStringLiteral("SD2"));
            child<QPlainTextEdit>(site, "_notes")->setPlainText(QStringLiteral("lined"));
            click(site, "_okButton");
        });
        dialog.editAggDivHandler();
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT SiteName || '|' || RiffleName || '|' || "
                                             "Notes FROM AggDiv WHERE AggDivID = 2"))
                     .toString(),
            QStringLiteral("Second|SD2|lined"));
    }

    void newSiteAppliedThenCancelledIsGone()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        driver.expect<AggDivDlg>([&driver](AggDivDlg* site) {
            child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("Spur"));
            click(site, "_applyButton");
            driver.answer(QMessageBox::Yes);
            click(site, "_cancelButton");
        });
        dialog.addAggDivClicked();
        QVERIFY(driver.done());
        QCOMPARE(child<QTableView>(&dialog, "_aggDivTableView")->model()->rowCount(), 3);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt(), 3);
    }

    void cancelAfterAFailedCommitForgetsTheSave()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        child<QTextEdit>(&dialog, "_baselineDescription")
            ->setPlainText(QStringLiteral("Never stored"));
        driver.expect<QDialog>([](QDialog* range) {
            child<QSpinBox>(range, "_endYearSpinBox")->setValue(2011);
            click(range, "_okButton");
        });
        dialog.editTimeRangeClicked();
        QVERIFY(execOnManager(QStringLiteral("PRAGMA defer_foreign_keys = ON")));
        QVERIFY(
            execOnManager(QStringLiteral("INSERT INTO WaterUserDist (WaterUserID) VALUES (99)")));
        driver.answer(QMessageBox::Ok);
        QVERIFY(dialog.applyChanges().failed());
        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(driver.done());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        // What the program reads as the baseline is the file's again.
        Baseline baseline;
        QVERIFY(TarnDbMgr::instance()->baselineDAO()->getBaseline(baseline).isOk());
        QCOMPARE(baseline.EndYear, 2010);
        QVERIFY(!baseline.Description.contains(QLatin1String("Never stored")));
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
        BaselineDlg again;
        QCOMPARE(child<QLineEdit>(&again, "_endYearLineEdit")->text(), QStringLiteral("2010"));
        QVERIFY(again.applyChanges().isOk());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT EndYear FROM Baseline")).toInt(), 2010);
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT MAX(Year) FROM WaterUserData")).toInt(), 2001);
    }

    void movedWaterUserKeepsTheMembershipsThatStillHold()
    {
        reopenWith(QString::fromLatin1(Changes));
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        editWaterUser(dialog, driver, 1, 1, [](WaterUserDlg* waterUser) {
            chooseSite(waterUser, QStringLiteral("South Ditch"));
            click(waterUser, "_okButton");
        });
        QVERIFY(driver.done());
        // Hand-picked without a filter: kept. The filter of change 2 no longer takes it in, and
        // the salinity curve sums concentrations, which the new site does not measure.
        QCOMPARE(scalar(QStringLiteral("SELECT group_concat(DemandChgID) FROM (SELECT "
                                       "DemandChgID FROM DemandChgWaterUser WHERE WaterUserID "
                                       "= 1 ORDER BY 1)"))
                     .toString(),
            QStringLiteral("1"));
        QCOMPARE(scalar(QStringLiteral("SELECT group_concat(PlotCurveID) FROM (SELECT "
                                       "PlotCurveID FROM PlotCurveWaterUser WHERE WaterUserID "
                                       "= 1 ORDER BY 1)"))
                     .toString(),
            QStringLiteral("1"));
        QStringList lines;
        for (const QList<QVariant>& arguments : qAsConst(diag))
            lines << arguments.at(0).toString();
        QCOMPARE(lines,
            QStringList({ QStringLiteral("Water User 001.Upper Ditch was moved to Agg Diversion "
                                         "002.South Ditch and left:"),
                QStringLiteral("    Demand Change 002.Irrigation"),
                QStringLiteral("    Plot Curve 002.Salinity") }));
        // Recorded under the site it now belongs to, so that it is recomputed there.
        QCOMPARE(dialog.changeLog().waterUserReason(2, 1),
            QStringLiteral("Water User 001.Upper Ditch was edited"));
        QVERIFY(dialog.changeLog().aggDivChanged(1));
    }

    void failedCalculationKeepsTheEdits()
    {
        reopenWith(QString::fromLatin1(Changes));
        BaselineDlg dialog;
        dialog.show();
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        // Whether the edited water user's yearly rows are inserted or updated.
        for (const char* write : { "INSERT", "UPDATE" }) {
            QVERIFY(execOnManager(QStringLiteral("CREATE TRIGGER DiskFull%1 BEFORE %1 ON "
                                                 "BaseYearlyWaterUser BEGIN SELECT RAISE(ABORT, "
                                                 "'disk is full'); END")
                                      .arg(QLatin1String(write))));
        }
        editWaterUser(dialog, driver, 2, 3, [](WaterUserDlg* waterUser) {
            setYearly(waterUser, 2000, WaterUserDataViewModel::DepletionColumn, 26);
            click(waterUser, "_okButton");
        });
        click(&dialog, "_okButton");
        QTRY_COMPARE(driver.unexpected.size(), 1);
        QVERIFY2(driver.unexpected.first().contains(QLatin1String("disk is full")),
            qPrintable(driver.unexpected.first()));
        // Still open, with the edit recorded and no scenario run on the failed baseline.
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.changeLog().waterUserChanged(2, 3));
        // The baseline skipped site 1 and failed in site 2; no scenario added lines of its own.
        QCOMPARE(countStartingWith(diag, QStringLiteral("Computing Agg Diversion")), 1);
        QCOMPARE(countStartingWith(diag, QStringLiteral("Skipping Agg Diversion")), 1);
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT DepletionReq FROM WaterUserData WHERE "
                                             "WaterUserID = 3 AND Year = 2000"))
                     .toDouble(),
            26.0);

        QVERIFY(execOnManager(QStringLiteral("DROP TRIGGER DiskFullINSERT")));
        QVERIFY(execOnManager(QStringLiteral("DROP TRIGGER DiskFullUPDATE")));
        click(&dialog, "_okButton");
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.changeLog().hasChanges());
        QCOMPARE(driver.unexpected.size(), 1);
    }

    // After any of these edit sequences, ended by OK or Apply, the stored results are those a
    // recalculation of everything gives from the same input.
    void editsLeaveTheResultsOfAFullRecalculation_data()
    {
        QTest::addColumn<int>("sequence");
        QTest::newRow("site edited after Apply") << int(SiteEditedAfterApply);
        QTest::newRow("new site applied, then cancelled") << int(NewSiteAppliedThenCancelled);
        QTest::newRow("failed commit, Cancel, then an edit") << int(FailedCommitThenCancel);
        QTest::newRow("site filter, then an edit") << int(SiteFilterThenEdit);
        QTest::newRow("pasted diversion and efficiency") << int(PastedDiversionAndEfficiency);
        QTest::newRow("coefficients typed") << int(CoefficientsTyped);
        QTest::newRow("water user moved and edited") << int(WaterUserMovedAndEdited);
        QTest::newRow("failed calculation, then Apply") << int(FailedCalculationThenApply);
        QTest::newRow("failed calculation, then Cancel") << int(FailedCalculationThenCancel);
        QTest::newRow("copy, then Cancel") << int(CopyThenCancel);
        QTest::newRow("member of a shared change edited") << int(SharedChangeMemberEdited);
        QTest::newRow("member of a shared change deleted") << int(SharedChangeMemberDeleted);
        QTest::newRow("site of a shared change's member deleted")
            << int(SiteOfSharedChangeMemberDeleted);
    }

    void editsLeaveTheResultsOfAFullRecalculation()
    {
        QFETCH(int, sequence);
        reopenWith(QString::fromLatin1(Changes));
        ModalDriver driver;
        runEdits(static_cast<EditSequence>(sequence), driver);
        QVERIFY(driver.done());
        endOpenTransaction();
        const QStringList differences = differencesFromFullRecalculation(_project->path());
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
    }

    // The road of one typical edit, from the main window: a water user's yearly depletion is
    // edited in the water user dialog, the baseline dialog saves with OK, and the baseline
    // calculation recomputes the edited site.
    void roadOfOneTypicalEdit()
    {
        endOpenTransaction();
        _project.reset();
        resetDbManager();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(path).isOk());

        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(path));
        QSqlDatabase& db = TarnDbMgr::instance()->database();

        // Stored results for every site first, so that only the edited one is recomputed.
        {
            BaselineChangeLog everything;
            everything.setFullRecalculation();
            BaselineDemandCalculator calculator;
            QVERIFY(calculator.initialize(&everything, true).isOk());
            QSignalSpy finished(&calculator, &DemandCalculator::calcFinished);
            calculator.start();
            QVERIFY(finished.wait(60000));
            QVERIFY(finished.at(0).at(0).value<TARN::okstat>().isOk());
        }

        // The first water user of the first site in the dialog's order.
        QSqlQuery first(db);
        QVERIFY(first.exec(QStringLiteral(
            "SELECT wu.WaterUserID, wu.WaterUserName, ad.AggDivID, ad.RiffleName FROM WaterUser wu "
            "JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID WHERE wu.ScenarioID IS NULL ORDER BY "
            "ad.Ord, ad.AggDivID, wu.Ord, wu.WaterUserID LIMIT 1")));
        QVERIFY(first.next());
        const int waterUserID = first.value(0).toInt();
        const QString waterUserName = first.value(1).toString();
        const int aggDivID = first.value(2).toInt();
        const QString siteRiffleName = first.value(3).toString();
        first.finish();
        const int year = scalar(QStringLiteral("SELECT StartYear + 1 FROM Baseline")).toInt();
        const QString month = QStringLiteral("%1-07-01").arg(year);
        const double july = scalar(QStringLiteral("SELECT Jul FROM WaterUserDist WHERE WaterUserID "
                                                  "= %1")
                                       .arg(waterUserID))
                                .toDouble();
        QVERIFY(july > 0);
        const QString monthlySql = QStringLiteral(
            "SELECT DepletionValue FROM BaseMonthlyWaterUser WHERE WaterUserID = %1 AND Month = "
            "'%2'")
                                       .arg(waterUserID)
                                       .arg(month);
        const double before = scalar(monthlySql).toDouble();
        const double newDepletion = 1234.5678;

        ModalDriver driver;
        driver.expect<BaselineDlg>([](BaselineDlg* baseline) {
            auto* waterUsers = child<QTableView>(baseline, "_waterUserTableView");
            waterUsers->setCurrentIndex(waterUsers->model()->index(0, 2));
            child<QPushButton>(baseline, "_editWaterUserButton")->click();
        });
        driver.expect<WaterUserDlg>([year, newDepletion](WaterUserDlg* waterUser) {
            WaterUserDataViewModel* data = waterUser->dataModel();
            for (int row = 0; row < data->rowCount(); ++row) {
                if (data->record(row).Year == year)
                    data->setData(
                        data->index(row, WaterUserDataViewModel::DepletionColumn), newDepletion);
            }
            child<QPushButton>(waterUser, "_okButton")->click();
        });
        driver.expect<BaselineDlg>(
            [](BaselineDlg* baseline) { child<QPushButton>(baseline, "_okButton")->click(); });
        child<QPushButton>(&window, "_editBaselineButton")->click();
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));

        const QString diagnostics = child<QTextEdit>(&window, "_diagTextEdit")->toPlainText();
        const QString siteLabel
            = QStringLiteral("%1.%2").arg(aggDivID, 3, 10, QLatin1Char('0')).arg(siteRiffleName);
        QVERIFY2(diagnostics.contains(
                     QStringLiteral("Computing Agg Diversion %1 for the following reason(s):")
                         .arg(siteLabel)),
            qPrintable(diagnostics));
        QVERIFY(diagnostics.contains(QStringLiteral("Water User %1.%2 was edited")
                                         .arg(waterUserID, 3, 10, QLatin1Char('0'))
                                         .arg(waterUserName)));
        QVERIFY(diagnostics.contains(QLatin1String("Skipping Agg Diversion")));

        // Committed: the file itself holds the new input and the recomputed month.
        QCOMPARE(_projectScalar(path,
                     QStringLiteral("SELECT DepletionReq FROM WaterUserData WHERE WaterUserID = "
                                    "%1 AND Year = %2")
                         .arg(waterUserID)
                         .arg(year))
                     .toDouble(),
            newDepletion);
        const double after = scalar(monthlySql).toDouble();
        QVERIFY(!qFuzzyCompare(after, before));
        QVERIFY2(qAbs(after - newDepletion * july / 100.0) < 1e-9,
            qPrintable(QStringLiteral("%1 vs %2").arg(after).arg(newDepletion * july / 100.0)));
        // The diversion was kept: the edit of the depletion derived a new efficiency instead.
        const double diversion = scalar(QStringLiteral("SELECT DiversionReq FROM WaterUserData "
                                                       "WHERE WaterUserID = %1 AND Year = %2")
                                            .arg(waterUserID)
                                            .arg(year))
                                     .toDouble();
        const double monthlyDiversion
            = scalar(QStringLiteral("SELECT DiversionValue FROM BaseMonthlyWaterUser WHERE "
                                    "WaterUserID = %1 AND Month = '%2'")
                         .arg(waterUserID)
                         .arg(month))
                  .toDouble();
        QVERIFY(qAbs(monthlyDiversion - diversion * july / 100.0) < 1e-9);
        QCOMPARE(scalar(QStringLiteral("SELECT EfficiencyRatio FROM WaterUserData WHERE "
                                       "WaterUserID = %1 AND Year = %2")
                            .arg(waterUserID)
                            .arg(year))
                     .toDouble(),
            newDepletion / diversion);
    }
};

QTEST_MAIN(TestBaselineDlgSessions)
#include "tst_baselinedlg_sessions.moc"
