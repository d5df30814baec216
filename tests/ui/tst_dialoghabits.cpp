#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "db/TarnDbMgr.h"
#include "ui/baseline/AggDivDlg.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/WaterUserDataViewModel.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/PlotDlg.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const char* const Project = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 3, 'North Canal', 'NC', 0);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES (11, 1, 'Unassigned');
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, 'Dry', 'D');
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, CreatedDate) VALUES
    (1, 1, 'Cut', '2020-01-01');
INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, 'Upper Ditch', 'UD', 0);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    VALUES (1, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5);
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES (1, 2000, 478.27634000000006, 40, 0.4, 1), (1, 2001, 110, 44, 0.4, NULL),
    (1, 2002, 120, 48, 0.4, 3);
INSERT INTO Plot (PlotID, Name) VALUES (1, 'Site one');
INSERT INTO PlotCurve (PlotCurveID, PlotID, Name, CurveDataTypeID) VALUES (1, 1, 'Depletion', 1);
)";

std::unique_ptr<QDialog> makeDialog(const QString& kind)
{
    if (kind == QLatin1String("baseline"))
        return std::make_unique<BaselineDlg>();
    if (kind == QLatin1String("scenario")) {
        auto dialog = std::make_unique<ScenarioDlg>();
        dialog->load(1);
        return dialog;
    }
    if (kind == QLatin1String("demand change")) {
        auto dialog = std::make_unique<ChangeSpecDlg>();
        dialog->load(0, 1);
        return dialog;
    }
    if (kind == QLatin1String("water user"))
        return std::make_unique<WaterUserDlg>(nullptr, 1, 1, -1);
    if (kind == QLatin1String("new water user"))
        return std::make_unique<WaterUserDlg>(nullptr, -1, 1, -1);
    if (kind == QLatin1String("new site"))
        return std::make_unique<AggDivDlg>(-1, nullptr);
    if (kind == QLatin1String("plot"))
        return std::make_unique<PlotDlg>(1);
    return std::make_unique<CurveDlg>(1);
}

bool showActive(QWidget* dialog)
{
    dialog->show();
    QApplication::setActiveWindow(dialog);
    return QTest::qWaitForWindowActive(dialog);
}

} // namespace

// The habits of desktop dialogs: Tab goes down the form, Enter presses no button the planner did
// not mean, and typing into a new record's name replaces its placeholder.
class TestDialogHabits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void init()
    {
        _project = std::make_unique<TestProject>();
        QVERIFY(_project->exec(QString::fromLatin1(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }
    void cleanup()
    {
        TarnDbMgr::instance()->rollback();
        _project.reset();
        resetDbManager();
    }

    void tabGoesDownTheForm_data();
    void tabGoesDownTheForm();
    void enterPressesNoUnrelatedButton();
    void typingReplacesThePlaceholder_data();
    void typingReplacesThePlaceholder();
    void everyButtonHasItsOwnMnemonic_data();
    void everyButtonHasItsOwnMnemonic();
    void mainWindowKeys();
    void yearlyTableCopiesARange();
    void nothingIsCutOff_data();
    void nothingIsCutOff();

private:
    std::unique_ptr<TestProject> _project;
};

void TestDialogHabits::tabGoesDownTheForm_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("order");
    const auto row = [](const char* kind, std::initializer_list<const char*> names) {
        QStringList order;
        for (const char* name : names)
            order << QString::fromLatin1(name);
        QTest::newRow(kind) << QString::fromLatin1(kind) << order;
    };
    row("scenario", { "_nameLineEdit", "_shortNameLineEdit", "_userLineEdit", "_descrTextEdit" });
    row("baseline", { "_toolUserName", "_baselineDescription" });
    row("water user", { "_waterUserNameLineEdit", "_riffleNameLineEdit", "_notes" });
    row("demand change", { "_nameLineEdit", "_descrTextEdit" });
    row("plot", { "_nameLineEdit", "_descriptionTextEdit" });
    row("curve", { "_nameLineEdit", "_depletionRadioButton" });
}

void TestDialogHabits::tabGoesDownTheForm()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, order);
    const std::unique_ptr<QDialog> dialog = makeDialog(kind);
    QVERIFY(showActive(dialog.get()));
    auto* first = dialog->findChild<QWidget*>(order.first());
    QVERIFY(first);
    first->setFocus(Qt::TabFocusReason);
    QStringList reached { QApplication::focusWidget()->objectName() };
    for (int step = 1; step < order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(reached, order);
}

