#include "calc/ProjectCheckData.h"

#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/okstat.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

QString ProjectCheckData::WaterUser::label() const
{
    return QStringLiteral("Water user \"%1\" (%2)").arg(name, QString::number(id));
}

TARN::okstat ProjectCheckData::read(QSqlDatabase& db)
{
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    auto run = [&query](const QString& sql) { return query.exec(sql); };
    auto failure = [&query]() { return TARN::okstat(query.lastError().text()); };

    if (!run(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %4 LIMIT 1")
                 .arg(TN::StartYear, TN::EndYear, TN::BaselineTable, TN::BaselineID)))
        return failure();
    if (query.next()) {
        firstYear = query.value(0).toInt();
        lastYear = query.value(1).toInt();
    }

    if (!run(QStringLiteral("SELECT %1, %2, %3 FROM %4 ORDER BY %5, %1")
                 .arg(TN::AggDivID, TN::SiteName, TN::RiffleName, TN::AggDivTable, TN::Ord)))
        return failure();
    while (query.next()) {
        _siteIndex.insert(query.value(0).toInt(), sites.size());
        sites.append(
            { query.value(0).toInt(), query.value(1).toString(), query.value(2).toString() });
    }

    if (!run(QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 ORDER BY %1")
                 .arg(TN::WaterUserID, TN::AggDivID, TN::ScenarioID, TN::WaterUserName,
                     TN::RiffleName, TN::WaterUserTable)))
        return failure();
    while (query.next()) {
        WaterUser user;
        user.id = query.value(0).toInt();
        user.aggDivID = query.value(1).toInt();
        user.scenarioID = query.value(2).isNull() ? 0 : query.value(2).toInt();
        user.name = query.value(3).toString();
        user.riffleName = query.value(4).toString();
        _waterUserIndex.insert(user.id, waterUsers.size());
        waterUsers.append(user);
    }

    if (!run(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1")
                 .arg(TN::ScenarioID, TN::ScenarioName, TN::ScenarioTable)))
        return failure();
    while (query.next()) {
        _scenarioIndex.insert(query.value(0).toInt(), scenarios.size());
        scenarios.append({ query.value(0).toInt(), query.value(1).toString() });
    }

    // The change's name is one of the columns a file may name as it likes.
    QHash<int, int> changeIndex;
    if (!run(QStringLiteral("SELECT %1, %2, %3, %4, %5, %6 FROM %7 ORDER BY %1")
                 .arg(TN::DemandChgID, TN::ScenarioID,
                     columns.at(TN::DemandChgTable, TP::DemandChgName), TN::CreatedDate,
                     columns.at(TN::DemandChgTable, TP::DemandChgDepletionMethod),
                     columns.at(TN::DemandChgTable, TP::DemandChgEfficiencyMethod),
                     TN::DemandChgTable)))
        return failure();
    while (query.next()) {
        DemandChange change;
        change.id = query.value(0).toInt();
        change.scenarioID = query.value(1).toInt();
        change.name = query.value(2).toString();
        change.createdDate = query.value(3).toString();
        change.depletionMethod = query.value(4).toInt();
        change.efficiencyMethod = query.value(5).toInt();
        changeIndex.insert(change.id, changes.size());
        changes.append(change);
    }
    if (!run(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1, %2")
                 .arg(TN::DemandChgID, TN::WaterUserID, TN::DemandChgWaterUserTable)))
        return failure();
    while (query.next()) {
        const auto it = changeIndex.constFind(query.value(0).toInt());
        if (it != changeIndex.cend() && !changes[*it].waterUsers.contains(query.value(1).toInt()))
            changes[*it].waterUsers.append(query.value(1).toInt());
    }
    if (!run(QStringLiteral("SELECT %1, %2 FROM %3 UNION SELECT %1, %2 FROM %4 ORDER BY 1, 2")
                 .arg(TN::DemandChgID, TN::Year, TN::DepletionChgTable, TN::EfficiencyChgTable)))
        return failure();
    while (query.next()) {
        const auto it = changeIndex.constFind(query.value(0).toInt());
        if (it != changeIndex.cend())
            changes[*it].changedYears.append(query.value(1).toInt());
    }

    // In the calculation's order: of two rows of one year, the later one counts.
    if (!run(QStringLiteral("SELECT %1, %2, %3, %4, %5, %6 FROM %7 ORDER BY %1, %2, %8")
                 .arg(TN::WaterUserID, TN::Year, TN::DiversionReq, TN::DepletionReq,
                     TN::EfficiencyRatio, TN::SalinityPickup, TN::WaterUserDataTable,
                     columns.at(TN::WaterUserDataTable, TP::Key))))
        return failure();
    while (query.next()) {
        YearValues row;
        row.year = query.value(1).toInt();
        for (int kind = 0; kind < 4; ++kind) {
            const QVariant cell = query.value(kind + 2);
            row.values[kind] = TARN::storedNumber(cell);
            if (std::isnan(row.values[kind]) && !cell.isNull() && inRange(row.year))
                texts[query.value(0).toInt()].append({ row.year, kind, cell.toString() });
        }
        yearly[query.value(0).toInt()].append(row);
    }

    // The first distribution row of each water user, as the calculation reads it.
    if (!run(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1, %4")
                 .arg(TN::WaterUserID,
                     columns.range(
                         TN::WaterUserDistTable, TP::FirstCoefficient, TP::LastCoefficient),
                     TN::WaterUserDistTable, columns.at(TN::WaterUserDistTable, TP::Key))))
        return failure();
    while (query.next()) {
        const int id = query.value(0).toInt();
        if (distributions.contains(id))
            continue;
        std::array<double, 12> coefficients {};
        for (int month = 0; month < 12; ++month)
            coefficients[month] = TARN::storedNumber(query.value(month + 1));
        distributions.insert(id, coefficients);
    }
    return {};
}

const ProjectCheckData::WaterUser* ProjectCheckData::waterUser(int id) const
{
    const auto it = _waterUserIndex.constFind(id);
    return it == _waterUserIndex.cend() ? nullptr : &waterUsers.at(*it);
}

QString ProjectCheckData::siteRiffleName(int aggDivID) const
{
    const auto it = _siteIndex.constFind(aggDivID);
    return it == _siteIndex.cend() ? QString() : sites.at(*it).riffleName;
}

QString ProjectCheckData::scenarioName(int scenarioID) const
{
    const auto it = _scenarioIndex.constFind(scenarioID);
    return it == _scenarioIndex.cend() ? QString() : scenarios.at(*it).name;
}

QString ProjectCheckData::yearRanges(const QList<int>& years)
{
    QStringList parts;
    for (int i = 0; i < years.size();) {
        int j = i;
        while (j + 1 < years.size() && years.at(j + 1) == years.at(j) + 1)
            ++j;
        parts.append(i == j ? QString::number(years.at(i))
                            : QStringLiteral("%1\u2013%2")
                                  .arg(QString::number(years.at(i)), QString::number(years.at(j))));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}
