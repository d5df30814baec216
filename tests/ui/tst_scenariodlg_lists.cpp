#include "ScenarioDlgFixture.h"

class TestScenarioDlgLists : public ScenarioDlgFixture {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    }
    void cleanup()
    {
        _project.reset();
        resetDbManager();
    }

    void listsShowOnlyThisScenario()
    {
        openProject();
        ScenarioDlg dialog;
        QVERIFY(dialog.load(1).isOk());
        QSortFilterProxyModel* changes = dialog.demandChgProxy();
        QCOMPARE(changes->rowCount(), 2);
        QCOMPARE(changes->index(0, 2).data().toString(), QStringLiteral("Cut"));
        QCOMPARE(changes->index(1, 2).data().toString(), QStringLiteral("Second"));
        QCOMPARE(dialog.waterUserProxy()->rowCount(), 1);
        QCOMPARE(dialog.waterUserProxy()->index(0, 3).data().toString(), QStringLiteral("Echo"));
        QCOMPARE(
            dialog.waterUserProxy()->index(0, 1).data().toString(), QStringLiteral("South Ditch"));

        auto* view = child<QTableView>(&dialog, "_demandChgTableView");
        QHeaderView* header = view->horizontalHeader();
        QStringList shown;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int logical = header->logicalIndex(visual);
            if (!header->isSectionHidden(logical))
                shown << changes->headerData(logical, Qt::Horizontal).toString();
        }
        QCOMPARE(shown,
            (QStringList { QStringLiteral("Change Name"), QStringLiteral("Date Created"),
                QStringLiteral("Description") }));
        QVERIFY(!child<QPushButton>(&dialog, "_editDemandChgBtn")->isEnabled());
        view->setCurrentIndex(changes->index(0, 2));
        QVERIFY(child<QPushButton>(&dialog, "_editDemandChgBtn")->isEnabled());
        QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Dry"));
        QVERIFY(endOpenTransaction());
    }

    void cancelAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No keeps everything") << false;
        QTest::newRow("Yes rolls back") << true;
    }
    void cancelAsksFirst()
    {
        QFETCH(bool, yes);
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        dialog.show();
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Wetter"));
        QSqlQuery(TarnDbMgr::instance()->database())
            .exec(
                QStringLiteral("UPDATE Scenario SET ScenarioShortName = 'X' WHERE ScenarioID = 1"));
        ModalDriver driver;
        driver.answer(yes ? QMessageBox::Yes : QMessageBox::No);
        child<QPushButton>(&dialog, "_cancelButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts,
            QStringList { QStringLiteral(
                "Are you sure you want to cancel? Any changes made will be lost.") });
        QCOMPARE(dialog.isVisible(), !yes);
        QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Wetter"));
        // The write inside the transaction is still there only when the transaction is.
        QCOMPARE(
            scalar(QStringLiteral("SELECT ScenarioShortName FROM Scenario WHERE ScenarioID = 1"))
                .toString(),
            yes ? QStringLiteral("D") : QStringLiteral("X"));
        QCOMPARE(endOpenTransaction(), !yes);
    }

    void applyWithoutRecordedEditsDoesNotCalculate()
    {
        openProject();
        QSqlQuery(TarnDbMgr::instance()->database())
            .exec(QStringLiteral("DELETE FROM ScenarioYearlyWaterUser WHERE WaterUserID = 4"));
        ScenarioDlg dialog;
        dialog.load(1);
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Drier"));
        ModalDriver driver;
        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(
            _project
                ->scalar(QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = 1"))
                .toString(),
            QStringLiteral("Drier"));
        QCOMPARE(resultYears(1, 4), 0);
        QCOMPARE(child<QLabel>(&dialog, "_modDateLabel")->text(),
            QDate::currentDate().toString(Qt::ISODate));
        // Apply began the next transaction.
        QVERIFY(endOpenTransaction());
    }

    void deletedChangeRecalculatesItsWaterUsersOnce()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        auto* view = child<QTableView>(&dialog, "_demandChgTableView");
        selectRowWhere(view, 2, QStringLiteral("Cut"));
        ModalDriver driver;
        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, "_delDemandChgBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts,
            QStringList { QStringLiteral("Are you sure you want to delete this demand change?") });
        const BaselineChangeLog& log = dialog.changeLog();
        QVERIFY(log.waterUserChanged(1, 1));
        QVERIFY(log.waterUserChanged(1, 2));
        QVERIFY(log.waterUserChanged(2, 3));
        QVERIFY(!log.waterUserChanged(2, 4));

        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY(driver.unexpected.isEmpty());
        QVERIFY(!dialog.changeLog().hasChanges());
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg WHERE DemandChgID = 1")),
            QVariant(0));
        for (int waterUser : { 1, 2, 3 }) {
            QCOMPARE(resultYears(1, waterUser), 3);
            QCOMPARE(yearsOff(1, waterUser, 1.0), 0);
        }

        // A second Apply without edits leaves the results alone.
        QSqlQuery(TarnDbMgr::instance()->database())
            .exec(QStringLiteral(
                "UPDATE ScenarioYearlyWaterUser SET DepletionValue = -99 WHERE WaterUserID = 1"));
        child<QPushButton>(&dialog, "_applyButton")->click();
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT MAX(DepletionValue) FROM "
                                             "ScenarioYearlyWaterUser WHERE WaterUserID = 1"))
                     .toDouble(),
            -99.0);
        QVERIFY(endOpenTransaction());
    }

    void scenarioWaterUserDialogShowsItsSite()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        selectRowWhere(
            child<QTableView>(&dialog, "_waterUsersTableView"), 3, QStringLiteral("Echo"));
        ModalDriver driver;
        QString site;
        QString name;
        driver.expect<WaterUserDlg>([&site, &name](WaterUserDlg* waterUser) {
            site = child<QComboBox>(waterUser, "_aggDivNameComboBox")->currentText();
            name = child<QLineEdit>(waterUser, "_waterUserNameLineEdit")->text();
            child<QPushButton>(waterUser, "_cancelButton")->click();
        });
        child<QPushButton>(&dialog, "_editWaterUserBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(name, QStringLiteral("Echo"));
        QCOMPARE(site, QStringLiteral("South Ditch"));
        QVERIFY(endOpenTransaction());
    }

    void deletedScenarioWaterUserRecalculatesItsSite()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        selectRowWhere(
            child<QTableView>(&dialog, "_waterUsersTableView"), 3, QStringLiteral("Echo"));
        ModalDriver driver;
        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, "_delWaterUserBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(dialog.waterUserProxy()->rowCount(), 0);
        QVERIFY(dialog.changeLog().waterUserChanged(2, 5));
        QVERIFY(endOpenTransaction());
    }

    void changeSpecBaselineValues()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        QCOMPARE(waterUserIds(dialog.waterUsers()), (QList<int> { 1, 2, 3 }));
        ChangeDataModel* depletion
            = child<ChangeDataWidget>(&dialog, "_depDataWidget")->dataModel();
        ChangeDataModel* efficiency
            = child<ChangeDataWidget>(&dialog, "_effDataWidget")->dataModel();
        const double total2000
            = scalar(QStringLiteral("SELECT SUM(DepletionValue) FROM BaseYearlyWaterUser WHERE "
                                    "WaterUserID IN (1, 2, 3) "
                                    "AND Year = 2000"))
                  .toDouble();
        QVERIFY(total2000 > 0);
        QCOMPARE(depletion->rows().at(0).baseline, total2000);
        // Stored change +50 % shows its scenario value.
        QCOMPARE(depletion->rows().at(0).scenarioValue, total2000 * 1.5);
        QCOMPARE(efficiency->rows().at(0).baseline, 0.5);
        QCOMPARE(efficiency->index(1, ChangeDataModel::BaselineColumn).data().toString(),
            QStringLiteral("Varies"));
        QVERIFY(endOpenTransaction());
    }

    // Efficiency interpolation takes effect only with a depletion method that interpolates: the
    // dialog says so for the one combination that promises more than the calculation does.
    void changeSpecSaysWhenEfficiencyIsNotInterpolated()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        auto* note = child<QLabel>(&dialog, "_methodNoteLabel");
        auto* depletion = child<ChangeDataWidget>(&dialog, "_depDataWidget");
        auto* efficiency = child<ChangeDataWidget>(&dialog, "_effDataWidget");
        auto choose = [](ChangeDataWidget* widget, const char* button) {
            child<QRadioButton>(widget, button)->click();
        };
        choose(depletion, "_useBaseRadioBtn");
        choose(efficiency, "_useBaseRadioBtn");
        QVERIFY(note->isHidden());
        choose(efficiency, "_interpRadioBtn");
        QVERIFY(!note->isHidden());
        QVERIFY(note->text().contains(QLatin1String("will not be interpolated")));
        choose(depletion, "_interpRadioBtn");
        QVERIFY(note->isHidden());
        QVERIFY(endOpenTransaction());
    }

    void changeSpecApplyReportsEveryWaterUser()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        QSignalSpy edited(&dialog, &ChangeSpecDlg::waterUserEdited);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(edited.size(), 3);
        QList<int> ids;
        for (const QList<QVariant>& arguments : qAsConst(edited))
            ids << arguments.at(1).toInt();
        QCOMPARE(ids, (QList<int> { 1, 2, 3 }));
        QCOMPARE(edited.at(2).at(0).toInt(), 2);
        QCOMPARE(edited.at(2).at(2).toString(), QStringLiteral("Charlie"));
        QVERIFY(endOpenTransaction());
    }
};

QTEST_MAIN(TestScenarioDlgLists)
#include "tst_scenariodlg_lists.moc"
