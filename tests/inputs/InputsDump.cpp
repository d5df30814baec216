#include "InputsDump.h"

#include "db/ProjectFile.h"

#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

QString text(const QVariant& value)
{
    if (value.isNull())
        return {}; // as the book gives it: an empty note and a missing value alike
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok && value.type() != QVariant::String)
        return QString::number(number, 'g', 12);
    return value.toString();
}

// Every row of a table, its columns from first on, as texts.
QList<QStringList> rows(QSqlDatabase& db, const QString& table, int first = 0)
{
    QList<QStringList> all;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT * FROM %1").arg(table)))
        return all;
    while (query.next()) {
        QStringList row;
        for (int c = first; c < query.record().count(); ++c)
            row.append(text(query.value(c)));
        all.append(row);
    }
    return all;
}

struct Names {
    QHash<QString, QString> sites; // AggDivID -> Riffle name
    QHash<QString, QString> waterUsers; // baseline WaterUserID -> "site|water user"
    QHash<QString, QString> ownUsers; // a scenario's WaterUserID -> "scenario:site|water user"
    QHash<QString, QString> scenarios; // ScenarioID -> name
    QHash<QString, QString> changes; // DemandChgID -> "scenario|change"
    QHash<QString, QString> attributes; // AttrID -> name
    QHash<QString, QString> values; // AttrValidValID -> text
};

Names names(QSqlDatabase& db)
{
    Names n;
    for (const QStringList& row : rows(db, QStringLiteral("AggDiv")))
        n.sites.insert(row.at(0), row.at(4));
    for (const QStringList& row : rows(db, QStringLiteral("Scenario")))
        n.scenarios.insert(row.at(0), row.at(2));
    for (const QStringList& row : rows(db, QStringLiteral("DemandChg")))
        n.changes.insert(row.at(0), n.scenarios.value(row.at(1)) + QLatin1Char('|') + row.at(2));
    for (const QStringList& row : rows(db, QStringLiteral("WaterUser"))) {
        const QString name = n.sites.value(row.at(1)) + QLatin1Char('|') + row.at(4);
        if (row.at(2).isEmpty())
            n.waterUsers.insert(row.at(0), name);
        else
            n.ownUsers.insert(row.at(0), n.scenarios.value(row.at(2)) + QLatin1Char(':') + name);
    }
    for (const QStringList& row : rows(db, QStringLiteral("Attribute")))
        n.attributes.insert(row.at(0), row.at(2) + QLatin1Char('/') + row.at(3));
    for (const QStringList& row : rows(db, QStringLiteral("AttrValidVal")))
        n.values.insert(row.at(0), row.at(2));
    return n;
}

template<typename Fill>
QStringList withProject(const QString& path, Fill fill)
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(path, &status);
    QStringList lines;
    if (status.isOk())
        fill(db, names(db), lines);
    else
        lines.append(QStringLiteral("cannot open: ") + status.text());
    ProjectFile::closeConnection(db);
    lines.sort();
    return lines;
}

} // namespace

