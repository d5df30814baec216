#include "BaselineDlgFixture.h"

class TestBaselineDlgEditing : public BaselineDlgFixture {
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

    void formShowsTheBaseline()
    {
        BaselineDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Baseline Development"));
        QCOMPARE(child<QLineEdit>(&dialog, "_startYearLineEdit")->text(), QStringLiteral("2000"));
        QCOMPARE(child<QLineEdit>(&dialog, "_endYearLineEdit")->text(), QStringLiteral("2010"));
        auto* sites = child<QTableView>(&dialog, "_aggDivTableView");
        QCOMPARE(sites->model()->rowCount(), 3);
        QCOMPARE(sites->currentIndex().row(), 0);
        auto* waterUsers = child<QTableView>(&dialog, "_waterUserTableView");
        QCOMPARE(waterUsers->model()->rowCount(), 2);
        QVERIFY(child<QPushButton>(&dialog, "_addWaterUserButton")->isEnabled());
        QVERIFY(!child<QPushButton>(&dialog, "_editWaterUserButton")->isEnabled());
        auto* attributes = child<QTableView>(&dialog, "_attributeTableView");
        QCOMPARE(attributes->model()->rowCount(), 2);
        QCOMPARE(child<QTableView>(&dialog, "_attrValTableView")->model()->rowCount(), 2);

        child<QLineEdit>(&dialog, "_waterUserFilterLineEdit")->setText(QStringLiteral("LOWER"));
        QCOMPARE(waterUsers->model()->rowCount(), 1);
        child<QLineEdit>(&dialog, "_aggDivFilterLineEdit")->setText(QStringLiteral("^SD$"));
        QCOMPARE(sites->model()->rowCount(), 1); // matches the Riffle name
    }

