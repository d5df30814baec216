#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/AggDivProxyModel.h"
#include "ui/common/AggDivViewModel.h"
#include "ui/common/AttrValidValViewModel.h"
#include "ui/common/AttributeSelectionViewModel.h"
#include "ui/common/AttributeViewModel.h"
#include "ui/common/WaterUserAttrViewModel.h"
#include "ui/common/WaterUserDataViewModel.h"
#include "ui/common/WaterUserProxyModel.h"
#include "ui/common/WaterUserViewModel.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

AggDiv site(int id, const QString& name, const QString& riffle, int ord)
{
    AggDiv a;
    a.AggDivID = id;
    a.SiteName = name;
    a.RiffleName = riffle;
    a.Ord = ord;
    return a;
}

QList<AggDiv> fiveSites()
{
    return { site(1, QStringLiteral("Alpine"), QStringLiteral("RW Alpine"), 10),
        site(2, QStringLiteral("Bend"), QStringLiteral("RW Bend"), 9),
        site(3, QStringLiteral("Cedar"), QStringLiteral("RW Cedar"), 2),
        site(4, QStringLiteral("Dune"), QStringLiteral("North Reach"), 30),
        site(5, QStringLiteral("Elk"), QStringLiteral("RW Elk"), 4) };
}

QList<int> siteIds(const AggDivViewModel& model)
{
    QList<int> ids;
    for (const AggDiv& a : model.records())
        ids << a.AggDivID;
    return ids;
}

QList<int> siteOrds(const AggDivViewModel& model)
{
    QList<int> ords;
    for (const AggDiv& a : model.records())
        ords << a.Ord;
    return ords;
}

QStringList column(const QAbstractItemModel& model, int col)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, col).data().toString();
    return texts;
}

AttrSelection selection(int attrId, const QString& name, const QString& type, const QString& value)
{
    AttrSelection s;
    s.AttrID = attrId;
    s.AttrName = name;
    s.typeName = type;
    s.AttrVal = value;
    return s;
}

} // namespace

