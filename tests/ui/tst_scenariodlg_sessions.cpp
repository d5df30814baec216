#include "ScenarioDlgFixture.h"

class TestScenarioDlgSessions : public ScenarioDlgFixture {
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

    void selectedWaterUsersAndFilters_data()
    {
        QTest::addColumn<bool>("uncheckOne");
        QTest::newRow("every listed water user") << false;
        QTest::newRow("hand-picked") << true;
    }
    void selectedWaterUsersAndFilters()
    {
        QFETCH(bool, uncheckOne);
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        ModalDriver driver;
        int listed = 0;
        driver.expect<WaterUserSelectorDlg>([uncheckOne, &listed](WaterUserSelectorDlg* selector) {
            auto* table = child<QTableWidget>(selector, "_watUsrTableWidget");
            listed = table->rowCount();
            if (uncheckOne)
                table->selectionModel()->select(table->model()->index(0, 0),
                    QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            child<QPushButton>(selector, "_okButton")->click();
        });
        QSignalSpy edited(&dialog, &ChangeSpecDlg::waterUserEdited);
        child<QPushButton>(&dialog, "_watUsrSelectBtn")->click();
        QVERIFY(driver.done());
        QVERIFY(listed > 1);
        QCOMPARE(dialog.waterUsers().size(), uncheckOne ? listed - 1 : listed);
        QCOMPARE(dialog.filters().isEmpty(), uncheckOne);
        QVERIFY(dialog.applyChanges().isOk());

        QSqlTableModel* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        QVERIFY(changes->submitAll());
        QCOMPARE(scalar(QStringLiteral("SELECT UsesFilters FROM DemandChg WHERE DemandChgID = 1"))
                     .toInt(),
            uncheckOne ? 0 : 1);
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM DemandSelection WHERE DemandChgID = 1"))
                    .toInt()
                > 0,
            !uncheckOne);
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChgWaterUser WHERE DemandChgID = 1"))
                .toInt(),
            dialog.waterUsers().size());
        // Water users the change no longer selects are reported too: their results change.
        QSet<int> reported;
        for (const QList<QVariant>& arguments : qAsConst(edited))
            reported.insert(arguments.at(1).toInt());
        for (int id : { 1, 2, 3 })
            QVERIFY(reported.contains(id));
        QVERIFY(endOpenTransaction());
    }

    // Descriptions are stored as the text typed. One that an older file holds as an HTML
    // document is shown in the change list and edited as the text it shows.
    void descriptionsArePlainText_data()
    {
        QTest::addColumn<bool>("demandChange");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTextDocument document;
        document.setPlainText(QStringLiteral("Wet <years> & more\nsecond line"));
        const QString html = document.toHtml();
        const QString markup = QStringLiteral("a <b>bold</b> claim");
        for (const bool change : { false, true }) {
            const char* what = change ? "demand change" : "scenario";
            QTest::addRow("%s, HTML from an older file", what)
                << change << html << QStringLiteral("Wet <years> & more\nsecond line");
            QTest::addRow("%s, typed markup", what) << change << markup << markup;
        }
    }
    void descriptionsArePlainText()
    {
        QFETCH(bool, demandChange);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        openProject();
        QSqlQuery update(TarnDbMgr::instance()->database());
        update.prepare(testSql(demandChange
                ? QStringLiteral("UPDATE DemandChg SET Description = :text WHERE DemandChgID = 1")
                : QStringLiteral(
                    "UPDATE Scenario SET ScenarioDescription = :text WHERE ScenarioID = 1")));
        update.bindValue(QStringLiteral(":text"), stored);
        QVERIFY(update.exec());
        ModelOps::selectAll(TarnDbMgr::instance()->scenarioDAO()->scenarioModel());
        const QString edited = shown + QStringLiteral("\n<i>edited</i>");

        ScenarioDlg dialog;
        dialog.load(1);
        if (!demandChange) {
            auto* text = child<QTextEdit>(&dialog, "_descrTextEdit");
            QCOMPARE(text->toPlainText(), shown);
            text->setPlainText(edited);
            ModalDriver driver;
            child<QPushButton>(&dialog, "_applyButton")->click();
            QVERIFY(driver.unexpected.isEmpty());
            QCOMPARE(_project
                         ->scalar(QStringLiteral(
                             "SELECT ScenarioDescription FROM Scenario WHERE ScenarioID = 1"))
                         .toString(),
                edited);
            QVERIFY(endOpenTransaction());
            return;
        }

        auto* view = child<QTableView>(&dialog, "_demandChgTableView");
        const QModelIndex cell = dialog.demandChgProxy()->index(0, 3);
        QCOMPARE(dialog.demandChgProxy()->index(0, 0).data().toInt(), 1);
        auto* delegate = qobject_cast<QStyledItemDelegate*>(view->itemDelegate(cell));
        QVERIFY(delegate);
        QCOMPARE(delegate->displayText(cell.data(), QLocale()),
            QString(shown).replace(QLatin1Char('\n'), QChar::LineSeparator));

        TarnRelationalTableModel* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        const int row = ModelOps::findRowById(changes, 1).row();
        ChangeSpecDlg spec;
        spec.load(row, 1);
        auto* text = child<QTextEdit>(&spec, "_descrTextEdit");
        QCOMPARE(text->toPlainText(), shown);
        text->setPlainText(edited);
        QVERIFY(spec.applyChanges().isOk());
        QCOMPARE(changes->index(row, 3).data().toString(), edited);
        QVERIFY(endOpenTransaction());
    }

    // A save whose calculation failed has committed its input: OK keeps the dialog open, and
    // whichever way it closes afterwards the results follow the input.
    void failedCalculationIsComputedBeforeClosing_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("then OK") << false;
        QTest::newRow("then Cancel") << true;
    }
    void failedCalculationIsComputedBeforeClosing()
    {
        QFETCH(bool, cancel);
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        dialog.show();
        ModalDriver driver;
        driver.answer(QMessageBox::Yes);
        selectRowWhere(child<QTableView>(&dialog, "_demandChgTableView"), 2, QStringLiteral("Cut"));
        child<QPushButton>(&dialog, "_delDemandChgBtn")->click();
        QVERIFY(driver.done());
        {
            // The deletion is committed; its results cannot be written.
            StatementRefusal refusal(TarnDbMgr::instance()->database(),
                StatementRefusal::writing(QStringLiteral("ScenarioYearlyWaterUser")));
            QVERIFY(refusal.isActive());
            child<QPushButton>(&dialog, "_okButton")->click();
        }
        QVERIFY(dialog.isVisible());
        QVERIFY(!driver.unexpected.isEmpty());
        QVERIFY(dialog.changeLog().waterUserChanged(1, 1));
        driver.unexpected.clear();

        if (cancel)
            driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, cancel ? "_cancelButton" : "_okButton")->click();
        QTRY_VERIFY(!dialog.isVisible());
        QVERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(u'\n')));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg WHERE DemandChgID = 1")),
            QVariant(0));
        for (int waterUser : { 1, 2, 3 }) {
            QCOMPARE(resultYears(1, waterUser), 3);
            QCOMPARE(yearsOff(1, waterUser, 1.0), 0);
        }
        QVERIFY(!endOpenTransaction());
    }

    // Apply commits; when the next transaction cannot begin the dialog may not edit on without
    // one (its edits would be written at once, and Cancel could not undo them).
    void applyWithoutNextTransactionCloses()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        dialog.show();
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Drier"));
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        {
            StatementRefusal refusal(
                TarnDbMgr::instance()->database(), StatementRefusal::beginning());
            QVERIFY(refusal.isActive());
            child<QPushButton>(&dialog, "_applyButton")->click();
        }
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.size(), 1);
        QVERIFY2(driver.texts.first().startsWith(QStringLiteral("Cannot begin the transaction: ")),
            qPrintable(driver.texts.first()));
        QVERIFY(driver.unexpected.isEmpty());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // What Apply committed stays, and no transaction is left open.
        QCOMPARE(
            _project
                ->scalar(QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = 1"))
                .toString(),
            QStringLiteral("Drier"));
        QVERIFY(!endOpenTransaction());
    }

    // A change whose water users or filters could not be loaded must not lose them at the next
    // save: the lists shown are not what is stored.
    void failedLoadKeepsStoredLists_data()
    {
        QTest::addColumn<QString>("refusedTable");
        QTest::newRow("water users") << QStringLiteral("DemandChgWaterUser");
        QTest::newRow("filters") << QStringLiteral("DemandSelection");
    }
    void failedLoadKeepsStoredLists()
    {
        QFETCH(QString, refusedTable);
        openProject();
        QSqlQuery filters(TarnDbMgr::instance()->database());
        QVERIFY(filters.exec(QStringLiteral("INSERT INTO DemandSelection (DemandChgID, AttrID, "
                                            "AttrValidValID) VALUES (1, 1, 12), (1, 2, 22)")));
        auto stored = [](const QString& sql) {
            return scalar(QStringLiteral("SELECT GROUP_CONCAT(x) FROM (%1)").arg(sql)).toString();
        };
        const QString usersSql = QStringLiteral(
            "SELECT WaterUserID x FROM DemandChgWaterUser WHERE DemandChgID = 1 ORDER BY x");
        const QString filtersSql = QStringLiteral(
            "SELECT AttrValidValID x FROM DemandSelection WHERE DemandChgID = 1 ORDER BY x");
        QCOMPARE(stored(usersSql), QStringLiteral("1,2,3"));
        QCOMPARE(stored(filtersSql), QStringLiteral("12,22"));

        ChangeSpecDlg dialog;
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        {
            StatementRefusal refusal(
                TarnDbMgr::instance()->database(), StatementRefusal::reading(refusedTable));
            QVERIFY(refusal.isActive());
            dialog.load(0, 1);
        }
        QVERIFY(driver.done());
        QVERIFY2(driver.texts.value(0).startsWith(QStringLiteral("Error loading demand change: ")),
            qPrintable(driver.texts.value(0)));
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Renamed"));
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(stored(usersSql), QStringLiteral("1,2,3"));
        QCOMPARE(stored(filtersSql), QStringLiteral("12,22"));
        QVERIFY(endOpenTransaction());
    }

    void cancelledSelectionIsNotStored()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        ModalDriver driver;
        driver.expect<WaterUserSelectorDlg>([](WaterUserSelectorDlg* selector) {
            auto* table = child<QTableWidget>(selector, "_watUsrTableWidget");
            table->selectionModel()->select(table->model()->index(0, 0),
                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            child<QPushButton>(selector, "_okButton")->click();
        });
        child<QPushButton>(&dialog, "_watUsrSelectBtn")->click();
        QVERIFY(driver.done());
        QSqlTableModel* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        QCOMPARE(changes->index(0, 7).data().toInt(), 0);
        dialog.reject();
        QCOMPARE(changes->index(0, 7).data().toInt(), 1);
        QCOMPARE(scalar(QStringLiteral("SELECT GROUP_CONCAT(WaterUserID) FROM (SELECT WaterUserID "
                                       "FROM DemandChgWaterUser WHERE DemandChgID = 1 ORDER BY "
                                       "WaterUserID)"))
                     .toString(),
            QStringLiteral("1,2,3"));
        QVERIFY(endOpenTransaction());
    }
};

QTEST_MAIN(TestScenarioDlgSessions)
#include "tst_scenariodlg_sessions.moc"