void TestDialogHabits::enterPressesNoUnrelatedButton()
{
    BaselineDlg dialog;
    QVERIFY(showActive(&dialog));
    // Whatever dialog Enter might open is closed again, and named.
    QStringList opened;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&dialog, &opened] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != &dialog) {
            opened << modal->windowTitle();
            QTimer::singleShot(0, modal, [modal] { modal->close(); });
        }
    });
    watch.start(10);
    for (const char* name : { "_toolUserName", "_aggDivFilterLineEdit" }) {
        auto* field = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Enter);
        QTest::qWait(50);
    }
    QCOMPARE(opened, QStringList());
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
}

void TestDialogHabits::typingReplacesThePlaceholder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("riffleName");
    QTest::newRow("new site") << QStringLiteral("new site")
                              << QStringLiteral("_aggDivSiteNameLineEdit")
                              << QStringLiteral("_aggDivRWNameLineEdit");
    QTest::newRow("new water user")
        << QStringLiteral("new water user") << QStringLiteral("_waterUserNameLineEdit")
        << QStringLiteral("_riffleNameLineEdit");
}

void TestDialogHabits::typingReplacesThePlaceholder()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, riffleName);
    const std::unique_ptr<QDialog> dialog = makeDialog(kind);
    QVERIFY(showActive(dialog.get()));
    auto* nameField = dialog->findChild<QLineEdit*>(name);
    auto* riffleField = dialog->findChild<QLineEdit*>(riffleName);
    QVERIFY(nameField->text().startsWith(QLatin1String("Enter ")));
    // A click in the middle of the text, then typing.
    QTest::mouseClick(nameField, Qt::LeftButton, {}, nameField->rect().center());
    QTest::qWait(20);
    QTest::keyClicks(nameField, QStringLiteral("North Mesa"));
    QCOMPARE(nameField->text(), QStringLiteral("North Mesa"));
    QTest::mouseClick(riffleField, Qt::LeftButton, {}, QPoint(4, riffleField->height() / 2));
    QTest::qWait(20);
    QTest::keyClicks(riffleField, QStringLiteral("NM"));
    QCOMPARE(riffleField->text(), QStringLiteral("NM"));
    // A name the planner typed is edited like any text.
    QTest::mouseClick(nameField, Qt::LeftButton, {}, QPoint(nameField->width() - 4, 4));
    QTest::qWait(20);
    QTest::keyClick(nameField, Qt::Key_End);
    QTest::keyClicks(nameField, QStringLiteral(" 2"));
    QCOMPARE(nameField->text(), QStringLiteral("North Mesa 2"));
}

void TestDialogHabits::everyButtonHasItsOwnMnemonic_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind :
        { "baseline", "scenario", "demand change", "water user", "new site", "plot", "curve" })
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestDialogHabits::everyButtonHasItsOwnMnemonic()
{
    QFETCH(QString, kind);
    const std::unique_ptr<QDialog> dialog = makeDialog(kind);
    QVERIFY(showActive(dialog.get()));
    // Each page of a tab widget in turn, with the buttons always in view: no two buttons in
    // view share a key, and a button goes without one only when every letter of its text is
    // another's key.
    QList<QTabWidget*> tabWidgets = dialog->findChildren<QTabWidget*>();
    int checked = 0;
    for (int round = 0; round < 6; ++round) {
        for (QTabWidget* tabs : qAsConst(tabWidgets))
            tabs->setCurrentIndex(std::min(round, tabs->count() - 1));
        QStringList keys;
        QList<const QPushButton*> without;
        const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
        for (const QPushButton* button : buttons) {
            if (button->text().isEmpty() || !button->isVisibleTo(dialog.get()))
                continue;
            const QString key = QKeySequence::mnemonic(button->text()).toString();
            if (key.isEmpty()) {
                without << button;
                continue;
            }
            QVERIFY2(!keys.contains(key), qPrintable(button->text()));
            keys << key;
            ++checked;
        }
        for (const QPushButton* button : qAsConst(without)) {
            for (const QChar c : button->text()) {
                if (c.isLetterOrNumber())
                    QVERIFY2(keys.contains(QStringLiteral("Alt+") + c.toUpper()),
                        qPrintable(button->text()));
            }
        }
    }
    QVERIFY(checked >= 3);
}

// Ctrl+O opens a project, and every button of a tab has its own Alt key.
void TestDialogHabits::mainWindowKeys()
{
    TARNMainWindow window;
    QVERIFY(showActive(&window));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("_mainTabWidget"));
    for (int tab = 0; tab < tabs->count(); ++tab) {
        QStringList keys { QStringLiteral("Alt+X") };
        const QList<QPushButton*> buttons = tabs->widget(tab)->findChildren<QPushButton*>();
        for (const QPushButton* button : buttons) {
            const QString key = QKeySequence::mnemonic(button->text()).toString();
            QVERIFY2(!key.isEmpty() && !keys.contains(key), qPrintable(button->text()));
            keys << key;
        }
    }
    QString opened;
    QTimer::singleShot(50, this, [&opened] {
        if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            opened = files->nameFilters().join(QLatin1Char(';'));
            files->reject();
        }
    });
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(opened, QStringLiteral("SQLiteDatabase (*.db)"));
}