QStringList dumpInputs(const QString& path)
{
    return withProject(path, [](QSqlDatabase& db, const Names& cn, QStringList& lines) {
        // The water users of the scenarios are dumped as the baseline's are, under their names.
        Names n = cn;
        for (auto it = cn.ownUsers.constBegin(); it != cn.ownUsers.constEnd(); ++it)
            n.waterUsers.insert(it.key(), it.value());
        for (const QStringList& row : rows(db, QStringLiteral("Scenario")))
            lines.append(QStringLiteral("scenario|") + row.mid(2).join(QLatin1Char('|')));
        for (const QStringList& row : rows(db, QStringLiteral("DemandChg")))
            lines.append(QStringLiteral("change|%1|").arg(n.scenarios.value(row.at(1)))
                + row.mid(2).join(QLatin1Char('|')));
        for (const QString& table :
            { QStringLiteral("DepletionChg"), QStringLiteral("EfficiencyChg") })
            for (const QStringList& row : rows(db, table))
                lines.append(QStringLiteral("%1|%2|").arg(table, n.changes.value(row.at(1)))
                    + row.mid(2).join(QLatin1Char('|')));
        for (const QStringList& row : rows(db, QStringLiteral("DemandChgWaterUser")))
            lines.append(QStringLiteral("member|%1|%2")
                             .arg(n.changes.value(row.at(1)), n.waterUsers.value(row.at(2))));
        for (const QStringList& row : rows(db, QStringLiteral("DemandSelection")))
            lines.append(QStringLiteral("filter|%1|%2|%3")
                             .arg(n.changes.value(row.at(1)), n.attributes.value(row.at(2)),
                                 n.values.value(row.at(3))));
        for (const QStringList& row : rows(db, QStringLiteral("Baseline")))
            lines.append(QStringLiteral("baseline|")
                + QStringList { row.at(1), row.at(5), row.at(6), row.at(7) }.join(
                    QLatin1Char('|')));
        for (const QStringList& row : rows(db, QStringLiteral("AttrValidVal")))
            lines.append(
                QStringLiteral("value|%1|%2").arg(n.attributes.value(row.at(1)), row.at(2)));
        for (const QStringList& row : rows(db, QStringLiteral("AggDiv")))
            lines.append(QStringLiteral("site|") + row.mid(2).join(QLatin1Char('|')));
        for (const QStringList& row : rows(db, QStringLiteral("AggDivAttr")))
            lines.append(QStringLiteral("siteattr|%1|%2|%3")
                             .arg(n.sites.value(row.at(2)), n.attributes.value(row.at(1)),
                                 n.values.value(row.at(3))));
        for (const QStringList& row : rows(db, QStringLiteral("WaterUser")))
            if (n.waterUsers.contains(row.at(0)))
                lines.append(QStringLiteral("wu|%1|").arg(n.waterUsers.value(row.at(0)))
                    + row.mid(3).join(QLatin1Char('|')));
        for (const QStringList& row : rows(db, QStringLiteral("WaterUserAttr")))
            if (n.waterUsers.contains(row.at(2)))
                lines.append(QStringLiteral("wuattr|%1|%2|%3")
                                 .arg(n.waterUsers.value(row.at(2)), n.attributes.value(row.at(1)),
                                     n.values.value(row.at(3))));
        for (const QStringList& row : rows(db, QStringLiteral("WaterUserDist")))
            if (n.waterUsers.contains(row.at(1)))
                lines.append(QStringLiteral("dist|%1|").arg(n.waterUsers.value(row.at(1)))
                    + row.mid(2).join(QLatin1Char('|')));
        for (const QStringList& row : rows(db, QStringLiteral("WaterUserData"))) {
            const QStringList values = row.mid(3);
            if (n.waterUsers.contains(row.at(1)) && values.count(QString()) < values.size())
                lines.append(
                    QStringLiteral("data|%1|%2|").arg(n.waterUsers.value(row.at(1)), row.at(2))
                    + values.join(QLatin1Char('|')));
        }
    });
}

QStringList dumpResults(const QString& path)
{
    return withProject(path, [](QSqlDatabase& db, const Names& n, QStringList& lines) {
        for (const QString& table :
            { QStringLiteral("BaseYearlyAggDiv"), QStringLiteral("BaseMonthlyAggDiv") })
            for (const QStringList& row : rows(db, table))
                lines.append(QStringLiteral("%1|%2|").arg(table, n.sites.value(row.at(2)))
                    + row.mid(3).join(QLatin1Char('|')));
        for (const QString& table :
            { QStringLiteral("BaseYearlyWaterUser"), QStringLiteral("BaseMonthlyWaterUser") })
            for (const QStringList& row : rows(db, table))
                lines.append(QStringLiteral("%1|%2|").arg(table, n.waterUsers.value(row.at(2)))
                    + row.mid(3).join(QLatin1Char('|')));
        for (const QString& table :
            { QStringLiteral("ScenarioYearlyAggDiv"), QStringLiteral("ScenarioMonthlyAggDiv") })
            for (const QStringList& row : rows(db, table))
                lines.append(QStringLiteral("%1|%2|%3|")
                                 .arg(table, n.scenarios.value(row.at(2)), n.sites.value(row.at(3)))
                    + row.mid(4).join(QLatin1Char('|')));
        for (const QString& table : { QStringLiteral("ScenarioYearlyWaterUser"),
                 QStringLiteral("ScenarioMonthlyWaterUser") })
            for (const QStringList& row : rows(db, table))
                lines.append(QStringLiteral("%1|%2|%3|")
                                 .arg(table, n.scenarios.value(row.at(2)),
                                     n.waterUsers.value(row.at(3), n.ownUsers.value(row.at(3))))
                    + row.mid(4).join(QLatin1Char('|')));
    });
}
