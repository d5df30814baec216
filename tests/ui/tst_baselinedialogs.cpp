#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "db/Password.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "ui/baseline/AggDivDlg.h"
#include "ui/baseline/AttributeDlg.h"
#include "ui/baseline/PasswordConfigDlg.h"
#include "ui/baseline/TimeRangeDlg.h"
#include "ui/common/AggDivAttrViewModel.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

// Two site attributes and one water user attribute; site 1 has Basin = Lower, Zone = A.
const char* const SiteProject = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 3, 'North Canal', 'NC', 0);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), (2, 'Use', 2),
    (3, 'Zone', 1);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (12, 1, 'Upper'), (13, 1, 'Lower'),
    (21, 2, 'Unassigned'), (22, 2, 'Irrigation'),
    (31, 3, 'Unassigned'), (32, 3, 'A');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 13), (3, 1, 32);
)";

// The focusable widgets in tab order, starting after the dialog itself.
QStringList tabOrder(QWidget* dialog)
{
    QStringList order;
    QWidget* widget = dialog->nextInFocusChain();
    while (widget && widget != dialog) {
        if ((widget->focusPolicy() & Qt::TabFocus) && !widget->objectName().isEmpty()
            && widget->objectName().startsWith(QLatin1Char('_')) && widget->isVisibleTo(dialog))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    }
    return order;
}

} // namespace

class TestBaselineDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup() { resetDbManager(); }

    void newSiteStoredWithPlaceholders()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(SiteProject)).isOk());
        QVERIFY(project.openInManager().isOk());

        BaselineChangeLog* log = nullptr;
        AggDivDlg dialog(-1, log);
        QVERIFY(dialog.isNewAggDiv());
        const int id = dialog.aggDivID();
        QVERIFY(id > 1);
        QCOMPARE(child<QLineEdit>(&dialog, "_aggDivSiteNameLineEdit")->text(),
            QStringLiteral("Enter site name"));
        QCOMPARE(child<QComboBox>(&dialog, "_salinityMethodComboBox")->currentText(),
            QStringLiteral("Mass Removal (tons/yr)"));
        auto* table = child<QTableView>(&dialog, "_aggDivAttrTableView");
        QCOMPARE(table->model()->rowCount(), 2);

        QSignalSpy edited(&dialog, &AggDivDlg::aggDivEdited);
        QTimer::singleShot(0, [] {
            if (auto* shown = qobject_cast<AggDivDlg*>(QApplication::activeModalWidget()))
                QTest::mouseClick(
                    shown->findChild<QPushButton*>(QStringLiteral("_okButton")), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(0).toInt(), id);
        QCOMPARE(edited.at(0).at(1).toString(), QStringLiteral("Enter site name"));

        const QString where = QStringLiteral(" FROM AggDiv WHERE AggDivID = %1").arg(id);
        QCOMPARE(project.scalar(QStringLiteral("SELECT SiteName") + where).toString(),
            QStringLiteral("Enter site name"));
        QCOMPARE(project.scalar(QStringLiteral("SELECT RiffleName") + where).toString(),
            QStringLiteral("Enter Riffle Name"));
        QCOMPARE(project.scalar(QStringLiteral("SELECT SalinityMethodID") + where).toInt(), 4);
        QCOMPARE(project.scalar(QStringLiteral("SELECT BaselineID") + where).toInt(), 1);
        // One assignment per site attribute, each the attribute's first value.
        QCOMPARE(project
                     .scalar(QStringLiteral("SELECT group_concat(AttrID || ':' || AttrValidValID) "
                                            "FROM (SELECT * FROM AggDivAttr WHERE AggDivID = %1 "
                                            "ORDER BY AttrID)")
                                 .arg(id))
                     .toString(),
            QStringLiteral("1:11,3:31"));
    }

    void cancelledNewSiteIsRemoved()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(SiteProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        AggDivDlg dialog(-1, nullptr);
        const int id = dialog.aggDivID();
        QVERIFY(id > 0);
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt(), 2);
        QSignalSpy canceled(&dialog, &AggDivDlg::aggDivEditCanceled);
        QSignalSpy edited(&dialog, &AggDivDlg::aggDivEdited);
        dialog.show();
        QTest::mouseClick(child<QPushButton>(&dialog, "_cancelButton"), Qt::LeftButton);
        QCOMPARE(canceled.count(), 1);
        QCOMPARE(canceled.at(0).at(0).toInt(), id);
        QCOMPARE(edited.count(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt(), 1);
    }

    void cancelledExistingSiteStays()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(SiteProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        AggDivDlg dialog(1, nullptr);
        QSignalSpy canceled(&dialog, &AggDivDlg::aggDivEditCanceled);
        dialog.reject();
        QCOMPARE(canceled.count(), 1);
        QCOMPARE(canceled.at(0).at(0).toInt(), 1);
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt(), 1);
    }

    void existingSiteEdits()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(SiteProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        AggDivDlg dialog(1, nullptr);
        QVERIFY(!dialog.isNewAggDiv());
        auto* name = child<QLineEdit>(&dialog, "_aggDivSiteNameLineEdit");
        auto* salinity = child<QComboBox>(&dialog, "_salinityMethodComboBox");
        QCOMPARE(name->text(), QStringLiteral("North Canal"));
        QCOMPARE(child<QLineEdit>(&dialog, "_aggDivRWNameLineEdit")->text(), QStringLiteral("NC"));
        QCOMPARE(salinity->currentData().toInt(), 3);
        QCOMPARE(salinity->count(), 4);
        QCOMPARE(salinity->itemText(0), QStringLiteral("Return Flow Mass (tons/yr)"));

        auto* table = child<QTableView>(&dialog, "_aggDivAttrTableView");
        QAbstractItemModel* model = table->model();
        QCOMPARE(model->rowCount(), 2);
        QVERIFY(table->isColumnHidden(0) && table->isColumnHidden(1) && table->isColumnHidden(3));
        QVERIFY(!table->isColumnHidden(2) && !table->isColumnHidden(4));
        int basinRow = model->index(0, 2).data().toString() == QStringLiteral("Basin") ? 0 : 1;
        const QModelIndex value = model->index(basinRow, AggDivAttrViewModel::ValueColumn);
        QCOMPARE(value.data().toString(), QStringLiteral("Lower"));

        // The value cell offers Basin's values only; choosing one stores its id.
        QAbstractItemDelegate* delegate = table->itemDelegateForColumn(4);
        QVERIFY(delegate);
        QWidget parent;
        auto* combo = qobject_cast<QComboBox*>(
            delegate->createEditor(&parent, QStyleOptionViewItem(), value));
        QVERIFY(combo);
        QStringList offered;
        for (int i = 0; i < combo->count(); ++i)
            offered << combo->itemText(i);
        QCOMPARE(offered,
            (QStringList {
                QStringLiteral("Unassigned"), QStringLiteral("Upper"), QStringLiteral("Lower") }));
        combo->setCurrentIndex(1);
        delegate->setModelData(combo, model, value);

        name->setText(QStringLiteral("North Canal 2"));
        child<QPlainTextEdit>(&dialog, "_notes")->setPlainText(QStringLiteral("lined in 1998"));
        salinity->setCurrentIndex(salinity->findData(2));
        QSignalSpy edited(&dialog, &AggDivDlg::aggDivEdited);
        dialog.show();
        QTest::mouseClick(child<QPushButton>(&dialog, "_applyButton"), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(1).toString(), QStringLiteral("North Canal 2"));
        QCOMPARE(project
                     .scalar(QStringLiteral("SELECT SiteName || '|' || Notes || '|' || "
                                            "SalinityMethodID FROM AggDiv WHERE AggDivID = 1"))
                     .toString(),
            QStringLiteral("North Canal 2|lined in 1998|2"));
        QCOMPARE(project
                     .scalar(QStringLiteral(
                         "SELECT AttrValidValID FROM AggDivAttr WHERE AggDivID = 1 AND AttrID = 1"))
                     .toInt(),
            12);
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM AggDivAttr")).toInt(), 2);

        // A second apply after more typing keeps writing to the same row.
        name->setText(QStringLiteral("North Canal 3"));
        QTest::mouseClick(child<QPushButton>(&dialog, "_okButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(project.scalar(QStringLiteral("SELECT SiteName FROM AggDiv WHERE AggDivID = 1"))
                     .toString(),
            QStringLiteral("North Canal 3"));
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt(), 1);
    }

    void siteDialogForm()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(SiteProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        AggDivDlg dialog(1, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Aggregate Diversion Site"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        auto* help = child<QToolButton>(&dialog, "_helpButton");
        QCOMPARE(help->toolTip(), QStringLiteral("Open help documentation"));
        QVERIFY(!help->icon().isNull());
        auto* plot = child<QPushButton>(&dialog, "_generatePlotButton");
        QCOMPARE(plot->text(), QStringLiteral("Quick Plot"));
        QCOMPARE(plot->toolTip(), QStringLiteral("Generate Plot"));
        QVERIFY(!plot->icon().isNull());
        const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
        for (QPushButton* button : buttons)
            QVERIFY2(
                !button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
        QCOMPARE(tabOrder(&dialog),
            (QStringList { QStringLiteral("_aggDivSiteNameLineEdit"),
                QStringLiteral("_aggDivRWNameLineEdit"), QStringLiteral("_salinityMethodComboBox"),
                QStringLiteral("_notes"), QStringLiteral("_aggDivAttrTableView"),
                QStringLiteral("_helpButton"), QStringLiteral("_generatePlotButton"),
                QStringLiteral("_okButton"), QStringLiteral("_applyButton"),
                QStringLiteral("_cancelButton") }));
    }

    void timeRange_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("error");
        QTest::newRow("end before start")
            << 2000 << 1999 << false << QStringLiteral("Start Year must be before End Year.");
        QTest::newRow("equal years") << 2005 << 2005 << true << QString();
        QTest::newRow("wider range") << 1990 << 2020 << true << QString();
        QTest::newRow("range limits") << 1800 << 3799 << true << QString();
    }
    void timeRange()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, accepted);
        QFETCH(QString, error);
        Baseline baseline;
        baseline.StartYear = 2000;
        baseline.EndYear = 2010;
        TimeRangeDlg dialog(baseline);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Time Range"));
        auto* startBox = child<QSpinBox>(&dialog, "_startYearSpinBox");
        auto* endBox = child<QSpinBox>(&dialog, "_endYearSpinBox");
        QCOMPARE(startBox->value(), 2000);
        QCOMPARE(endBox->minimum(), 1800);
        QCOMPARE(endBox->maximum(), 3799);
        startBox->setValue(start);
        endBox->setValue(end);
        dialog.show();
        QTest::mouseClick(child<QPushButton>(&dialog, "_okButton"), Qt::LeftButton);
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(child<QLabel>(&dialog, "_errorLabel")->text(), error);
        QCOMPARE(baseline.StartYear, accepted ? start : 2000);
        QCOMPARE(baseline.EndYear, accepted ? end : 2010);
        if (!accepted) {
            QTest::mouseClick(child<QPushButton>(&dialog, "_cancelButton"), Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(baseline.StartYear, 2000);
        }
    }

    void timeRangeTypedTextCounts()
    {
        Baseline baseline;
        baseline.StartYear = 2000;
        baseline.EndYear = 2010;
        TimeRangeDlg dialog(baseline);
        auto* endBox = child<QSpinBox>(&dialog, "_endYearSpinBox");
        dialog.show();
        endBox->setFocus();
        endBox->selectAll();
        QTest::keyClicks(endBox, QStringLiteral("2015"));
        dialog.okClicked();
        QCOMPARE(baseline.EndYear, 2015);
    }

    void password_data()
    {
        QTest::addColumn<bool>("hadPassword");
        QTest::addColumn<bool>("require");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QString>("confirmText");
        QTest::addColumn<bool>("okEnabled");
        QTest::addColumn<QString>("matchLabel");
        QTest::addColumn<QByteArray>("digest");
        const QByteArray old = Password::digest(QStringLiteral("old secret"));
        QTest::newRow("empty password") << false << true << QString() << QString() << true
                                        << QString() << Password::digest(QString());
        QTest::newRow("new password")
            << false << true << QStringLiteral("s3cr\u00e9t") << QStringLiteral("s3cr\u00e9t")
            << true << QString() << Password::digest(QStringLiteral("s3cr\u00e9t"));
        QTest::newRow("back to no password")
            << true << false << QString() << QString() << true << QString() << QByteArray();
        QTest::newRow("mismatch") << false << true << QStringLiteral("abc") << QStringLiteral("abd")
                                  << false << QStringLiteral("Passwords do not match.")
                                  << QByteArray();
        QTest::newRow("case differs")
            << true << true << QStringLiteral("Abc") << QStringLiteral("abc") << false
            << QStringLiteral("Passwords do not match.") << old;
        QTest::newRow("unconfirmed new text")
            << true << true << QStringLiteral("typo") << QString() << false
            << QStringLiteral("Passwords do not match.") << old;
        QTest::newRow("kept password")
            << true << true << QString() << QString() << true << QString() << old;
    }
    void password()
    {
        QFETCH(bool, hadPassword);
        QFETCH(bool, require);
        QFETCH(QString, newText);
        QFETCH(QString, confirmText);
        QFETCH(bool, okEnabled);
        QFETCH(QString, matchLabel);
        QFETCH(QByteArray, digest);

        Baseline baseline;
        if (hadPassword)
            baseline.PasswordHash = Password::digest(QStringLiteral("old secret"));
        PasswordConfigDlg dialog(baseline);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Baseline Password Settings"));
        auto* none = child<QRadioButton>(&dialog, "_noPasswordRadioButton");
        auto* required = child<QRadioButton>(&dialog, "_passwordRequiredRadioButton");
        auto* newEdit = child<QLineEdit>(&dialog, "_newPasswordLineEdit");
        auto* confirmEdit = child<QLineEdit>(&dialog, "_confirmPasswordLineEdit");
        QCOMPARE(required->isChecked(), hadPassword);
        QCOMPARE(newEdit->isEnabled(), hadPassword);
        QCOMPARE(newEdit->echoMode(), QLineEdit::Password);
        QCOMPARE(confirmEdit->echoMode(), QLineEdit::Password);

        (require ? required : none)->setChecked(true);
        QCOMPARE(newEdit->isEnabled(), require);
        QCOMPARE(child<QLabel>(&dialog, "_newPasswordLabel")->isEnabled(), require);
        if (require) {
            // Typed as the user would, one edit after the other (insert() takes any text).
            newEdit->insert(newText);
            confirmEdit->insert(confirmText);
        }
        auto* ok = child<QPushButton>(&dialog, "_okButton");
        QCOMPARE(ok->isEnabled(), okEnabled);
        QCOMPARE(child<QLabel>(&dialog, "_passwordMatchLabel")->text(), matchLabel);

        dialog.show();
        if (okEnabled) {
            QTest::mouseClick(ok, Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        } else {
            // Even called directly, a mismatch is never stored.
            dialog.okClicked();
            QVERIFY(dialog.isVisible());
        }
        QCOMPARE(baseline.PasswordHash, digest);
        if (!digest.isEmpty())
            QCOMPARE(baseline.PasswordHash.size(), 64);
    }

    void switchingBackClearsTheFields()
    {
        Baseline baseline;
        PasswordConfigDlg dialog(baseline);
        auto* required = child<QRadioButton>(&dialog, "_passwordRequiredRadioButton");
        auto* newEdit = child<QLineEdit>(&dialog, "_newPasswordLineEdit");
        auto* confirmEdit = child<QLineEdit>(&dialog, "_confirmPasswordLineEdit");
        required->setChecked(true);
        QTest::keyClicks(newEdit, QStringLiteral("one"));
        QTest::keyClicks(confirmEdit, QStringLiteral("two"));
        QVERIFY(!child<QPushButton>(&dialog, "_okButton")->isEnabled());
        child<QRadioButton>(&dialog, "_noPasswordRadioButton")->setChecked(true);
        QVERIFY(newEdit->text().isEmpty());
        QVERIFY(confirmEdit->text().isEmpty());
        QVERIFY(!confirmEdit->isEnabled());
        QVERIFY(child<QLabel>(&dialog, "_passwordMatchLabel")->text().isEmpty());
        QVERIFY(child<QPushButton>(&dialog, "_okButton")->isEnabled());
    }

    void attributeDialog_data()
    {
        QTest::addColumn<bool>("waterUser");
        QTest::addColumn<int>("type");
        QTest::newRow("default applies to sites") << false << 1;
        QTest::newRow("water user attribute") << true << 2;
    }
    void attributeDialog()
    {
        QFETCH(bool, waterUser);
        QFETCH(int, type);
        AttributeDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Attribute"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(child<QRadioButton>(&dialog, "_aggDivRadioButton")->isChecked());
        QTimer::singleShot(0, [waterUser] {
            auto* shown = qobject_cast<AttributeDlg*>(QApplication::activeModalWidget());
            if (!shown)
                return;
            QTest::keyClicks(shown->findChild<QLineEdit*>(QStringLiteral("_attributeLineEdit")),
                QStringLiteral(" Basin "));
            if (waterUser)
                shown->findChild<QRadioButton*>(QStringLiteral("_waterUserRadioButton"))->click();
            QTest::mouseClick(
                shown->findChild<QPushButton*>(QStringLiteral("_okButton")), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.attributeName(), QStringLiteral(" Basin "));
        QCOMPARE(dialog.attributeType(), type);
    }
};

QTEST_MAIN(TestBaselineDialogs)
#include "tst_baselinedialogs.moc"