// Ctrl+C copies the chosen block of the yearly table as a spreadsheet pastes it: a line a
// year, tab-separated, every digit, empty cells empty.
void TestDialogHabits::yearlyTableCopiesARange()
{
    WaterUserDlg dialog(nullptr, 1, 1, -1);
    QVERIFY(showActive(&dialog));
    WaterUserDataTableView* table = dialog.dataTableView();
    QAbstractItemModel* model = table->model();
    const int first = 0;
    table->setCurrentIndex(model->index(first, 2));
    table->selectionModel()->select(
        QItemSelection(model->index(first, 2), model->index(first + 1, 6)),
        QItemSelectionModel::ClearAndSelect);
    QApplication::clipboard()->clear();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
        QStringLiteral("2000\t478.27634000000006\t40\t0.4\t1\n2001\t110\t44\t0.4\t\n"));
    // What was copied pastes back into the same values.
    table->setCurrentIndex(model->index(2, 3));
    QApplication::clipboard()->setText(QStringLiteral("478.27634000000006\t40\t0.4\t1\n"));
    QTest::keyClick(table, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(dialog.dataModel()->record(2).DiversionReq, 478.27634000000006);
    // Shown as people read it.
    auto* delegate = qobject_cast<QStyledItemDelegate*>(table->itemDelegateForColumn(3));
    QVERIFY(delegate);
    QCOMPARE(
        delegate->displayText(model->index(0, 3).data(), QLocale::c()), QStringLiteral("478.276"));
}

void TestDialogHabits::nothingIsCutOff_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind :
        { "baseline", "scenario", "demand change", "water user", "new site", "plot", "curve" })
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// Every table on every tab shows all its columns at the dialog's own size, each column as wide as
// its header and cells ask, selections and read-only fields read as such, and a larger dialog
// gives its lists more room.
void TestDialogHabits::nothingIsCutOff()
{
    QFETCH(QString, kind);
    const std::unique_ptr<QDialog> dialog = makeDialog(kind);
    QVERIFY(showActive(dialog.get()));
    const auto checkTables = [&dialog](const QString& where) {
        for (QTableView* table : dialog->findChildren<QTableView*>()) {
            if (!table->isVisible() || !table->model())
                continue;
            const QString name = where + QLatin1Char('/') + table->objectName();
            QVERIFY2(table->horizontalScrollBar()->maximum() == 0, qPrintable(name));
            const QAbstractItemModel* model = table->model();
            for (int column = 0; column < model->columnCount(); ++column) {
                if (table->isColumnHidden(column))
                    continue;
                int wanted = table->horizontalHeader()->sectionSizeHint(column);
                for (int row = 0; row < model->rowCount(); ++row)
                    wanted
                        = qMax(wanted, table->sizeHintForIndex(model->index(row, column)).width());
                QVERIFY2(table->columnWidth(column) >= wanted,
                    qPrintable(QStringLiteral("%1 column %2: %3 < %4")
                                   .arg(name, model->headerData(column, Qt::Horizontal).toString())
                                   .arg(table->columnWidth(column))
                                   .arg(wanted)));
            }
        }
    };
    checkTables(QString());
    if (QTest::currentTestFailed())
        return;
    for (QTabWidget* tabs : dialog->findChildren<QTabWidget*>()) {
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QApplication::processEvents();
            checkTables(tabs->tabText(tab));
            if (QTest::currentTestFailed())
                return;
        }
        tabs->setCurrentIndex(0);
    }

    // Selected rows read the same when the list has not the focus; read-only fields look it.
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        const QPalette palette = view->palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
            palette.color(QPalette::Active, QPalette::Highlight));
    }
    for (QLineEdit* field : dialog->findChildren<QLineEdit*>()) {
        if (field->isReadOnly())
            QCOMPARE(
                field->palette().color(QPalette::Base), field->palette().color(QPalette::Window));
    }

    QApplication::processEvents();
    QHash<QAbstractItemView*, QSize> before;
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->isVisible() && !qobject_cast<QHeaderView*>(view))
            before.insert(view, view->size());
    }
    dialog->resize(dialog->size() + QSize(300, 300));
    QApplication::processEvents();
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QSize now = it.key()->size();
        QVERIFY2(now.width() > it.value().width() || now.height() > it.value().height(),
            qPrintable(it.key()->objectName()));
    }
}

QTEST_MAIN(TestDialogHabits)
#include "tst_dialoghabits.moc"
