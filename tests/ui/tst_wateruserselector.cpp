#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "db/AttributeDAO.h"
#include "db/TarnDbMgr.h"
#include "ui/common/CheckBoxIconItem.h"
#include "ui/scenario/AttrFilterWidget.h"
#include "ui/scenario/AttributeCache.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

namespace {

// Three sites with a site attribute "Basin" and water users with a water user attribute "Use".
// Basin's value "Middle" was added after Use's values, with a very large id.
const char* const BasinProject = R"(
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, 'Dry', 'Dry');
INSERT INTO AggDiv (AggDivID, SiteName, RiffleName, Ord) VALUES
    (1, 'North', 'N', 0), (2, 'South', 'S', 1), (3, 'East', 'E', 2);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), (2, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (12, 1, 'Upper'), (13, 1, 'Lower'),
    (21, 2, 'Unassigned'), (22, 2, 'Irrigation'), (23, 2, 'Municipal'),
    (5000000, 1, 'Middle');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 12), (1, 2, 13), (1, 3, 5000000);
INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, Ord) VALUES
    (1, 1, NULL, 'Alpha', 0), (2, 1, NULL, 'Bravo', 1), (3, 2, NULL, 'Charlie', 0),
    (4, 3, NULL, 'Delta', 0), (5, 2, 1, 'Echo', 1), (6, 3, NULL, 'Foxtrot', 1);
INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES
    (2, 1, 22), (2, 2, 23), (2, 3, 22), (2, 4, 22), (2, 5, 22);
)";

QStringList texts(QTableWidget* table, int column = 0)
{
    QStringList result;
    for (int row = 0; row < table->rowCount(); ++row)
        result << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return result;
}

QList<bool> checks(QTableWidget* table)
{
    QList<bool> result;
    for (int row = 0; row < table->rowCount(); ++row) {
        auto* item = dynamic_cast<CheckBoxIconItem*>(table->item(row, 0));
        result << (item && item->checked);
    }
    return result;
}

QStringList names(const QVector<WaterUser>& users)
{
    QStringList result;
    for (const WaterUser& user : users)
        result << user.WaterUserName;
    return result;
}

// Shows the values of the panel's attribute in the given row and sets their selection.
void chooseValues(AttrFilterWidget* panel, int attrRow, const QStringList& deselected)
{
    auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
    auto* values = child<QTableWidget>(panel, "_attrTableWidget");
    emit attrs->itemClicked(attrs->item(attrRow, 0));
    for (int row = 0; row < values->rowCount(); ++row) {
        QTableWidgetItem* item = values->item(row, 0);
        item->setSelected(!deselected.contains(item->text()));
    }
}

} // namespace

