#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "calc/PasteParsers.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/scenario/ChangeDataModel.h"
#include "ui/scenario/ChangeDataWidget.h"
#include "ui/scenario/PasteMethodDlg.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

#include <cmath>

namespace {

// Change 1 of scenario 1 has stored depletion changes for 1991 and 1992; change 11 of scenario
// 2 has one for 1993 that must never show up in change 1's widget.
const char* const Project = R"(
INSERT INTO Scenario (ScenarioID, ScenarioName) VALUES (1, 'Dry'), (2, 'Wet');
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, CreatedDate,
    DepletionCalcMethodID, EfficiencyCalcMethodID) VALUES
    (1, 1, 'Cut', '2020-01-01', 2, 1), (11, 2, 'Other', '2020-01-01', 1, 1);
INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES
    (1, 1991, 1, 10), (1, 1992, 4, 1990), (11, 1993, 3, 99);
)";

QMap<int, QString> typeNames()
{
    return { { 1, QStringLiteral("Percent Change") }, { 2, QStringLiteral("Amount Change") },
        { 3, QStringLiteral("New Amount") }, { 4, QStringLiteral("Set to a Baseline Year") } };
}

// Years 1990 .. 1995 with the baseline totals 100, 200, ... 600; 1995 varies.
void fillModel(ChangeDataModel& model)
{
    model.setChangeTypeNames(typeNames());
    QVector<ChangeDataRow> rows;
    for (int year = 1990; year <= 1995; ++year)
        rows.append(ChangeDataRow(year));
    model.setRows(rows);
    QHash<int, double> baseline;
    for (int year = 1990; year <= 1994; ++year)
        baseline.insert(year, (year - 1989) * 100.0);
    baseline.insert(1995, ChangeDataRow::Varies);
    model.setBaselineValues(baseline);
}

QString cell(const ChangeDataModel& model, int year, int column)
{
    return model.index(model.rowOfYear(year), column).data().toString();
}

QList<QList<QVariant>> storedChanges(int demandChgID)
{
    QList<QList<QVariant>> rows;
    QSqlQuery query(TarnDbMgr::instance()->database());
    query.exec(testSql(QStringLiteral("SELECT Year, ChangeTypeID, ChangeValue FROM DepletionChg "
                                      "WHERE DemandChgID = %1 ORDER BY Year")
                           .arg(demandChgID)));
    while (query.next())
        rows.append({ query.value(0).toInt(), query.value(1).toInt(), query.value(2).toDouble() });
    return rows;
}

void selectYears(QListWidget* list, const QList<int>& years)
{
    list->clearSelection();
    for (int row = 0; row < list->count(); ++row) {
        if (years.contains(list->item(row)->text().toInt()))
            list->item(row)->setSelected(true);
    }
}

} // namespace

