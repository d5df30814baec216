#include "support/TestProject.h"

#include "db/AggDivDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/CheckBoxIconItem.h"
#include "ui/common/CheckReportDlg.h"
#include "ui/common/DoubleLineEditDelegate.h"
#include "ui/common/ListComboBoxDelegate.h"
#include "ui/common/MessageInfoBox.h"
#include "ui/common/NullableDoubleValidator.h"
#include "ui/common/NumberText.h"
#include "ui/common/TarnDlg.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QtTest>

#include <cmath>

namespace {

// A dialog whose apply step fails or succeeds on demand.
class ProbeDlg : public TarnDlg {
public:
    using TarnDlg::TarnDlg;
    TARN::okstat applyChanges() override
    {
        ++applyCount;
        return failWith.isEmpty() ? TARN::okstat() : TARN::okstat(failWith);
    }
    TARN::okstat submitErrorOf(const QSqlTableModel* model) const { return submitError(model); }
    void warn(const QString& message, const QString& title) { showWarning(message, title); }
    TarnRelationalTableModel* aggDivModel() const { return _aggDivModel; }

    QString failWith;
    int applyCount = 0;
};

AggDivAttr assignment(int attrId, const QString& attrName, int valueId, const QString& value)
{
    AggDivAttr a;
    a.attribute.AttrID = attrId;
    a.attribute.AttrName = attrName;
    a.value.AttrValidValID = valueId;
    a.value.AttrID = attrId;
    a.value.AttrVal = value;
    return a;
}

int openBoxes(const QString& key)
{
    int count = 0;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        if (qobject_cast<MessageInfoBox*>(widget)
            && widget->objectName() == QStringLiteral("MessageInfoBox_") + key)
            ++count;
    }
    return count;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestCommonWidgets : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        QLocale::setDefault(QLocale::c());
    }
    void cleanup() { resetDbManager(); }

    void validator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");
        QTest::newRow("empty clears the cell") << QString() << int(QValidator::Acceptable);
        QTest::newRow("decimal") << QStringLiteral("12.75") << int(QValidator::Acceptable);
        QTest::newRow("negative") << QStringLiteral("-3") << int(QValidator::Acceptable);
        QTest::newRow("scientific") << QStringLiteral("1.5e3") << int(QValidator::Acceptable);
        QTest::newRow("scientific negative exponent")
            << QStringLiteral("-2.5E-2") << int(QValidator::Acceptable);
        QTest::newRow("half typed exponent")
            << QStringLiteral("1e") << int(QValidator::Intermediate);
        QTest::newRow("letters") << QStringLiteral("abc") << int(QValidator::Invalid);
    }
    void validator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        NullableDoubleValidator validator;
        int pos = input.size();
        QCOMPARE(int(validator.validate(input, pos)), state);
    }

    void doubleDelegateWritesNumberOrNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNaN");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cleared cell has no value") << QString() << true << 0.0 << QString();
        QTest::newRow("plain number")
            << QStringLiteral("2.5") << false << 2.5 << QStringLiteral("2.5");
        QTest::newRow("scientific notation")
            << QStringLiteral("1.5e3") << false << 1500.0 << QStringLiteral("1500");
        QTest::newRow("half typed keeps old value")
            << QStringLiteral("1e") << false << 7.0 << QStringLiteral("7");
    }
    void doubleDelegateWritesNumberOrNothing()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNaN);
        QFETCH(double, stored);
        QFETCH(QString, shown);

        WaterUserDataViewModel model;
        WaterUserData row;
        row.Year = 2001;
        row.DiversionReq = 7;
        model.setRecords({ row });
        const QModelIndex index = model.index(0, WaterUserDataViewModel::DiversionColumn);

        QWidget parent;
        DoubleLineEditDelegate delegate;
        QWidget* editor = delegate.createEditor(&parent, QStyleOptionViewItem(), index);
        auto* lineEdit = qobject_cast<QLineEdit*>(editor);
        QVERIFY(lineEdit);
        QVERIFY(qobject_cast<const NullableDoubleValidator*>(lineEdit->validator()));
        delegate.setEditorData(editor, index);
        QCOMPARE(lineEdit->text(), QStringLiteral("7"));

        lineEdit->setText(text);
        delegate.setModelData(editor, &model, index);
        const double value = model.records().at(0).DiversionReq;
        QCOMPARE(std::isnan(value), isNaN);
        if (!isNaN)
            QCOMPARE(value, stored);
        QCOMPARE(model.index(0, WaterUserDataViewModel::DiversionColumn).data().toString(), shown);
    }

    void doubleDelegateClearedCellIsNullNotZero()
    {
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), 4.0);
        QWidget parent;
        DoubleLineEditDelegate delegate;
        QWidget* editor = delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(0, 0));
        qobject_cast<QLineEdit*>(editor)->clear();
        delegate.setModelData(editor, &model, model.index(0, 0));
        const QVariant stored = model.index(0, 0).data(Qt::EditRole);
        QVERIFY(stored.isNull());
        QVERIFY(stored != QVariant(0));
    }

    void comboDelegateOffersTheRowsAttributeValues_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("storedId");
        QTest::addColumn<QString>("storedText");
        QTest::newRow("basin row")
            << 0 << QStringList { QStringLiteral("Upper"), QStringLiteral("Lower") } << 1 << 102
            << QStringLiteral("Lower");
        QTest::newRow("use row") << 1
                                 << QStringList { QStringLiteral("Irrigation"),
                                        QStringLiteral("Municipal"), QStringLiteral("Industrial") }
                                 << 2 << 203 << QStringLiteral("Industrial");
        QTest::newRow("attribute without values keeps its value")
            << 2 << QStringList() << -1 << 301 << QStringLiteral("Old");
    }
    void comboDelegateOffersTheRowsAttributeValues()
    {
        QFETCH(int, row);
        QFETCH(QStringList, offered);
        QFETCH(int, choice);
        QFETCH(int, storedId);
        QFETCH(QString, storedText);

        AggDivAttrViewModel model;
        model.setRecords({ assignment(10, QStringLiteral("Basin"), 101, QStringLiteral("Upper")),
            assignment(20, QStringLiteral("Use"), 201, QStringLiteral("Irrigation")),
            assignment(30, QStringLiteral("Empty"), 301, QStringLiteral("Old")) });
        ListComboBoxDelegate::ChoiceTable choices;
        choices.insert(10, { { 101, QStringLiteral("Upper") }, { 102, QStringLiteral("Lower") } });
        choices.insert(20,
            { { 201, QStringLiteral("Irrigation") }, { 202, QStringLiteral("Municipal") },
                { 203, QStringLiteral("Industrial") } });
        ListComboBoxDelegate delegate(
            choices, AggDivAttrViewModel::AttrIdColumn, AggDivAttrViewModel::ValueIdColumn);

        const QModelIndex index = model.index(row, AggDivAttrViewModel::ValueColumn);
        QWidget parent;
        auto* combo = qobject_cast<QComboBox*>(
            delegate.createEditor(&parent, QStyleOptionViewItem(), index));
        QVERIFY(combo);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        QCOMPARE(texts, offered);

        combo->setCurrentIndex(choice);
        delegate.setModelData(combo, &model, index);
        QCOMPARE(model.records().at(row).value.AttrValidValID, storedId);
        QCOMPARE(model.records().at(row).value.AttrVal, storedText);
        // The other rows keep their values.
        for (int other = 0; other < 2; ++other) {
            if (other != row)
                QCOMPARE(model.records().at(other).value.AttrValidValID, other == 0 ? 101 : 201);
        }
    }

    void comboDelegateWithoutKeyColumnWritesTheId()
    {
        QStandardItemModel model(1, 1);
        ListComboBoxDelegate delegate({ { 1, QStringLiteral("Percent Change") },
            { 4, QStringLiteral("Set to a Baseline Year") } });
        QWidget parent;
        auto* combo = qobject_cast<QComboBox*>(
            delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(0, 0)));
        QCOMPARE(combo->count(), 2);
        combo->setCurrentIndex(1);
        delegate.setModelData(combo, &model, model.index(0, 0));
        QCOMPARE(model.index(0, 0).data(Qt::EditRole), QVariant(4));

        QStyleOptionViewItem option;
        option.font = parent.font();
        const int widest
            = QFontMetrics(option.font).horizontalAdvance(QStringLiteral("Set to a Baseline Year"));
        QVERIFY(delegate.sizeHint(option, model.index(0, 0)).width() >= widest + 20);
    }

    void messageBoxOnePerKey()
    {
        const QString key = QStringLiteral("waterUserDataErrors");
        QPointer<MessageInfoBox> first = MessageInfoBox::showMessage(MessageInfoBox::Warning, key,
            QStringLiteral("Data Errors"), QStringLiteral("<b>first</b>"), QSize(), false);
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("Data Errors"));
        QCOMPARE(first->buttons().size(), 1);
        QCOMPARE(first->buttons().at(0)->text(), QStringLiteral("OK"));
        QVERIFY(!first->buttons().at(0)->isDefault());
        QVERIFY(!first->buttons().at(0)->autoDefault());
        QVERIFY(!(first->windowFlags() & Qt::WindowContextHelpButtonHint));

        MessageInfoBox* again = MessageInfoBox::showMessage(MessageInfoBox::Warning, key,
            QStringLiteral("Other title"), QStringLiteral("second"), QSize(), false);
        QCOMPARE(again, first.data());
        QCOMPARE(openBoxes(key), 1);
        QCOMPARE(again->message(), QStringLiteral("<b>first</b>"));
        QCOMPARE(again->windowTitle(), QStringLiteral("Data Errors"));

        MessageInfoBox* other
            = MessageInfoBox::showMessage(MessageInfoBox::Information, QStringLiteral("another"),
                QStringLiteral("T"), QStringLiteral("m"), QSize(300, 200), false);
        QVERIFY(other != first.data());
        QCOMPARE(other->size(), QSize(300, 200));

        QSignalSpy finished(first.data(), &QDialog::finished);
        const int firstNumber = first->instanceNumber();
        QTest::mouseClick(first->buttons().at(0), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
        flushDeletes();
        QVERIFY(first.isNull());
        QVERIFY(!MessageInfoBox::boxForKey(key));

        MessageInfoBox* fresh = MessageInfoBox::showMessage(MessageInfoBox::Warning, key,
            QStringLiteral("Data Errors"), QStringLiteral("third"), QSize(), true);
        QVERIFY(fresh);
        QVERIFY(fresh->instanceNumber() > firstNumber);
        QCOMPARE(fresh->message(), QStringLiteral("third"));
        QVERIFY(fresh->isModal());
        fresh->close();
        other->close();
        flushDeletes();
        QCOMPARE(openBoxes(key), 0);
    }

    void messageBoxButtonsReturnTheirPosition()
    {
        auto* box = new MessageInfoBox(MessageInfoBox::Critical, QStringLiteral("choice"),
            QStringLiteral("Choose"), QStringLiteral("text"),
            { { QStringLiteral("Keep"), QStringLiteral("keep it") },
                { QStringLiteral("Drop"), QStringLiteral("drop it") } },
            QSize());
        QSignalSpy finished(box, &QDialog::finished);
        box->show();
        QCOMPARE(box->buttons().at(1)->toolTip(), QStringLiteral("drop it"));
        QTest::mouseClick(box->buttons().at(1), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 1);
        flushDeletes();
    }

    void checkBoxItemShowsItsFlag()
    {
        CheckBoxIconItem item(QStringLiteral("North Canal"), true);
        QCOMPARE(item.text(), QStringLiteral("North Canal"));
        QVERIFY(!CheckBoxIconItem::checkedIcon().isNull());
        QVERIFY(!CheckBoxIconItem::checkedIcon().availableSizes().isEmpty());
        QCOMPARE(item.data(Qt::DecorationRole).value<QIcon>().cacheKey(),
            CheckBoxIconItem::checkedIcon().cacheKey());
        item.checked = false;
        QCOMPARE(item.data(Qt::DecorationRole).value<QIcon>().cacheKey(),
            CheckBoxIconItem::uncheckedIcon().cacheKey());
        item.setData(Qt::UserRole + 2, 17);
        QCOMPARE(item.data(Qt::UserRole + 2).toInt(), 17);
    }

    void okClosesOnlyAfterSuccessfulApply_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("apply fails: stays open") << QStringLiteral("nope") << false;
        QTest::newRow("apply succeeds: closes") << QString() << true;
    }
    void okClosesOnlyAfterSuccessfulApply()
    {
        QFETCH(QString, failure);
        QFETCH(bool, accepted);
        ProbeDlg dialog;
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        dialog.failWith = failure;
        dialog.show();
        dialog.applyClicked();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.applyCount, 1);
        dialog.okClicked();
        QCOMPARE(dialog.applyCount, 2);
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    }

    void baseReselectsSharedModels()
    {
        TestProject project;
        QVERIFY(project.isValid());
        QVERIFY(project.openInManager().isOk());
        TarnRelationalTableModel* sites = TarnDbMgr::instance()->aggDivDAO()->aggDivModel();
        QCOMPARE(sites->rowCount(), 0);
        QVERIFY(
            project.exec(QStringLiteral("INSERT INTO AggDiv (SiteName) VALUES ('North')")).isOk());
        ProbeDlg dialog;
        QCOMPARE(dialog.aggDivModel(), sites);
        QCOMPARE(sites->rowCount(), 1);
    }

    void submitErrorNamesTableAndCause()
    {
        TestProject project;
        QVERIFY(project.openInManager().isOk());
        ProbeDlg dialog;
        TarnRelationalTableModel* sites = dialog.aggDivModel();
        QSqlRecord record = sites->record();
        record.setValue(QStringLiteral("BaselineID"), 1);
        record.setValue(QStringLiteral("SalinityMethodID"), 99); // no such method
        record.setValue(QStringLiteral("SiteName"), QStringLiteral("Broken"));
        QVERIFY(sites->insertRecord(-1, record));
        QVERIFY(!sites->submitAll());
        const TARN::okstat error = dialog.submitErrorOf(sites);
        QVERIFY(error.failed());
        QVERIFY2(error.text().startsWith(
                     QStringLiteral("Error submitting changes to the AggDiv table: ")),
            qPrintable(error.text()));
        QVERIFY2(error.text().contains(QStringLiteral("FOREIGN KEY"), Qt::CaseInsensitive),
            qPrintable(error.text()));
        sites->revertAll();
    }

    void warningTitleDefaultsToWindowTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty title") << QString() << QStringLiteral("Aggregate Diversion Site");
        QTest::newRow("named title")
            << QStringLiteral("Save Baseline") << QStringLiteral("Save Baseline");
    }
    void warningTitleDefaultsToWindowTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, shown);
        ProbeDlg dialog;
        dialog.setWindowTitle(QStringLiteral("Aggregate Diversion Site"));
        QString seenTitle;
        QString seenText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenTitle = box->windowTitle();
            seenText = box->text();
            box->accept();
        });
        dialog.warn(QStringLiteral("Unable to load salinity data."), title);
        QCOMPARE(seenTitle, shown);
        QCOMPARE(seenText, QStringLiteral("Unable to load salinity data."));
    }

    // Numbers as people read them: three decimals at most, small ones with four digits, a
    // relative difference in percent.
    void numbersReadable_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("percent");
        QTest::addColumn<QString>("text");
        QTest::newRow("float noise") << 478.27634000000006 << false << QStringLiteral("478.276");
        QTest::newRow("whole") << 1000000.0 << false << QStringLiteral("1000000");
        QTest::newRow("small") << 0.000123456 << false << QStringLiteral("0.0001235");
        QTest::newRow("negative") << -2.5 << false << QStringLiteral("-2.5");
        QTest::newRow("relative") << 0.12345 << true << QStringLiteral("12.345 %");
    }
    void numbersReadable()
    {
        QFETCH(double, value);
        QFETCH(bool, percent);
        QFETCH(QString, text);
        const QLocale previous;
        QLocale::setDefault(QLocale::c());
        const QString shown = percent ? NumberText::percent(value) : NumberText::readable(value);
        QLocale::setDefault(previous);
        QCOMPARE(shown, text);
    }

    void checkReportOffersRecalculation_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<bool>("runFailed");
        QTest::addColumn<int>("waterUsers");
        QTest::addColumn<bool>("offered");
        QTest::newRow("results out of date")
            << QStringLiteral("results-current") << false << 0 << true;
        QTest::newRow("run never calculated")
            << QStringLiteral("results-current") << false << 12 << true;
        QTest::newRow("run failed") << QStringLiteral("results-current") << true << 0 << false;
        QTest::newRow("other rule") << QStringLiteral("riffle-names") << false << 0 << false;
    }
    void checkReportOffersRecalculation()
    {
        QFETCH(QString, rule);
        QFETCH(bool, runFailed);
        QFETCH(int, waterUsers);
        QFETCH(bool, offered);
        ValidationFinding other;
        other.rule = QStringLiteral("empty-selection");
        other.severity = ValidationFinding::Warn;
        ValidationFinding finding;
        finding.rule = rule;
        finding.runFailed = runFailed;
        finding.waterUsers = waterUsers;
        CheckReportDlg report(QStringLiteral("basin.db"), { other, finding });
        report.show();
        auto* recalculate = report.findChild<QPushButton*>(QStringLiteral("_recalculateButton"));
        QVERIFY(recalculate);
        QCOMPARE(recalculate->isVisible(), offered);
        if (!offered)
            return;
        QSignalSpy requested(&report, &CheckReportDlg::recalculateRequested);
        recalculate->click();
        QCOMPARE(requested.count(), 1);
        QVERIFY(!report.isVisible());
    }
};

QTEST_MAIN(TestCommonWidgets)
#include "tst_commonwidgets.moc"