class TestWaterUserSelector : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup() { resetDbManager(); }

    void everyValueSelected()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());

        WaterUserSelectorDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Water User Selector"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        auto* sites = child<QTableWidget>(&dialog, "_aggDivTableWidget");
        auto* users = child<QTableWidget>(&dialog, "_watUsrTableWidget");
        QCOMPARE(texts(sites),
            (QStringList {
                QStringLiteral("North"), QStringLiteral("South"), QStringLiteral("East") }));
        QCOMPARE(checks(sites), (QList<bool> { true, true, true }));
        QCOMPARE(sites->item(2, 0)->data(WaterUserSelectorDlg::AggDivIdRole).toInt(), 3);
        QCOMPARE(sites->selectionModel()->selectedRows().size(), 3);

        // Ordered by name; the scenario's own water user and one without a "Use" value are out.
        QCOMPARE(texts(users),
            (QStringList { QStringLiteral("Alpha"), QStringLiteral("Bravo"),
                QStringLiteral("Charlie"), QStringLiteral("Delta") }));
        QCOMPARE(texts(users, 1),
            (QStringList { QStringLiteral("North"), QStringLiteral("North"),
                QStringLiteral("South"), QStringLiteral("East") }));
        QCOMPARE(checks(users), (QList<bool> { true, true, true, true }));
        QCOMPARE(users->selectionModel()->selectedRows().size(), 4);
        QCOMPARE(users->item(2, 0)->data(WaterUserSelectorDlg::WaterUserIdRole).toInt(), 3);
        QCOMPARE(users->item(2, 0)->data(WaterUserSelectorDlg::SiteNameRole).toString(),
            QStringLiteral("South"));

        const QVector<WaterUser> chosen = dialog.selectedWaterUsers();
        QCOMPARE(names(chosen), texts(users));
        QCOMPARE(chosen.at(3).aggDiv.SiteName, QStringLiteral("East"));
        QCOMPARE(chosen.at(3).aggDiv.AggDivID, 3);

        const AttrSelectionList filters = dialog.selectedFilters();
        QCOMPARE(filters.size(), 7);
        QStringList described;
        for (const AttrSelection& s : filters)
            described << QStringLiteral("%1/%2/%3/%4")
                             .arg(s.typeName, s.AttrName, s.AttrVal, QString::number(s.typeId));
        QCOMPARE(described,
            (QStringList { QStringLiteral("AggDiv/Basin/Unassigned/1"),
                QStringLiteral("AggDiv/Basin/Upper/1"), QStringLiteral("AggDiv/Basin/Lower/1"),
                QStringLiteral("AggDiv/Basin/Middle/1"),
                QStringLiteral("WaterUser/Use/Unassigned/2"),
                QStringLiteral("WaterUser/Use/Irrigation/2"),
                QStringLiteral("WaterUser/Use/Municipal/2") }));
    }

    void attributeValuesMadeAtDifferentTimesShareOneRow()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        auto* panel = child<AttrFilterWidget>(&dialog, "_aggDivFiltWidget");
        auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
        auto* values = child<QTableWidget>(panel, "_attrTableWidget");
        QCOMPARE(child<QGroupBox>(panel, "_filtGroupBox")->title(),
            QStringLiteral("Aggregate Diversion Site Attribute Filters"));
        QCOMPARE(texts(attrs), QStringList { QStringLiteral("Basin") });
        emit attrs->itemClicked(attrs->item(0, 0));
        QCOMPARE(texts(values),
            (QStringList { QStringLiteral("Unassigned"), QStringLiteral("Upper"),
                QStringLiteral("Lower"), QStringLiteral("Middle") }));
        QCOMPARE(values->selectionModel()->selectedRows().size(), 4);
        QCOMPARE(values->item(3, 0)->data(AttrFilterWidget::ValueIdRole).toInt(), 5000000);
        QCOMPARE(AttributeDAO::filterQuery(true, panel->chosenValues()),
            QStringLiteral("select AggDivID from AggDivAttr where AttrValidValID in "
                           "(11,12,13,5000000)"));
        auto* userPanel = child<AttrFilterWidget>(&dialog, "_watUsrFiltWidget");
        QCOMPARE(child<QGroupBox>(userPanel, "_filtGroupBox")->title(),
            QStringLiteral("Water User Attribute Filters"));
    }

    void keyboardMovesThroughAttributes()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(
            project
                .exec(QStringLiteral(
                    "INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (5, 'Owner', 2);"
                    "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES "
                    "(51, 5, 'Unassigned'), (52, 5, 'City');"))
                .isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        auto* panel = child<AttrFilterWidget>(&dialog, "_watUsrFiltWidget");
        auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
        auto* values = child<QTableWidget>(panel, "_attrTableWidget");
        QCOMPARE(texts(attrs), (QStringList { QStringLiteral("Use"), QStringLiteral("Owner") }));
        attrs->setCurrentCell(1, 0);
        QCOMPARE(
            texts(values), (QStringList { QStringLiteral("Unassigned"), QStringLiteral("City") }));
        attrs->setCurrentCell(0, 1);
        QCOMPARE(texts(values).size(), 3);
        // Nobody has an "Owner" value, so no water user passes the filter.
        QVERIFY(texts(child<QTableWidget>(&dialog, "_watUsrTableWidget")).isEmpty());
    }

    void deselectingValues_data()
    {
        QTest::addColumn<bool>("sitePanel");
        QTest::addColumn<QStringList>("deselected");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QStringList>("sites");
        QTest::addColumn<QStringList>("users");
        QTest::newRow("site value Lower")
            << true << QStringList { QStringLiteral("Lower") }
            << QStringLiteral("Unassigned; Upper; Middle")
            << QStringList { QStringLiteral("North"), QStringLiteral("East") }
            << QStringList { QStringLiteral("Alpha"), QStringLiteral("Bravo"),
                   QStringLiteral("Delta") };
        QTest::newRow("only Upper kept")
            << true
            << QStringList { QStringLiteral("Unassigned"), QStringLiteral("Lower"),
                   QStringLiteral("Middle") }
            << QStringLiteral("Upper") << QStringList { QStringLiteral("North") }
            << QStringList { QStringLiteral("Alpha"), QStringLiteral("Bravo") };
        QTest::newRow("every site value deselected")
            << true
            << QStringList { QStringLiteral("Unassigned"), QStringLiteral("Upper"),
                   QStringLiteral("Lower"), QStringLiteral("Middle") }
            << QString() << QStringList() << QStringList();
        QTest::newRow("water user value Municipal")
            << false << QStringList { QStringLiteral("Municipal") }
            << QStringLiteral("Unassigned; Irrigation")
            << QStringList { QStringLiteral("North"), QStringLiteral("South"),
                   QStringLiteral("East") }
            << QStringList { QStringLiteral("Alpha"), QStringLiteral("Charlie"),
                   QStringLiteral("Delta") };
        QTest::newRow("every water user value deselected")
            << false
            << QStringList { QStringLiteral("Unassigned"), QStringLiteral("Irrigation"),
                   QStringLiteral("Municipal") }
            << QString()
            << QStringList { QStringLiteral("North"), QStringLiteral("South"),
                   QStringLiteral("East") }
            << QStringList();
    }
    void deselectingValues()
    {
        QFETCH(bool, sitePanel);
        QFETCH(QStringList, deselected);
        QFETCH(QString, summary);
        QFETCH(QStringList, sites);
        QFETCH(QStringList, users);

        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        auto* panel = child<AttrFilterWidget>(
            &dialog, sitePanel ? "_aggDivFiltWidget" : "_watUsrFiltWidget");
        QSignalSpy changed(panel, &AttrFilterWidget::filterChanged);
        chooseValues(panel, 0, deselected);
        QVERIFY(changed.count() > 0);
        auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
        QCOMPARE(attrs->item(0, 1)->text(), summary);
        QCOMPARE(texts(child<QTableWidget>(&dialog, "_aggDivTableWidget")), sites);
        auto* userTable = child<QTableWidget>(&dialog, "_watUsrTableWidget");
        QCOMPARE(texts(userTable), users);
        QCOMPARE(names(dialog.selectedWaterUsers()), users);

        // The choice survives showing another attribute and coming back.
        auto* values = child<QTableWidget>(panel, "_attrTableWidget");
        QStringList unselected;
        for (int row = 0; row < values->rowCount(); ++row) {
            if (!values->item(row, 0)->isSelected())
                unselected << values->item(row, 0)->text();
        }
        QCOMPARE(unselected, deselected);
        int kept = 0;
        for (const AttrSelection& s : dialog.selectedFilters())
            kept += deselected.contains(s.AttrVal) && (s.typeId == (sitePanel ? 1 : 2)) ? 1 : 0;
        QCOMPARE(kept, 0);
    }

    // A click on a filter value toggles it, with or without Ctrl, and the choice is what the
    // dialog reports as its filters (the opener's "Applied Filters").
    void clickingAValueTogglesIt_data()
    {
        QTest::addColumn<int>("modifier");
        QTest::addColumn<QStringList>("clicked");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("click") << int(Qt::NoModifier) << QStringList { QStringLiteral("Lower") }
                               << QStringList { QStringLiteral("Unassigned"),
                                      QStringLiteral("Upper"), QStringLiteral("Middle") };
        QTest::newRow("click again")
            << int(Qt::NoModifier)
            << QStringList { QStringLiteral("Lower"), QStringLiteral("Lower") }
            << QStringList { QStringLiteral("Unassigned"), QStringLiteral("Upper"),
                   QStringLiteral("Lower"), QStringLiteral("Middle") };
        QTest::newRow("ctrl-click two")
            << int(Qt::ControlModifier)
            << QStringList { QStringLiteral("Unassigned"), QStringLiteral("Lower") }
            << QStringList { QStringLiteral("Upper"), QStringLiteral("Middle") };
    }
    void clickingAValueTogglesIt()
    {
        QFETCH(int, modifier);
        QFETCH(QStringList, clicked);
        QFETCH(QStringList, kept);
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* panel = child<AttrFilterWidget>(&dialog, "_aggDivFiltWidget");
        auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
        auto* values = child<QTableWidget>(panel, "_attrTableWidget");
        QTest::mouseClick(attrs->viewport(), Qt::LeftButton, {},
            attrs->visualItemRect(attrs->item(0, 0)).center());
        for (const QString& value : qAsConst(clicked)) {
            const QList<QTableWidgetItem*> found = values->findItems(value, Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            QTest::mouseClick(values->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifier),
                values->visualItemRect(found.first()).center());
        }
        QStringList selected;
        for (int row = 0; row < values->rowCount(); ++row) {
            if (values->item(row, 0)->isSelected())
                selected << values->item(row, 0)->text();
        }
        QCOMPARE(selected, kept);
        QStringList filtered;
        for (const AttrSelection& s : dialog.selectedFilters()) {
            if (s.AttrName == QLatin1String("Basin"))
                filtered << s.AttrVal;
        }
        QCOMPARE(filtered, kept);
        QCOMPARE(attrs->item(0, 1)->text(),
            kept.size() == 4 ? QString() : kept.join(QStringLiteral("; ")));
    }

    void deselectedSiteDropsItsWaterUsers()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        auto* sites = child<QTableWidget>(&dialog, "_aggDivTableWidget");
        auto* users = child<QTableWidget>(&dialog, "_watUsrTableWidget");

        // Uncheck Alpha first; refreshing the list checks every listed water user again.
        users->selectionModel()->select(
            users->model()->index(0, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        QCOMPARE(checks(users), (QList<bool> { false, true, true, true }));
        QCOMPARE(names(dialog.selectedWaterUsers()),
            (QStringList {
                QStringLiteral("Bravo"), QStringLiteral("Charlie"), QStringLiteral("Delta") }));

        sites->selectionModel()->select(
            sites->model()->index(1, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        QCOMPARE(checks(sites), (QList<bool> { true, false, true }));
        QCOMPARE(texts(users),
            (QStringList {
                QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Delta") }));
        QCOMPARE(checks(users), (QList<bool> { true, true, true }));

        // "Select All" takes the site back in.
        QTest::mouseClick(child<QPushButton>(&dialog, "_selAllAggDivBtn"), Qt::LeftButton);
        QCOMPARE(checks(sites), (QList<bool> { true, true, true }));
        QCOMPARE(texts(users).size(), 4);

        users->selectionModel()->clearSelection();
        QCOMPARE(checks(users), (QList<bool> { false, false, false, false }));
        QVERIFY(dialog.selectedWaterUsers().isEmpty());
        QTest::mouseClick(child<QPushButton>(&dialog, "_selAllWatUsrBtn"), Qt::LeftButton);
        QCOMPARE(checks(users), (QList<bool> { true, true, true, true }));
        QCOMPARE(users->selectionModel()->selectedRows().size(), 4);
    }

    void missingAttributeKinds_data()
    {
        QTest::addColumn<QString>("drop");
        QTest::addColumn<QStringList>("sites");
        QTest::addColumn<QStringList>("users");
        QTest::newRow("no site attributes")
            << QStringLiteral("DELETE FROM Attribute WHERE AttrID = 1") << QStringList()
            << QStringList();
        QTest::newRow("no water user attributes")
            << QStringLiteral("DELETE FROM Attribute WHERE AttrID = 2")
            << QStringList { QStringLiteral("North"), QStringLiteral("South"),
                   QStringLiteral("East") }
            << QStringList();
    }
    void missingAttributeKinds()
    {
        QFETCH(QString, drop);
        QFETCH(QStringList, sites);
        QFETCH(QStringList, users);
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.exec(drop).isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        QCOMPARE(texts(child<QTableWidget>(&dialog, "_aggDivTableWidget")), sites);
        QCOMPARE(texts(child<QTableWidget>(&dialog, "_watUsrTableWidget")), users);
        QVERIFY(dialog.selectedWaterUsers().isEmpty());
    }

    void acceptedThroughExec()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        WaterUserSelectorDlg dialog;
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<WaterUserSelectorDlg*>(QApplication::activeModalWidget());
            if (!shown)
                return;
            auto* users = shown->findChild<QTableWidget*>(QStringLiteral("_watUsrTableWidget"));
            users->selectionModel()->select(users->model()->index(1, 0),
                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            QTest::mouseClick(
                shown->findChild<QPushButton*>(QStringLiteral("_okButton")), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(names(dialog.selectedWaterUsers()),
            (QStringList {
                QStringLiteral("Alpha"), QStringLiteral("Charlie"), QStringLiteral("Delta") }));
    }

    void cacheFollowsTheOpenProject()
    {
        TestProject first;
        QVERIFY(first.exec(QString::fromLatin1(BasinProject)).isOk());
        TestProject second(2000, 2010, QStringLiteral("second"));
        QVERIFY(
            second
                .exec(QStringLiteral(
                    "INSERT INTO AggDiv (AggDivID, SiteName) VALUES (7, 'Lake');"
                    "INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (40, 'Zone', 1);"
                    "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES (400, 40, "
                    "'Unassigned');"
                    "INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (40, 7, "
                    "400);"))
                .isOk());

        const auto siteAttributes = [](QWidget* dialog) {
            auto* panel = child<AttrFilterWidget>(dialog, "_aggDivFiltWidget");
            return texts(child<QTableWidget>(panel, "_filtTableWidget"));
        };

        QVERIFY(first.openInManager().isOk());
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(siteAttributes(&dialog), QStringList { QStringLiteral("Basin") });
        }
        QVERIFY(second.openInManager().isOk());
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(siteAttributes(&dialog), QStringList { QStringLiteral("Zone") });
            QCOMPARE(texts(child<QTableWidget>(&dialog, "_aggDivTableWidget")),
                QStringList { QStringLiteral("Lake") });
        }
        // The same file again after the manager was replaced.
        resetDbManager();
        QVERIFY(first.openInManager().isOk());
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(siteAttributes(&dialog), QStringList { QStringLiteral("Basin") });
        }
    }

    void cacheFollowsAttributeEdits()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromLatin1(BasinProject)).isOk());
        QVERIFY(project.openInManager().isOk());
        const auto waterUserValues = [](QWidget* dialog) {
            auto* panel = child<AttrFilterWidget>(dialog, "_watUsrFiltWidget");
            auto* attrs = child<QTableWidget>(panel, "_filtTableWidget");
            emit attrs->itemClicked(attrs->item(0, 0));
            return texts(child<QTableWidget>(panel, "_attrTableWidget"));
        };
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(waterUserValues(&dialog).size(), 3);
        }
        // Both panels of one opening share a single read.
        const int reads = AttributeCache::instance().loadCount();
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(waterUserValues(&dialog).size(), 3);
        }
        QCOMPARE(AttributeCache::instance().loadCount(), reads + 1);

        // A value added through the data-access object shows at the next opening.
        AttrValidVal added;
        added.AttrID = 2;
        added.AttrVal = QStringLiteral("Industrial");
        QVERIFY(TarnDbMgr::instance()->attributeDAO()->addValidValue(added).isOk());
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(waterUserValues(&dialog).last(), QStringLiteral("Industrial"));
        }

        // A value added inside a transaction that is then rolled back is gone again.
        QSqlDatabase& db = TarnDbMgr::instance()->database();
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
        AttrValidVal temporary;
        temporary.AttrID = 2;
        temporary.AttrVal = QStringLiteral("Temporary");
        QVERIFY(TarnDbMgr::instance()->attributeDAO()->addValidValue(temporary).isOk());
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(waterUserValues(&dialog).last(), QStringLiteral("Temporary"));
        }
        QVERIFY(db.rollback());
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(waterUserValues(&dialog).last(), QStringLiteral("Industrial"));
        }

        // A value written some other way shows once the cache is declared stale.
        QSqlQuery insert(TarnDbMgr::instance()->database());
        QVERIFY(insert.exec(QStringLiteral("INSERT INTO AttrValidVal (AttrValidValID, AttrID, "
                                           "AttrVal) VALUES (9000000, 2, 'Stock')")));
        AttributeCache::invalidate();
        {
            WaterUserSelectorDlg dialog;
            QCOMPARE(waterUserValues(&dialog).last(), QStringLiteral("Stock"));
        }
    }
};

QTEST_MAIN(TestWaterUserSelector)
#include "tst_wateruserselector.moc"