class TestViewModels : public QObject {
    Q_OBJECT

private slots:
    void moveRenumbersOrd_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("destination");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("third of five up") << 2 << 1 << 1 << true << QList<int> { 1, 3, 2, 4, 5 };
        QTest::newRow("last to top") << 4 << 1 << 0 << true << QList<int> { 5, 1, 2, 3, 4 };
        QTest::newRow("two rows up") << 3 << 2 << 1 << true << QList<int> { 1, 4, 5, 2, 3 };
        QTest::newRow("first down past one") << 0 << 1 << 2 << true << QList<int> { 2, 1, 3, 4, 5 };
        QTest::newRow("onto itself is refused")
            << 2 << 1 << 2 << false << QList<int> { 1, 2, 3, 4, 5 };
        QTest::newRow("past the end is refused")
            << 4 << 2 << 0 << false << QList<int> { 1, 2, 3, 4, 5 };
    }
    void moveRenumbersOrd()
    {
        QFETCH(int, source);
        QFETCH(int, count);
        QFETCH(int, destination);
        QFETCH(bool, moved);
        QFETCH(QList<int>, ids);

        AggDivViewModel model;
        model.setRecords(fiveSites());
        QSignalSpy spy(&model, &QAbstractItemModel::rowsMoved);
        QCOMPARE(model.moveRows(QModelIndex(), source, count, QModelIndex(), destination), moved);
        QCOMPARE(spy.count(), moved ? 1 : 0);
        QCOMPARE(siteIds(model), ids);
        if (moved)
            QCOMPARE(siteOrds(model), (QList<int> { 0, 1, 2, 3, 4 }));
        else
            QCOMPARE(siteOrds(model), (QList<int> { 10, 9, 2, 30, 4 }));
        // The view sees what the list holds.
        QCOMPARE(model.index(0, AggDivViewModel::IdColumn).data().toInt(), ids.first());
    }

    void waterUserMoveRenumbersOrd()
    {
        WaterUserViewModel model;
        QList<WaterUser> users;
        for (int i = 1; i <= 3; ++i) {
            WaterUser w;
            w.WaterUserID = i;
            w.WaterUserName = QStringLiteral("User %1").arg(i);
            w.Ord = 100 + i;
            users << w;
        }
        model.setRecords(users);
        QVERIFY(model.moveRows(QModelIndex(), 2, 1, QModelIndex(), 0));
        QList<int> ids, ords;
        for (const WaterUser& w : model.records()) {
            ids << w.WaterUserID;
            ords << w.Ord;
        }
        QCOMPARE(ids, (QList<int> { 3, 1, 2 }));
        QCOMPARE(ords, (QList<int> { 0, 1, 2 }));
    }

    void sortByColumn_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("name descending")
            << int(AggDivViewModel::NameColumn) << int(Qt::DescendingOrder)
            << QList<int> { 5, 4, 3, 2, 1 };
        QTest::newRow("name ascending") << int(AggDivViewModel::NameColumn)
                                        << int(Qt::AscendingOrder) << QList<int> { 1, 2, 3, 4, 5 };
        // Numbers compare as numbers: 9 before 10 before 30.
        QTest::newRow("ord ascending") << int(AggDivViewModel::OrdColumn) << int(Qt::AscendingOrder)
                                       << QList<int> { 3, 5, 2, 1, 4 };
        QTest::newRow("riffle name descending")
            << int(AggDivViewModel::RiffleNameColumn) << int(Qt::DescendingOrder)
            << QList<int> { 5, 3, 2, 1, 4 };
    }
    void sortByColumn()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, ids);
        AggDivViewModel model;
        QList<AggDiv> shuffled = fiveSites();
        std::swap(shuffled[0], shuffled[3]);
        std::swap(shuffled[1], shuffled[4]);
        model.setRecords(shuffled);
        int layoutChanges = 0;
        connect(&model, &QAbstractItemModel::layoutChanged, this, [&] { ++layoutChanges; });
        model.sort(column, Qt::SortOrder(order));
        QCOMPARE(layoutChanges, 1);
        QCOMPARE(siteIds(model), ids);
    }

    void sortTwiceKeepsTheRows()
    {
        AggDivViewModel model;
        QList<AggDiv> sites = fiveSites();
        sites[1].SiteName = sites[0].SiteName;
        sites[3].SiteName = sites[0].SiteName;
        model.setRecords(sites);
        model.sort(AggDivViewModel::NameColumn, Qt::DescendingOrder);
        model.sort(AggDivViewModel::NameColumn, Qt::DescendingOrder);
        QList<int> ids = siteIds(model);
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, (QList<int> { 1, 2, 3, 4, 5 }));
        QCOMPARE(model.records().first().SiteName, QStringLiteral("Elk"));
    }

    void removeRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("middle two") << 1 << 2 << true << QList<int> { 1, 4, 5 };
        QTest::newRow("last") << 4 << 1 << true << QList<int> { 1, 2, 3, 4 };
        QTest::newRow("past the end") << 4 << 2 << false << QList<int> { 1, 2, 3, 4, 5 };
        QTest::newRow("negative row") << -1 << 1 << false << QList<int> { 1, 2, 3, 4, 5 };
    }
    void removeRows()
    {
        QFETCH(int, row);
        QFETCH(int, count);
        QFETCH(bool, removed);
        QFETCH(QList<int>, ids);
        AggDivViewModel model;
        model.setRecords(fiveSites());
        QCOMPARE(model.removeRows(row, count), removed);
        QCOMPARE(siteIds(model), ids);
        QCOMPARE(model.rowCount(), ids.size());
    }

    void outOfRangeReadsAreEmpty()
    {
        AggDivViewModel model;
        model.setRecords(fiveSites());
        QCOMPARE(model.record(5).AggDivID, 0);
        QCOMPARE(model.record(-1).SiteName, QString());
        QCOMPARE(model.record(2).SiteName, QStringLiteral("Cedar"));
        QVERIFY(!model.data(model.index(7, 1)).isValid());
        QVERIFY(!model.data(model.index(1, 1), Qt::EditRole).isValid());
        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Riffle Name"));
        QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(1, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(1, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }

    void headers_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("headers");
        QTest::newRow("water users") << QStringLiteral("WaterUser")
                                     << QStringList { {}, {}, QStringLiteral("Water User"), {}, {},
                                            {}, {}, QStringLiteral("Aggregate Diversion Site") };
        QTest::newRow("yearly data")
            << QStringLiteral("WaterUserData")
            << QStringList { {}, {}, QStringLiteral("Year"), QStringLiteral("Diversion"),
                   QStringLiteral("Depletion"), QStringLiteral("Efficiency Ratio"),
                   QStringLiteral("Salinity Pickup") };
        QTest::newRow("attributes")
            << QStringLiteral("Attribute")
            << QStringList { {}, {}, QStringLiteral("Attribute"), {}, QStringLiteral("Type") };
        QTest::newRow("valid values")
            << QStringLiteral("AttrValidVal") << QStringList { {}, {}, QStringLiteral("Value") };
        QTest::newRow("water user attributes")
            << QStringLiteral("WaterUserAttr")
            << QStringList { {}, {}, QStringLiteral("Attribute"), {}, QStringLiteral("Value") };
    }
    void headers()
    {
        QFETCH(QString, model);
        QFETCH(QStringList, headers);
        std::unique_ptr<QAbstractItemModel> instance;
        if (model == QStringLiteral("WaterUser"))
            instance.reset(new WaterUserViewModel);
        else if (model == QStringLiteral("WaterUserData"))
            instance.reset(new WaterUserDataViewModel);
        else if (model == QStringLiteral("Attribute"))
            instance.reset(new AttributeViewModel);
        else if (model == QStringLiteral("AttrValidVal"))
            instance.reset(new AttrValidValViewModel);
        else
            instance.reset(new WaterUserAttrViewModel);
        QCOMPARE(instance->columnCount(), headers.size());
        for (int section = 0; section < headers.size(); ++section) {
            const QVariant header = instance->headerData(section, Qt::Horizontal);
            QCOMPARE(header.isValid(), !headers.at(section).isEmpty());
            QCOMPARE(header.toString(), headers.at(section));
        }
    }

    void waterUserColumnsReadTheSite()
    {
        WaterUser w;
        w.WaterUserID = 12;
        w.WaterUserName = QStringLiteral("Upper Ditch");
        w.aggDiv = site(7, QStringLiteral("North Canal"), QStringLiteral("NC"), 0);
        WaterUserViewModel model;
        model.appendRecord(w);
        QCOMPARE(model.index(0, WaterUserViewModel::ScenarioColumn).data(), QVariant(0));
        QCOMPARE(model.index(0, WaterUserViewModel::AggDivIdColumn).data(), QVariant(7));
        QCOMPARE(model.index(0, WaterUserViewModel::SiteNameColumn).data().toString(),
            QStringLiteral("North Canal"));

        w.WaterUserName = QStringLiteral("Renamed");
        model.replaceRecord(w);
        QCOMPARE(model.records().at(0).WaterUserName, QStringLiteral("Renamed"));
        w.WaterUserID = 99;
        w.WaterUserName = QStringLiteral("Stranger");
        model.replaceRecord(w);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.records().at(0).WaterUserName, QStringLiteral("Renamed"));
    }

    void yearlyValueEntry_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("isNaN");
        QTest::addColumn<double>("stored");
        QTest::newRow("number") << int(WaterUserDataViewModel::DepletionColumn) << QVariant(3.5)
                                << true << false << 3.5;
        QTest::newRow("number as text")
            << int(WaterUserDataViewModel::SalinityColumn) << QVariant(QStringLiteral("1e2"))
            << true << false << 100.0;
        QTest::newRow("empty text") << int(WaterUserDataViewModel::DiversionColumn)
                                    << QVariant(QString()) << true << true << 0.0;
        QTest::newRow("null text") << int(WaterUserDataViewModel::EfficiencyColumn)
                                   << QVariant(QVariant::String) << true << true << 0.0;
        QTest::newRow("not a number") << int(WaterUserDataViewModel::DepletionColumn)
                                      << QVariant(QStringLiteral("abc")) << true << true << 0.0;
        QTest::newRow("year is not editable") << int(WaterUserDataViewModel::YearColumn)
                                              << QVariant(1999) << false << false << 2005.0;
    }
    void yearlyValueEntry()
    {
        QFETCH(int, column);
        QFETCH(QVariant, value);
        QFETCH(bool, accepted);
        QFETCH(bool, isNaN);
        QFETCH(double, stored);

        WaterUserDataViewModel model;
        WaterUserData row;
        row.Year = 2005;
        row.DiversionReq = 1;
        row.DepletionReq = 2;
        row.EfficiencyRatio = 0.5;
        row.SalinityPickup = 4;
        model.setRecords({ row });
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QModelIndex index = model.index(0, column);
        QCOMPARE(model.setData(index, value), accepted);
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        QCOMPARE(bool(model.flags(index) & Qt::ItemIsEditable), accepted);
        const WaterUserData& r = model.records().at(0);
        const double values[] = { double(r.id), double(r.WaterUserID), double(r.Year),
            r.DiversionReq, r.DepletionReq, r.EfficiencyRatio, r.SalinityPickup };
        QCOMPARE(std::isnan(values[column]), isNaN);
        if (!isNaN)
            QCOMPARE(values[column], stored);
        if (isNaN)
            QCOMPARE(index.data(), QVariant(QString()));
        QVERIFY(!model.setData(model.index(3, column), value));
    }

    void assignmentValueIsTheOnlyEditableCell()
    {
        AggDivAttr a;
        a.id = 5;
        a.attribute.AttrID = 2;
        a.attribute.AttrName = QStringLiteral("Basin");
        a.value.AttrValidValID = 20;
        a.value.AttrVal = QStringLiteral("Upper");
        AggDivAttrViewModel model;
        model.setRecords({ a });
        QCOMPARE(column(model, 2), QStringList { QStringLiteral("Basin") });
        QVERIFY(model.flags(model.index(0, 4)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(0, 2)) & Qt::ItemIsEditable));
        QVERIFY(model.setData(model.index(0, 3), 21));
        QVERIFY(model.setData(model.index(0, 4), QStringLiteral("Lower")));
        QVERIFY(!model.setData(model.index(0, 2), QStringLiteral("Renamed")));
        QVERIFY(!model.setData(model.index(1, 4), QStringLiteral("x")));
        QCOMPARE(model.records().at(0).value.AttrValidValID, 21);
        QCOMPARE(model.records().at(0).value.AttrVal, QStringLiteral("Lower"));
        QCOMPARE(model.records().at(0).attribute.AttrName, QStringLiteral("Basin"));
    }

    void filterSummaryJoinsValues()
    {
        AttributeSelectionViewModel model;
        model.setSelections({ selection(9, QStringLiteral("Use"), QStringLiteral("WaterUser"),
                                  QStringLiteral("Irrigation")),
            selection(
                4, QStringLiteral("Basin"), QStringLiteral("AggDiv"), QStringLiteral("Upper")),
            selection(
                4, QStringLiteral("Basin"), QStringLiteral("AggDiv"), QStringLiteral("Lower")),
            selection(
                4, QStringLiteral("Basin"), QStringLiteral("AggDiv"), QStringLiteral("Middle")) });
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(column(model, 0),
            (QStringList { QStringLiteral("AggDiv"), QStringLiteral("WaterUser") }));
        QCOMPARE(
            column(model, 1), (QStringList { QStringLiteral("Basin"), QStringLiteral("Use") }));
        QCOMPARE(column(model, 2),
            (QStringList { QStringLiteral("Upper; Lower; Middle"), QStringLiteral("Irrigation") }));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Values"));
        QVERIFY(!(model.flags(model.index(0, 2)) & Qt::ItemIsEditable));
        model.setSelections({});
        QCOMPARE(model.rowCount(), 0);
    }

    void siteFilterMatchesEitherName_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("fixedString");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("site name")
            << QStringLiteral("Ced") << false << QStringList { QStringLiteral("Cedar") };
        QTest::newRow("river-model name only")
            << QStringLiteral("North") << false << QStringList { QStringLiteral("Dune") };
        QTest::newRow("both names of several") << QStringLiteral(
            "l") << false << QStringList { QStringLiteral("Alpine"), QStringLiteral("Elk") };
        QTest::newRow("anchored") << QStringLiteral("^RW B") << false
                                  << QStringList { QStringLiteral("Bend") };
        QTest::newRow("fixed string")
            << QStringLiteral("Reach") << true << QStringList { QStringLiteral("Dune") };
        QTest::newRow("nothing") << QStringLiteral("zzz") << false << QStringList();
        QTest::newRow("empty filter")
            << QString() << false
            << QStringList { QStringLiteral("Alpine"), QStringLiteral("Bend"),
                   QStringLiteral("Cedar"), QStringLiteral("Dune"), QStringLiteral("Elk") };
    }
    void siteFilterMatchesEitherName()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, fixedString);
        QFETCH(QStringList, names);
        AggDivViewModel sites;
        sites.setRecords(fiveSites());
        AggDivProxyModel proxy;
        proxy.setSourceModel(&sites);
        if (fixedString)
            proxy.setFilterFixedString(pattern);
        else
            proxy.setFilterRegularExpression(QRegularExpression(pattern));
        QCOMPARE(column(proxy, AggDivViewModel::NameColumn), names);
    }

    void waterUserFilterMatchesEitherName()
    {
        WaterUserViewModel users;
        const QStringList names { QStringLiteral("Upper Ditch"), QStringLiteral("Lower Ditch"),
            QStringLiteral("Town") };
        const QStringList riffles { QStringLiteral("UD"), QStringLiteral("Lower RW"),
            QStringLiteral("Upper Town") };
        for (int i = 0; i < names.size(); ++i) {
            WaterUser w;
            w.WaterUserID = i + 1;
            w.WaterUserName = names.at(i);
            w.RiffleName = riffles.at(i);
            w.aggDiv.SiteName = QStringLiteral("Upper Site");
            users.appendRecord(w);
        }
        WaterUserProxyModel proxy;
        proxy.setSourceModel(&users);
        proxy.setFilterRegularExpression(QRegularExpression(QStringLiteral("Upper")));
        // The site name (column 7) is not searched.
        QCOMPARE(column(proxy, WaterUserViewModel::NameColumn),
            (QStringList { QStringLiteral("Upper Ditch"), QStringLiteral("Town") }));
    }
};

QTEST_MAIN(TestViewModels)
#include "tst_viewmodels.moc"
