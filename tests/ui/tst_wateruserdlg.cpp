#include "support/TestProject.h"

#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/baseline/ExplainDlg.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/WaterUserAttrViewModel.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>
#include <QtTest>

namespace {

// Four sites with two site attributes (Basin, Zone); site 1 holds baseline water users with
// Ord 1 and 4 and a scenario water user with Ord 9; site 4 has none.
const char* const Project = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 3, 'North Canal', 'NC', 0), (2, 1, 'South Ditch', 'SD', 1),
    (3, 2, 'East Pipe', 'EP', 2), (4, 4, 'Empty Site', 'ES', 3);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES
    (1, 'Basin', 1), (2, 'Zone', 1), (3, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (12, 1, 'Upper'), (13, 1, 'Lower'),
    (21, 2, 'Unassigned'), (22, 2, 'A'), (23, 2, 'B'),
    (31, 3, 'Unassigned'), (32, 3, 'Irrigation');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES
    (1, 1, 13), (2, 1, 22), (1, 2, 13), (2, 2, 23), (1, 3, 12), (2, 3, 22), (1, 4, 11), (2, 4, 21);
INSERT INTO Scenario (ScenarioID, ScenarioName) VALUES (1, 'Dry');
INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, NULL, 'Upper Ditch', 'UD', 1), (2, 1, NULL, 'Lower Ditch', 'LD', 4),
    (3, 2, NULL, 'Farm', 'FA', 1), (4, 1, 1, 'Scenario Only', 'SO', 9);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    VALUES (1, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5),
           (2, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10, 10, 10),
           (3, 0, 0, 0, 0, 20, 20, 20, 20, 20, 0, 0, 0);
INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES (3, 1, 32);
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES (1, 2000, 100, 40, 0.4, 1), (1, 2001, 110, 44, 0.4, 2);
)";

QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

// Answers every message box that becomes modal and keeps its text and title.
class BoxCatcher : public QObject {
public:
    // Boxes are answered with answer when they offer it, else closed.
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok)
    {
        connect(&_timer, &QTimer::timeout, this, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            titles << box->windowTitle();
            box->button(answer) ? box->button(answer)->click() : box->reject();
        });
        _timer.start(10);
    }
    QStringList texts;
    QStringList titles;

private:
    QTimer _timer;
};

void setCoefficients(WaterUserDlg& dialog, const QStringList& texts)
{
    const auto& editors = dialog.coefficientEditors();
    for (int i = 0; i < editors.size(); ++i)
        editors.at(i)->setText(texts.value(i, QStringLiteral("0")));
}

void chooseFilterValue(QAbstractItemModel* model, int row, int valueId, const QString& text)
{
    model->setData(model->index(row, AggDivAttrViewModel::ValueIdColumn), valueId);
    model->setData(model->index(row, AggDivAttrViewModel::ValueColumn), text);
}

} // namespace

class TestWaterUserDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void init()
    {
        _project = std::make_unique<TestProject>();
        QVERIFY(_project->exec(QString::fromLatin1(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
    }
    void cleanup()
    {
        _project.reset();
        resetDbManager();
    }

    void formSetsNoDefaultButton()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Water User"));
        QCOMPARE(dialog.size(), QSize(911, 710));
        const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
        QVERIFY(!buttons.isEmpty());
        for (QPushButton* button : buttons)
            QVERIFY(!button->isDefault() && !button->autoDefault());
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("_waterUserNameLineEdit"))->text(),
            QStringLiteral("Upper Ditch"));
        QCOMPARE(dialog.dataModel()->rowCount(), 11); // missing baseline years filled
        QCOMPARE(dialog.dataModel()->record(1).DepletionReq, 44.0);
        QVERIFY(dialog.dataTableView()->isColumnHidden(0));
    }

    void coefficientSum_data()
    {
        QTest::addColumn<QString>("january");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exactly 100") << "100" << true;
        QTest::newRow("99.99996 is within the tolerance") << "99.99996" << true;
        QTest::newRow("99.9999 is refused") << "99.9999" << false;
        QTest::newRow("100.0001 is refused") << "100.0001" << false;
    }

    void coefficientSum()
    {
        QFETCH(QString, january);
        QFETCH(bool, accepted);
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        setCoefficients(dialog, { january });
        BoxCatcher catcher;
        const TARN::okstat result = dialog.applyChanges();
        QCOMPARE(result.isOk(), accepted);
        if (accepted) {
            QVERIFY(catcher.texts.isEmpty());
            QCOMPARE(scalar(QStringLiteral("SELECT Jan FROM WaterUserDist WHERE WaterUserID = 1"))
                         .toDouble(),
                january.toDouble());
        } else {
            QCOMPARE(result.text(), QStringLiteral("Sum of coefficients must = 100."));
            QCOMPARE(catcher.texts, QStringList { result.text() });
            QCOMPARE(catcher.titles, QStringList { QStringLiteral("Water User") });
            QCOMPARE(scalar(QStringLiteral("SELECT Jan FROM WaterUserDist WHERE WaterUserID = 1"))
                         .toDouble(),
                10.0);
        }
    }

    void coefficientTotalLabel()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        auto* total = dialog.findChild<QLabel*>(QStringLiteral("_coefficientTotalLabel"));
        QCOMPARE(total->text(), QStringLiteral("100")); // bound from the stored row
        setCoefficients(dialog,
            { QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("8"),
                QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("8"),
                QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("10"),
                QStringLiteral("10") });
        QCOMPARE(total->text(), QStringLiteral("100"));
        QCOMPARE(dialog.sumCoefficients(), 100.0);
        dialog.coefficientEditors().at(0)->setText(QStringLiteral("abc"));
        QCOMPARE(total->text(), QStringLiteral("92"));
    }

    void siteChoiceNarrowedByTwoAttributes()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("_aggDivNameComboBox"));
        auto* filter = dialog.findChild<QTableView*>(QStringLiteral("_aggDivAttrTableView"));
        QCOMPARE(combo->count(), 4);
        QCOMPARE(combo->currentText(), QStringLiteral("North Canal"));
        QAbstractItemModel* model = filter->model();
        QCOMPARE(model->rowCount(), 2);

        chooseFilterValue(model, 0, 13, QStringLiteral("Lower"));
        QCOMPARE(combo->count(), 0); // Zone has no value yet: nothing matches
        chooseFilterValue(model, 1, 22, QStringLiteral("A"));
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("North Canal"));
        chooseFilterValue(model, 1, 23, QStringLiteral("B"));
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("South Ditch"));
        chooseFilterValue(model, 0, 12, QStringLiteral("Upper"));
        QCOMPARE(combo->count(), 0);
    }

    void filteringNeverChangesTheChosenSite()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("_aggDivNameComboBox"));
        QAbstractItemModel* filter
            = dialog.findChild<QTableView*>(QStringLiteral("_aggDivAttrTableView"))->model();
        chooseFilterValue(filter, 0, 12, QStringLiteral("Upper"));
        chooseFilterValue(filter, 1, 22, QStringLiteral("A"));
        QCOMPARE(combo->count(), 1); // East Pipe; the chosen North Canal is not listed
        QCOMPARE(combo->currentIndex(), -1);
        BoxCatcher catcher;
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(
            scalar(QStringLiteral("SELECT AggDivID FROM WaterUser WHERE WaterUserID = 1")).toInt(),
            1);

        // Picking a site is what moves the water user.
        combo->setCurrentIndex(0);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(
            scalar(QStringLiteral("SELECT AggDivID FROM WaterUser WHERE WaterUserID = 1")).toInt(),
            3);
        QVERIFY2(catcher.texts.isEmpty(), qPrintable(catcher.texts.join(QLatin1Char('\n'))));
    }

    void coefficientFieldsTakeFiniteNumbersOnly()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        MonthlyCoefficientLineEdit* january = dialog.coefficientEditors().at(0);
        january->clear();
        QTest::keyClicks(january, QStringLiteral("a1b.5c"));
        QCOMPARE(january->text(), QStringLiteral("1.5"));

        // Text that is no number (a file made elsewhere may hold one) is refused at the save.
        january->setText(QStringLiteral("abc"));
        dialog.coefficientEditors().at(1)->setText(QStringLiteral("20"));
        BoxCatcher catcher;
        QCOMPARE(dialog.applyChanges().text(), QStringLiteral("'abc' is not numeric."));
        const QString stored = QStringLiteral(
            "SELECT typeof(Jan) || ':' || ifnull(Jan, '') || ':' || typeof(Feb) || ':' || Feb "
            "FROM WaterUserDist WHERE WaterUserID = 1");
        QCOMPARE(scalar(stored).toString(), QStringLiteral("real:10.0:real:10.0"));

        // An empty field counts 0 and is stored as no value; numbers are stored as numbers.
        january->clear();
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(scalar(stored).toString(), QStringLiteral("null::real:20.0"));
        QCOMPARE(catcher.texts, QStringList { QStringLiteral("'abc' is not numeric.") });
    }

    void cancelUndoesACopy()
    {
        const QString copied
            = QStringLiteral("SELECT (SELECT COUNT(*) FROM WaterUserData WHERE WaterUserID = 2) "
                             "|| ':' || (SELECT %1 FROM WaterUserDist WHERE WaterUserID = 2)")
                  .arg(testColumn(TN::WaterUserDistTable, TP::FirstCoefficient));
        QCOMPARE(scalar(copied).toString(), QStringLiteral("0:5.0"));
        {
            WaterUserDlg dialog(nullptr, 2, 1, -1);
            dialog.copyWaterUserData(1);
            QCOMPARE(scalar(copied).toString(), QStringLiteral("2:10.0"));
            // The copy is not applied yet: Cancel asks before it throws it away.
            BoxCatcher yes(QMessageBox::Yes);
            dialog.reject();
            QCOMPARE(yes.texts,
                QStringList { QStringLiteral(
                    "Are you sure you want to cancel? Any changes made will be lost.") });
        }
        QCOMPARE(scalar(copied).toString(), QStringLiteral("0:5.0"));

        // Once saved, the copy is an edit like any other: Cancel keeps it.
        WaterUserDlg dialog(nullptr, 2, 1, -1);
        dialog.copyWaterUserData(1);
        BoxCatcher catcher;
        QVERIFY(dialog.applyChanges().isOk());
        dialog.reject();
        QCOMPARE(scalar(copied).toString(), QStringLiteral("2:10.0"));
    }

    void newWaterUserOrd_data()
    {
        QTest::addColumn<int>("site");
        QTest::addColumn<int>("ord");
        QTest::newRow("after the largest baseline Ord") << 1 << 5;
        QTest::newRow("first of its site") << 4 << 1;
    }

    void newWaterUserOrd()
    {
        QFETCH(int, site);
        QFETCH(int, ord);
        WaterUserDlg dialog(nullptr, -1, site, -1);
        QVERIFY(dialog.isNewWaterUser());
        const int id = dialog.waterUserID();
        QVERIFY(id > 4);
        const QString where = QStringLiteral(" WHERE WaterUserID = %1").arg(id);
        QCOMPARE(scalar(QStringLiteral("SELECT Ord FROM WaterUser") + where).toInt(), ord);
        QCOMPARE(scalar(QStringLiteral("SELECT AggDivID FROM WaterUser") + where).toInt(), site);
        QVERIFY(scalar(QStringLiteral("SELECT ScenarioID FROM WaterUser") + where).isNull());
        QCOMPARE(scalar(QStringLiteral("SELECT WaterUserName FROM WaterUser") + where).toString(),
            QStringLiteral("Enter Water User Name"));
        QCOMPARE(
            scalar(QStringLiteral("SELECT Jan + Dec FROM WaterUserDist") + where).toDouble(), 0.0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserData") + where).toInt(), 11);
        QCOMPARE(dialog.dataModel()->rowCount(), 11);
        // Its attributes start at each attribute's first value.
        auto* attrs = dialog.findChild<QTableView*>(QStringLiteral("_waterUserAttrTableView"));
        QCOMPARE(attrs->model()->rowCount(), 1);
        QCOMPARE(attrs->model()->index(0, WaterUserAttrViewModel::ValueColumn).data().toString(),
            QStringLiteral("Unassigned"));
    }

    void cancellingANewWaterUserRemovesIt()
    {
        auto* dialog = new WaterUserDlg(nullptr, -1, 1, -1);
        const int id = dialog->waterUserID();
        QSignalSpy canceled(dialog, &WaterUserDlg::waterUserEditCanceled);
        dialog->reject();
        QCOMPARE(canceled.count(), 1);
        QCOMPARE(canceled.at(0).at(0).toInt(), 1);
        QCOMPARE(canceled.at(0).at(1).toInt(), id);
        const QString where = QStringLiteral(" WHERE WaterUserID = %1").arg(id);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser") + where).toInt(), 0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserDist") + where).toInt(), 0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserData") + where).toInt(), 0);
        delete dialog;
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser")).toInt(), 4);
    }

    void cancellingAnExistingWaterUserKeepsIt()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        dialog.findChild<QLineEdit*>(QStringLiteral("_waterUserNameLineEdit"))
            ->setText(QStringLiteral("Renamed"));
        setCoefficients(dialog, { QStringLiteral("100") });
        {
            // Edits not applied: Cancel asks first.
            BoxCatcher yes(QMessageBox::Yes);
            dialog.reject();
            QCOMPARE(yes.texts,
                QStringList { QStringLiteral(
                    "Are you sure you want to cancel? Any changes made will be lost.") });
        }
        QCOMPARE(scalar(QStringLiteral("SELECT WaterUserName FROM WaterUser WHERE WaterUserID = 1"))
                     .toString(),
            QStringLiteral("Upper Ditch"));
        // Nothing of the cancelled edit is left pending for a later submit of the shared models.
        QVERIFY(!TarnDbMgr::instance()->waterUserDAO()->waterUserDistModel()->isDirty());
        QVERIFY(!TarnDbMgr::instance()->waterUserDAO()->waterUserModel()->isDirty());
        WaterUserDlg again(nullptr, 1, 1, -1);
        QCOMPARE(again.coefficientEditors().at(0)->text(), QStringLiteral("10"));
    }

    void applyWritesEveryPart()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        QSignalSpy edited(&dialog, &WaterUserDlg::waterUserEdited);
        dialog.findChild<QLineEdit*>(QStringLiteral("_waterUserNameLineEdit"))
            ->setText(QStringLiteral("Upper Ditch East"));
        WaterUserDataViewModel* data = dialog.dataModel();
        // An edit of one cell runs the rules: diversion 123456.789 with efficiency 0.4.
        data->setData(data->index(0, WaterUserDataViewModel::DiversionColumn), 123456.789);
        QCOMPARE(data->record(0).DepletionReq, 40.0);
        QCOMPARE(data->record(0).EfficiencyRatio, 40.0 / 123456.789);
        data->setData(data->index(5, WaterUserDataViewModel::SalinityColumn), 7.25);
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("_aggDivNameComboBox"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("South Ditch")));

        BoxCatcher catcher;
        QVERIFY(dialog.applyChanges().isOk());
        QVERIFY(catcher.texts.isEmpty());
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(0).toInt(), 2);
        QCOMPARE(edited.at(0).at(1).toInt(), 1);
        QCOMPARE(edited.at(0).at(2).toString(), QStringLiteral("Upper Ditch East"));
        QCOMPARE(
            scalar(QStringLiteral("SELECT AggDivID FROM WaterUser WHERE WaterUserID = 1")).toInt(),
            2);
        QCOMPARE(
            scalar(QStringLiteral("SELECT Ord FROM WaterUser WHERE WaterUserID = 1")).toInt(), 1);
        QCOMPARE(
            scalar(QStringLiteral("SELECT DiversionReq FROM WaterUserData WHERE WaterUserID = 1 "
                                  "AND Year = 2000"))
                .toDouble(),
            123456.789);
        QCOMPARE(scalar(QStringLiteral("SELECT SalinityPickup FROM WaterUserData WHERE WaterUserID "
                                       "= 1 AND Year = 2005"))
                     .toDouble(),
            7.25);
        // Empty years are not stored.
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE WaterUserID = 1"))
                     .toInt(),
            3);
    }

    void copyFromAnotherWaterUser()
    {
        WaterUserDlg dialog(nullptr, -1, 4, -1);
        const int id = dialog.waterUserID();
        dialog.copyWaterUserData(1);
        QCOMPARE(scalar(QStringLiteral("SELECT Jan + Sep FROM WaterUserDist WHERE WaterUserID = %1")
                            .arg(id))
                     .toDouble(),
            15.0);
        QCOMPARE(dialog.coefficientEditors().at(8)->text(), QStringLiteral("5"));
        QCOMPARE(dialog.sumCoefficients(), 100.0);
        QCOMPARE(scalar(QStringLiteral("SELECT SUM(DiversionReq) FROM WaterUserData WHERE "
                                       "WaterUserID = %1")
                            .arg(id))
                     .toDouble(),
            210.0);
        QCOMPARE(dialog.dataModel()->record(1).SalinityPickup, 2.0);
        // The source keeps its own rows.
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE WaterUserID = 1"))
                     .toInt(),
            2);
    }

    void quickPlotSavesAndOpensTheChart()
    {
        WaterUserDlg dialog(nullptr, 1, 1, -1);
        dialog.findChild<QLineEdit*>(QStringLiteral("_riffleNameLineEdit"))
            ->setText(QStringLiteral("UD2"));
        auto* plot = dialog.findChild<QPushButton*>(QStringLiteral("_generatePlotButton"));
        QVERIFY(plot->isEnabled());
        BoxCatcher catcher;
        plot->click();
        QWidget* window = nullptr;
        QTRY_VERIFY((window = [&dialog]() -> QWidget* {
            for (QWidget* widget : dialog.findChildren<QWidget*>()) {
                if (widget->inherits("WaterUserPlotDlg"))
                    return widget;
            }
            return nullptr;
        }()));
        QCOMPARE(window->windowTitle(), QStringLiteral("NC:UD2"));
        // The chart reads saved data: the dialog's edits were applied first.
        QCOMPARE(scalar(QStringLiteral("SELECT RiffleName FROM WaterUser WHERE WaterUserID = 1"))
                     .toString(),
            QStringLiteral("UD2"));
        QVERIFY2(catcher.texts.isEmpty(), qPrintable(catcher.texts.join(QLatin1Char('\n'))));
        window->close();
    }

    void explainFromTheYearlyTable_data()
    {
        QTest::addColumn<int>("waterUser");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QStringList>("sections");
        QTest::addColumn<QString>("title");

        QTest::newRow("baseline water user")
            << 1 << int(WaterUserDataViewModel::DepletionColumn) << false
            << QStringList { QStringLiteral("Baseline"), QStringLiteral("Dry") }
            << QStringLiteral("Depletion of water user 1 \"Upper Ditch\" (Riffle name UD) in "
                              "2000, baseline: 40");
        // The explanation is of what is stored: the typed 200 is not in it.
        QTest::newRow("edit not applied")
            << 1 << int(WaterUserDataViewModel::DiversionColumn) << true
            << QStringList { QStringLiteral("Baseline"), QStringLiteral("Dry") }
            << QStringLiteral("Diversion of water user 1 \"Upper Ditch\" (Riffle name UD) in "
                              "2000, baseline: 100");
        QTest::newRow("scenario's own water user")
            << 4 << int(WaterUserDataViewModel::YearColumn) << false
            << QStringList { QStringLiteral("Dry") }
            << QStringLiteral("Depletion of water user 4 \"Scenario Only\" (Riffle name SO) in "
                              "2000, scenario \"Dry\": none");
    }

    void explainFromTheYearlyTable()
    {
        QFETCH(int, waterUser);
        QFETCH(int, column);
        QFETCH(bool, edit);
        QFETCH(QStringList, sections);
        QFETCH(QString, title);

        WaterUserDlg dialog(nullptr, waterUser, 1, -1);
        WaterUserDataTableView* table = dialog.dataTableView();
        const QModelIndex cell = dialog.dataModel()->index(0, column);
        if (edit)
            QVERIFY(dialog.dataModel()->setData(cell, 200.0));
        QCOMPARE(dialog.hasUnsavedEdits(), edit);
        table->setCurrentIndex(cell);

        bool chose = false;
        QStringList shown;
        QString text;
        bool noteShown = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions()) {
                    if (action->text() == QLatin1String("Explain...") && action->isEnabled()) {
                        menu->setActiveAction(action);
                        QTest::keyClick(menu, Qt::Key_Return);
                        chose = true;
                        return;
                    }
                }
                menu->close();
            } else if (auto* window
                = qobject_cast<ExplainDlg*>(QApplication::activeModalWidget())) {
                shown = window->sections();
                text = window->text();
                noteShown = window->findChild<QLabel*>(QStringLiteral("_unsavedLabel"))
                                ->isVisibleTo(window);
                window->findChild<QPushButton*>(QStringLiteral("_copyButton"))->click();
                window->findChild<QPushButton*>(QStringLiteral("_closeButton"))->click();
            }
        });
        driver.start(10);
        table->customMenuRequested(QPoint(2, 2));
        driver.stop();

        QVERIFY(chose);
        QCOMPARE(shown, sections);
        const QStringList lines = text.split(QLatin1Char('\n'));
        QVERIFY2(lines.contains(title), qPrintable(text));
        QCOMPARE(lines.first(), sections.first());
        // Nothing was computed into the project yet.
        QCOMPARE(text.count(QStringLiteral("No result is stored")), sections.size());
        QCOMPARE(noteShown, edit);
        const QString copied = QApplication::clipboard()->text();
        QVERIFY(copied.endsWith(text));
        QCOMPARE(copied.startsWith(QLatin1String("This water user has edits")), edit);
    }

private:
    std::unique_ptr<TestProject> _project;
};

QTEST_MAIN(TestWaterUserDlg)
#include "tst_wateruserdlg.moc"