class TestChangeDataWidget : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void scenarioValueRules_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("change");
        QTest::addColumn<QString>("scenario");

        QTest::newRow("percent 10 of 200") << 1991 << 1 << 10.0 << QStringLiteral("220");
        QTest::newRow("amount -5 of 200") << 1991 << 2 << -5.0 << QStringLiteral("195");
        QTest::newRow("new amount 150") << 1991 << 3 << 150.0 << QStringLiteral("150");
        QTest::newRow("baseline year 1990") << 1993 << 4 << 1990.0 << QStringLiteral("100");
        QTest::newRow("baseline year outside the range") << 1993 << 4 << 1980.0 << QString();
        QTest::newRow("baseline year that varies") << 1993 << 4 << 1995.0 << QString();
        QTest::newRow("varies shows no scenario value") << 1995 << 3 << 0.7 << QString();
    }
    void scenarioValueRules()
    {
        QFETCH(int, year);
        QFETCH(int, type);
        QFETCH(double, change);
        QFETCH(QString, scenario);
        ChangeDataModel model;
        fillModel(model);
        model.setChange(model.rowOfYear(year), type, change);
        QCOMPARE(cell(model, year, ChangeDataModel::ChangeTypeColumn), typeNames().value(type));
        QCOMPARE(cell(model, year, ChangeDataModel::ScenarioValueColumn), scenario);
        QCOMPARE(cell(model, 1995, ChangeDataModel::BaselineColumn), QStringLiteral("Varies"));
        // Rows without a change show no change and no scenario value.
        QVERIFY(cell(model, 1994, ChangeDataModel::ChangeColumn).isEmpty());
        QVERIFY(cell(model, 1994, ChangeDataModel::ScenarioValueColumn).isEmpty());
    }

    void newBaselineValuesReplaceOldOnes()
    {
        ChangeDataModel model;
        fillModel(model);
        model.setChange(model.rowOfYear(1991), 4, 1990);
        model.setChange(model.rowOfYear(1992), 1, 50);
        QCOMPARE(cell(model, 1991, ChangeDataModel::ScenarioValueColumn), QStringLiteral("100"));
        QCOMPARE(cell(model, 1992, ChangeDataModel::ScenarioValueColumn), QStringLiteral("450"));

        // Other water users with results for 1992 only: 1990 has no value any more.
        model.setBaselineValues({ { 1992, 10.0 } });
        QVERIFY(cell(model, 1990, ChangeDataModel::BaselineColumn).isEmpty());
        QVERIFY(cell(model, 1991, ChangeDataModel::ScenarioValueColumn).isEmpty());
        QCOMPARE(cell(model, 1992, ChangeDataModel::ScenarioValueColumn), QStringLiteral("15"));
    }

    void editingCells()
    {
        ChangeDataModel model;
        fillModel(model);
        const int row = model.rowOfYear(1992);
        QVERIFY(model.flags(model.index(row, ChangeDataModel::ChangeColumn)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(row, ChangeDataModel::YearColumn)) & Qt::ItemIsEditable));
        QVERIFY(model.setData(model.index(row, ChangeDataModel::ChangeTypeColumn), 3));
        QVERIFY(model.setData(model.index(row, ChangeDataModel::ChangeColumn), 150.0));
        QCOMPARE(
            cell(model, 1992, ChangeDataModel::ChangeTypeColumn), QStringLiteral("New Amount"));
        QCOMPARE(cell(model, 1992, ChangeDataModel::ScenarioValueColumn), QStringLiteral("150"));
        // The number delegate hands over a null text for a cleared cell.
        QVERIFY(
            model.setData(model.index(row, ChangeDataModel::ChangeColumn), QVariant(QString())));
        QVERIFY(std::isnan(model.rows().at(row).change));
        QVERIFY(cell(model, 1992, ChangeDataModel::ScenarioValueColumn).isEmpty());
        QVERIFY(!model.setData(model.index(row, ChangeDataModel::ChangeTypeColumn), 9));
        QVERIFY(!model.setData(model.index(row, ChangeDataModel::YearColumn), 2000));
    }

    void pastedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QVector<double>>("values");

        QTest::newRow("two values")
            << QStringLiteral("5\n7.5") << 2 << QString() << QVector<double> { 5, 7.5 };
        QTest::newRow("trailing empty line ignored")
            << QStringLiteral("5\n7\n") << 2 << QString() << QVector<double> { 5, 7 };
        QTest::newRow("spreadsheet line ends")
            << QStringLiteral("1\r\n-2\r\n") << 2 << QString() << QVector<double> { 1, -2 };
        QTest::newRow("empty") << QStringLiteral(" \n ") << 2
                               << QStringLiteral("The clipboard is empty") << QVector<double>();
        QTest::newRow("too many values")
            << QStringLiteral("1\n2\n3") << 2
            << QStringLiteral("The number of values from the clipboard (3) doesn't match the "
                              "number of selected years (2)")
            << QVector<double>();
        QTest::newRow("not a number")
            << QStringLiteral("1\nabc") << 2
            << QStringLiteral("The pasted value abc doesn't represent a number")
            << QVector<double>();
    }
    void pastedText()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QFETCH(QString, error);
        QFETCH(QVector<double>, values);
        QVector<double> parsed { 42 };
        QCOMPARE(Paste::changeValues(text, expected, parsed), error);
        QCOMPARE(parsed, values);
    }

    void setupShowsOnlyThisChange()
    {
        QVERIFY(openProject());
        ChangeDataWidget widget;
        QVERIFY(widget.setup(ChangeDataWidget::Depletion, 0, 1).isOk());
        ChangeDataModel* model = widget.dataModel();
        QCOMPARE(model->rowCount(), 6);
        QCOMPARE(cell(*model, 1991, ChangeDataModel::ChangeTypeColumn),
            QStringLiteral("Percent Change"));
        QCOMPARE(cell(*model, 1991, ChangeDataModel::ChangeColumn), QStringLiteral("10"));
        QCOMPARE(cell(*model, 1992, ChangeDataModel::ChangeTypeColumn),
            QStringLiteral("Set to a Baseline Year"));
        QVERIFY(cell(*model, 1993, ChangeDataModel::ChangeTypeColumn).isEmpty());
        QCOMPARE(child<QListWidget>(&widget, "_chgYearsListWidget")->count(), 6);
        QVERIFY(child<QRadioButton>(&widget, "_interpRadioBtn")->isChecked());
        QVERIFY(child<QRadioButton>(&widget, "_chgSelYrsRadioBtn")->isChecked());
        QVERIFY(child<QLineEdit>(&widget, "_pctChgLineEdit")->isEnabled());
        QVERIFY(!child<QLineEdit>(&widget, "_amtChgLineEdit")->isEnabled());
        QCOMPARE(child<QLabel>(&widget, "_amtChgLabel")->text(), QStringLiteral("KAF/yr"));

        ChangeDataWidget efficiency;
        efficiency.setup(ChangeDataWidget::Efficiency, 0, 1);
        QCOMPARE(child<QLabel>(&efficiency, "_amtChgLabel")->text(), QStringLiteral("0.XX"));
        QCOMPARE(child<QLabel>(&efficiency, "_newAmtLabel")->text(), QStringLiteral("0.XX"));
        QVERIFY(child<QRadioButton>(&efficiency, "_useBaseRadioBtn")->isChecked());
        QCOMPARE(efficiency.dataModel()->rowCount(), 6);
        QVERIFY(cell(*efficiency.dataModel(), 1991, ChangeDataModel::ChangeTypeColumn).isEmpty());
    }

    void allYearsFollowsTheSelection()
    {
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        auto* list = child<QListWidget>(&widget, "_chgYearsListWidget");
        auto* all = child<QRadioButton>(&widget, "_chgAllYrsRadioBtn");
        all->click();
        QCOMPARE(list->selectedItems().size(), 6);
        list->item(2)->setSelected(false);
        QVERIFY(child<QRadioButton>(&widget, "_chgSelYrsRadioBtn")->isChecked());
        QCOMPARE(list->selectedItems().size(), 5);
    }

    void refusedModify_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("withYears");
        QTest::addColumn<QString>("message");
        QTest::newRow("no value") << QString() << true
                                  << QStringLiteral("A change value must be specified");
        QTest::newRow("half-typed number")
            << QStringLiteral("-") << true << QStringLiteral("A change value must be specified");
        QTest::newRow("no year") << QStringLiteral("5") << false
                                 << QStringLiteral("The change years must be selected");
        // Neither may reach the file as a change of infinity or NaN.
        for (const char* number : { "1e400", "inf", "-inf", "nan" })
            QTest::newRow(number) << QString::fromLatin1(number) << true
                                  << QStringLiteral("A change value must be specified");
    }
    void refusedModify()
    {
        QFETCH(QString, value);
        QFETCH(bool, withYears);
        QFETCH(QString, message);
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        child<QLineEdit>(&widget, "_pctChgLineEdit")->setText(value);
        selectYears(child<QListWidget>(&widget, "_chgYearsListWidget"),
            withYears ? QList<int> { 1993 } : QList<int>());
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        widget.modifySelYearsHandler();
        QCOMPARE(driver.texts, QStringList { message });
        QVERIFY(cell(*widget.dataModel(), 1993, ChangeDataModel::ChangeTypeColumn).isEmpty());
    }

    void modifyThenSaveRewritesTheRows()
    {
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        auto* list = child<QListWidget>(&widget, "_chgYearsListWidget");

        child<QLineEdit>(&widget, "_pctChgLineEdit")->setText(QStringLiteral("-20"));
        selectYears(list, { 1993, 1991 });
        child<QPushButton>(&widget, "_modifySelYearsBtn")->click();
        child<QRadioButton>(&widget, "_baseYearRadioBtn")->click();
        QVERIFY(!child<QLineEdit>(&widget, "_pctChgLineEdit")->isEnabled());
        QVERIFY(child<QLineEdit>(&widget, "_pctChgLineEdit")->text().isEmpty());
        auto* years = child<QComboBox>(&widget, "_baseYearComboBox");
        QCOMPARE(years->count(), 6);
        years->setCurrentText(QStringLiteral("1990"));
        selectYears(list, { 1995 });
        child<QPushButton>(&widget, "_modifySelYearsBtn")->click();
        selectYears(list, { 1992 });
        child<QPushButton>(&widget, "_resetSelYearsBtn")->click();
        child<QRadioButton>(&widget, "_useBaseRadioBtn")->setChecked(true);

        QVERIFY(widget.save().isOk());
        const QList<QList<QVariant>> expected { { 1991, 1, -20.0 }, { 1993, 1, -20.0 },
            { 1995, 4, 1990.0 } };
        QCOMPARE(storedChanges(1), expected);
        QCOMPARE(storedChanges(11).size(), 1);
        auto* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        QCOMPARE(changes->index(0, 5).data().toInt(), 1);
    }

    void savingAfterResettingEveryYearRemovesTheRows()
    {
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        child<QRadioButton>(&widget, "_chgAllYrsRadioBtn")->click();
        child<QPushButton>(&widget, "_resetSelYearsBtn")->click();
        QVERIFY(widget.save().isOk());
        QVERIFY(storedChanges(1).isEmpty());
        QCOMPARE(storedChanges(11).size(), 1);
        QCOMPARE(
            TarnDbMgr::instance()->scenarioDAO()->demandChgModel()->index(0, 5).data().toInt(), 2);
    }

    // Stored changes of years the widget does not show (the baseline's range shrank after they
    // were made) are not the user's to lose: a save keeps them as they are.
    void changesOutsideTheRangeAreKept_data()
    {
        QTest::addColumn<bool>("resetAll");
        QTest::newRow("one year modified") << false;
        QTest::newRow("every shown year reset") << true;
    }
    void changesOutsideTheRangeAreKept()
    {
        QFETCH(bool, resetAll);
        QVERIFY(openProject());
        QSqlQuery outside(TarnDbMgr::instance()->database());
        QVERIFY(outside.exec(testSql(QStringLiteral(
            "INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES "
            "(1, 1985, 3, 85), (1, 2001, 2, -1)"))));
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        QCOMPARE(widget.dataModel()->rowCount(), 6);
        auto* list = child<QListWidget>(&widget, "_chgYearsListWidget");
        if (resetAll) {
            child<QRadioButton>(&widget, "_chgAllYrsRadioBtn")->click();
            child<QPushButton>(&widget, "_resetSelYearsBtn")->click();
        } else {
            child<QLineEdit>(&widget, "_pctChgLineEdit")->setText(QStringLiteral("5"));
            selectYears(list, { 1994 });
            child<QPushButton>(&widget, "_modifySelYearsBtn")->click();
        }
        const TARN::okstat saved = widget.save();
        QVERIFY2(saved.isOk(), qPrintable(saved.text()));
        QList<QList<QVariant>> expected { { 1985, 3, 85.0 } };
        if (!resetAll)
            expected << QList<QVariant> { 1991, 1, 10.0 } << QList<QVariant> { 1992, 4, 1990.0 }
                     << QList<QVariant> { 1994, 1, 5.0 };
        expected << QList<QVariant> { 2001, 2, -1.0 };
        QCOMPARE(storedChanges(1), expected);
        QCOMPARE(storedChanges(11).size(), 1);
    }

    void failedSubmitIsReported()
    {
        QVERIFY(openProject());
        QSqlQuery trigger(TarnDbMgr::instance()->database());
        QVERIFY(trigger.exec(QStringLiteral("CREATE TRIGGER refuse_change BEFORE INSERT ON "
                                            "DepletionChg BEGIN SELECT RAISE(ABORT, 'change "
                                            "refused'); END")));
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        child<QLineEdit>(&widget, "_pctChgLineEdit")->setText(QStringLiteral("5"));
        selectYears(child<QListWidget>(&widget, "_chgYearsListWidget"), { 1994 });
        child<QPushButton>(&widget, "_modifySelYearsBtn")->click();
        const TARN::okstat saved = widget.save();
        QVERIFY(saved.failed());
        QVERIFY2(saved.text().startsWith(
                     QStringLiteral("Error submitting changes to the DepletionChg table: ")),
            qPrintable(saved.text()));
        QVERIFY2(saved.text().contains(QStringLiteral("change refused")), qPrintable(saved.text()));
        QCOMPARE(storedChanges(1).size(), 2);
    }

    void yearWithoutValueIsIncomplete()
    {
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        ChangeDataModel* model = widget.dataModel();
        model->setData(model->index(model->rowOfYear(1994), ChangeDataModel::ChangeTypeColumn), 2);
        const TARN::okstat saved = widget.save();
        QCOMPARE(saved.text(), QStringLiteral("The data for year 1994 is incomplete."));
        QCOMPARE(storedChanges(1).size(), 2);
    }

    void pasteFillsSelectedYearsInYearOrder()
    {
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        auto* list = child<QListWidget>(&widget, "_chgYearsListWidget");
        list->item(4)->setSelected(true);
        list->item(0)->setSelected(true);
        QApplication::clipboard()->setText(QStringLiteral("5\n7\n"));
        ModalDriver driver;
        driver.expect<PasteMethodDlg>([](PasteMethodDlg* dialog) {
            QVERIFY(child<QRadioButton>(dialog, "_newAmtRadioBtn")->isChecked());
            child<QRadioButton>(dialog, "_amtChgRadioBtn")->setChecked(true);
            child<QPushButton>(dialog, "_okButton")->click();
        });
        child<QPushButton>(&widget, "_pasteSelYearsBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(
            cell(*widget.dataModel(), 1990, ChangeDataModel::ChangeColumn), QStringLiteral("5"));
        QCOMPARE(
            cell(*widget.dataModel(), 1994, ChangeDataModel::ChangeColumn), QStringLiteral("7"));
        QCOMPARE(cell(*widget.dataModel(), 1994, ChangeDataModel::ChangeTypeColumn),
            QStringLiteral("Amount Change"));
    }

    void refusedPasteKeepsTheDialogOpen_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("message");
        QTest::newRow("too many values")
            << QStringLiteral("1\n2\n3")
            << QStringLiteral("The number of values from the clipboard (3) doesn't match the "
                              "number of selected years (2)");
        QTest::newRow("not a number") << QStringLiteral(
            "1\nten") << QStringLiteral("The pasted value ten doesn't represent a number");
        for (const char* number : { "1e400", "inf", "nan" })
            QTest::newRow(number) << QStringLiteral("1\n%1").arg(QLatin1String(number))
                                  << QStringLiteral(
                                         "The pasted value %1 doesn't represent a number")
                                         .arg(QLatin1String(number));
    }
    void refusedPasteKeepsTheDialogOpen()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, message);
        QVERIFY(openProject());
        ChangeDataWidget widget;
        widget.setup(ChangeDataWidget::Depletion, 0, 1);
        selectYears(child<QListWidget>(&widget, "_chgYearsListWidget"), { 1993, 1994 });
        QApplication::clipboard()->setText(clipboard);
        ModalDriver driver;
        bool stillOpen = false;
        QString details;
        driver.expect<PasteMethodDlg>(
            [](PasteMethodDlg* dialog) { child<QPushButton>(dialog, "_okButton")->click(); });
        QString shown;
        driver.expect<QMessageBox>([&details, &shown](QMessageBox* box) {
            shown = box->text();
            details = box->detailedText();
            box->button(QMessageBox::Ok)->click();
        });
        driver.expect<PasteMethodDlg>([&stillOpen](PasteMethodDlg* dialog) {
            stillOpen = dialog->isVisible();
            child<QPushButton>(dialog, "_cancelButton")->click();
        });
        child<QPushButton>(&widget, "_pasteSelYearsBtn")->click();
        QVERIFY(driver.done());
        QVERIFY(stillOpen);
        QCOMPARE(details, QStringLiteral("Clipboard text:\n\n") + clipboard);
        QVERIFY(cell(*widget.dataModel(), 1993, ChangeDataModel::ChangeTypeColumn).isEmpty());
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(shown, message);
    }

private:
    // The 1990-1995 project with its demand change, open in the manager.
    bool openProject()
    {
        _project = std::make_unique<TestProject>(1990, 1995);
        return _project->exec(QString::fromUtf8(Project)).isOk()
            && _project->openInManager().isOk();
    }

    std::unique_ptr<TestProject> _project;
};

QTEST_MAIN(TestChangeDataWidget)
#include "tst_changedatawidget.moc"