    void duplicateAttributeName()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        addAttribute(driver, QStringLiteral("Basin"), false);
        driver.answer(QMessageBox::Ok);
        dialog.addAttributeClicked();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts, QStringList { QStringLiteral("Attribute already exists.") });
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM Attribute")).toInt(), 2);
        QCOMPARE(child<QTableView>(&dialog, "_attributeTableView")->model()->rowCount(), 2);
    }

    void newAttributeGetsAnUndeletableDefault()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        addAttribute(driver, QStringLiteral("Canal Type"), true);
        dialog.addAttributeClicked();
        QVERIFY(driver.done());
        const int attrId = scalar(QStringLiteral("SELECT AttrID FROM Attribute WHERE AttrName = "
                                                 "'Canal Type' AND AttrTypeID = 2"))
                               .toInt();
        QVERIFY(attrId > 0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserAttr wua JOIN AttrValidVal "
                                       "v ON v.AttrValidValID = wua.AttrValidValID WHERE "
                                       "wua.AttrID = %1 AND v.AttrVal = 'Unassigned'")
                            .arg(attrId))
                     .toInt(),
            4);

        auto* attributes = child<QTableView>(&dialog, "_attributeTableView");
        attributes->setCurrentIndex(attributes->model()->index(2, 2));
        auto* values = child<QTableView>(&dialog, "_attrValTableView");
        QCOMPARE(values->model()->rowCount(), 1);
        values->setCurrentIndex(values->model()->index(0, 2));
        driver.answer(QMessageBox::Ok);
        dialog.delAttrValClicked();
        QCOMPARE(driver.texts, QStringList { QStringLiteral("Cannot delete default value.") });
        QCOMPARE(
            scalar(
                QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrID = %1").arg(attrId))
                .toInt(),
            1);

        // Any other value can go.
        addValue(driver, QStringLiteral("Lined"));
        dialog.addAttrValClicked();
        QCOMPARE(values->model()->rowCount(), 2);
        values->setCurrentIndex(values->model()->index(1, 2));
        dialog.delAttrValClicked();
        QCOMPARE(values->model()->rowCount(), 1);
        QCOMPARE(
            scalar(
                QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrID = %1").arg(attrId))
                .toInt(),
            1);
        QVERIFY(driver.unexpected.isEmpty());
    }

    void addedThenEditedWaterUserStaysAdded()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        driver.expect<WaterUserDlg>([](WaterUserDlg* waterUser) {
            child<QLineEdit>(waterUser, "_waterUserNameLineEdit")
                ->setText(QStringLiteral("New Ditch"));
            waterUser->coefficientEditors().at(0)->setText(QStringLiteral("100"));
            child<QPushButton>(waterUser, "_applyButton")->click();
            child<QLineEdit>(waterUser, "_waterUserNameLineEdit")
                ->setText(QStringLiteral("New Ditch 2"));
            child<QPushButton>(waterUser, "_okButton")->click();
        });
        dialog.addWaterUserHandler();
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        const int id
            = scalar(QStringLiteral("SELECT WaterUserID FROM WaterUser WHERE WaterUserName "
                                    "= 'New Ditch 2'"))
                  .toInt();
        QVERIFY(id > 4);
        const QString reason = dialog.changeLog().waterUserReason(1, id);
        QCOMPARE(reason,
            QStringLiteral("Water User %1.New Ditch was added").arg(id, 3, 10, QLatin1Char('0')));
        // Listed once, although the dialog reported it twice.
        auto* waterUsers = child<QTableView>(&dialog, "_waterUserTableView");
        QCOMPARE(waterUsers->model()->rowCount(), 3);
        QCOMPARE(waterUsers->currentIndex().data().toString(), QStringLiteral("New Ditch 2"));
    }

    void cancelAfterApplyLeavesNoWaterUser()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        driver.expect<WaterUserDlg>([&driver](WaterUserDlg* waterUser) {
            waterUser->coefficientEditors().at(0)->setText(QStringLiteral("100"));
            child<QPushButton>(waterUser, "_applyButton")->click();
            driver.answer(QMessageBox::Yes);
            child<QPushButton>(waterUser, "_cancelButton")->click();
        });
        dialog.addWaterUserHandler();
        QVERIFY(driver.done());
        QCOMPARE(child<QTableView>(&dialog, "_waterUserTableView")->model()->rowCount(), 2);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser")).toInt(), 4);
    }

    // Cancel after Apply removes a new water user or site with everything applied to it; it asks
    // first. An existing water user's unapplied edits are asked about too, on Escape as well.
    void cancelAsksBeforeDiscarding_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("new water user, applied") << "new water user";
        QTest::newRow("new site, applied") << "new site";
        QTest::newRow("water user, edited") << "edited water user";
    }
    void cancelAsksBeforeDiscarding()
    {
        QFETCH(QString, what);
        BaselineDlg dialog;
        dialog.show();
        ModalDriver driver;
        const auto count = [what] {
            return scalar(what == QLatin1String("new site")
                    ? QStringLiteral("SELECT COUNT(*) FROM AggDiv WHERE SiteName = 'Spur'")
                    : QStringLiteral("SELECT COUNT(*) FROM WaterUser WHERE WaterUserName = 'Spur'"))
                .toInt();
        };
        const auto depletion2001 = [] {
            return scalar(QStringLiteral("SELECT DepletionReq FROM WaterUserData WHERE WaterUserID "
                                         "= 1 AND Year = 2001"))
                .toDouble();
        };
        int whileAsked = -1;
        bool openWhileAsked = false;
        const auto cancelTwice = [&](QDialog* editor) {
            // No keeps the dialog open with everything; Yes discards it.
            driver.answer(QMessageBox::No);
            if (what == QLatin1String("edited water user"))
                QTest::keyClick(editor, Qt::Key_Escape);
            else
                click(editor, "_cancelButton");
            whileAsked = count();
            openWhileAsked = editor->isVisible();
            driver.answer(QMessageBox::Yes);
            click(editor, "_cancelButton");
        };
        if (what == QLatin1String("new site")) {
            driver.expect<AggDivDlg>([&](AggDivDlg* site) {
                child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("Spur"));
                click(site, "_applyButton");
                child<QLineEdit>(site, "_aggDivRWNameLineEdit")->setText(QStringLiteral("SP"));
                cancelTwice(site);
            });
            dialog.addAggDivClicked();
        } else if (what == QLatin1String("new water user")) {
            driver.expect<WaterUserDlg>([&](WaterUserDlg* waterUser) {
                child<QLineEdit>(waterUser, "_waterUserNameLineEdit")
                    ->setText(QStringLiteral("Spur"));
                waterUser->coefficientEditors().at(0)->setText(QStringLiteral("100"));
                setYearly(waterUser, 2000, WaterUserDataViewModel::DiversionColumn, 90);
                click(waterUser, "_applyButton");
                setYearly(waterUser, 2001, WaterUserDataViewModel::DiversionColumn, 95);
                cancelTwice(waterUser);
            });
            dialog.addWaterUserHandler();
        } else {
            editWaterUser(dialog, driver, 1, 1, [&](WaterUserDlg* waterUser) {
                setYearly(waterUser, 2001, WaterUserDataViewModel::DepletionColumn, 77);
                cancelTwice(waterUser);
            });
        }
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        QVERIFY(openWhileAsked);
        const QString question = what == QLatin1String("new site")
            ? QStringLiteral("Discard the new site \"Spur\" and the data applied to it?")
            : what == QLatin1String("new water user")
            ? QStringLiteral("Discard the new water user \"Spur\" and the data applied to it?")
            : QStringLiteral("Are you sure you want to cancel? Any changes made will be lost.");
        QCOMPARE(driver.texts, (QStringList { question, question }));
        if (what == QLatin1String("edited water user")) {
            QCOMPARE(depletion2001(), 44.0);
        } else {
            QCOMPARE(whileAsked, 1);
            QCOMPARE(count(), 0);
        }
    }

    // A delete names what uses the water users it removes and asks first; afterwards nothing is
    // chosen, so that a second click deletes nothing.
    void deletingAsksWhenUsedAndChoosesNothing_data()
    {
        QTest::addColumn<bool>("used");
        QTest::addColumn<bool>("site");
        QTest::addColumn<int>("aggDivID");
        QTest::addColumn<int>("waterUserID");
        QTest::addColumn<QString>("question");
        QTest::newRow("site of a demand change's member")
            << true << true << 2 << 0
            << QStringLiteral("The water users of \"South Ditch\" are used elsewhere:\n\nFarm: "
                              "demand change \"Shared cut\" of scenario \"Dry\"\n\nDeleting the "
                              "site deletes them and takes them out of these. Delete \"South "
                              "Ditch\"?");
        QTest::newRow("member of a change and a curve")
            << true << false << 1 << 2
            << QStringLiteral("\"Lower Ditch\" is used elsewhere:\n\ndemand change \"New total\" "
                              "of scenario \"Dry\"\nplot curve \"Depletion\" of plot \"Site "
                              "one\"\nplot curve \"Salinity\" of plot \"Site one\"\n\nDeleting it "
                              "takes it out of these. Delete \"Lower "
                              "Ditch\"?");
        QTest::newRow("unused site") << false << true << 2 << 0 << QString();
        QTest::newRow("unused water user") << false << false << 1 << 2 << QString();
    }
    void deletingAsksWhenUsedAndChoosesNothing()
    {
        QFETCH(bool, used);
        QFETCH(bool, site);
        QFETCH(int, aggDivID);
        QFETCH(int, waterUserID);
        QFETCH(QString, question);
        if (used)
            reopenWith(QString::fromLatin1(Changes));
        const QString count = site ? QStringLiteral("SELECT COUNT(*) FROM AggDiv")
                                   : QStringLiteral("SELECT COUNT(*) FROM WaterUser");
        const int before = scalar(count).toInt();
        BaselineDlg dialog;
        ModalDriver driver;
        dialog.scrollToAggDiv(aggDivID);
        if (!site)
            dialog.scrollToWaterUser(waterUserID);
        const char* button = site ? "_deleteAggDivButton" : "_deleteWaterUserButton";
        auto* view = child<QTableView>(&dialog, site ? "_aggDivTableView" : "_waterUserTableView");
        if (used) {
            driver.answer(QMessageBox::No);
            click(&dialog, button);
            QVERIFY(driver.done());
            QCOMPARE(scalar(count).toInt(), before);
            QVERIFY(view->currentIndex().isValid());
            driver.answer(QMessageBox::Yes);
        }
        click(&dialog, button);
        QVERIFY(driver.done());
        QCOMPARE(driver.texts, used ? (QStringList { question, question }) : QStringList());
        QCOMPARE(scalar(count).toInt(), before - 1);
        QVERIFY(!view->currentIndex().isValid());
        QVERIFY(!child<QPushButton>(&dialog, button)->isEnabled());
        click(&dialog, button);
        QCOMPARE(scalar(count).toInt(), before - 1);
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    }

    // A water user of any site is found by part of its name or Riffle name: its site and the
    // water user are chosen, Enter again goes on to the next match.
    void findWaterUserAcrossSites()
    {
        BaselineDlg dialog;
        dialog.show();
        auto* find = child<QLineEdit>(&dialog, "_findWaterUserLineEdit");
        auto* said = child<QLabel>(&dialog, "_findWaterUserLabel");
        auto* sites = child<QTableView>(&dialog, "_aggDivTableView");
        auto* users = child<QTableView>(&dialog, "_waterUserTableView");
        const auto chosen = [&]() -> QString {
            return sites->currentIndex().data().toString() + QLatin1Char('/')
                + users->currentIndex().data().toString();
        };
        // A filter that hides the match is cleared.
        child<QLineEdit>(&dialog, "_aggDivFilterLineEdit")->setText(QStringLiteral("South"));
        find->setText(QStringLiteral("mi"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("East Pipe/Mill"));
        QCOMPARE(said->text(), QStringLiteral("1 of 1: Mill (MI) at East Pipe"));
        find->setText(QStringLiteral("DITCH"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("North Canal/Upper Ditch"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("North Canal/Lower Ditch"));
        QCOMPARE(said->text(), QStringLiteral("2 of 2: Lower Ditch (LD) at North Canal"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("North Canal/Upper Ditch"));
        find->setText(QStringLiteral("50%"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(
            said->text(), QStringLiteral("No water user's name or Riffle name contains \"50%\"."));
        QCOMPARE(dialog.result(), 0);
    }

    void deletedWaterUserIsRecorded()
    {
        BaselineDlg dialog;
        auto* waterUsers = child<QTableView>(&dialog, "_waterUserTableView");
        waterUsers->setCurrentIndex(waterUsers->model()->index(1, 2));
        dialog.delWaterUserHandler();
        QCOMPARE(waterUsers->model()->rowCount(), 1);
        QCOMPARE(dialog.changeLog().waterUserReason(1, 2),
            QStringLiteral("Water User 002.Lower Ditch was deleted"));
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser WHERE WaterUserID = 2")).toInt(),
            0);
    }

    void movedSitesKeepTheirOrder()
    {
        {
            BaselineDlg dialog;
            child<QPushButton>(&dialog, "_moveAggDivDownButton")->click();
            auto* sites = child<QTableView>(&dialog, "_aggDivTableView");
            QCOMPARE(sites->model()->index(0, 1).data().toString(), QStringLiteral("South Ditch"));
            QCOMPARE(sites->model()->index(1, 1).data().toString(), QStringLiteral("North Canal"));
            QVERIFY(dialog.applyChanges().isOk());
            QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
        }
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT Ord FROM AggDiv WHERE AggDivID = 1")).toInt(),
            1);
        BaselineDlg reopened;
        auto* sites = child<QTableView>(&reopened, "_aggDivTableView");
        QCOMPARE(sites->model()->index(0, 1).data().toString(), QStringLiteral("South Ditch"));
    }
};

QTEST_MAIN(TestBaselineDlgEditing)
#include "tst_baselinedlg_editing.moc"
