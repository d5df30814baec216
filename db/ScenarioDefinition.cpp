// ScenarioDAO::readDefinition: the rows a scenario's fingerprint is made of.

#include "db/ScenarioDefinition.h"
#include "db/ScenarioDAO.h"
#include "db/TarnNames.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <cmath>

namespace {

double stored(const QVariant& value)
{
    if (value.isNull())
        return TARN::nan();
    bool ok = false;
    const double v = value.toDouble(&ok);
    return ok ? v : TARN::nan();
}

class Reader {
public:
    explicit Reader(const QSqlDatabase& db)
        : _db(db)
    {
    }

    // Runs the statement with :id bound; every row as a list of its columns.
    bool rows(const QString& sql, const QVariant& id, QList<QVariantList>* out)
    {
        out->clear();
        QSqlQuery q(_db);
        q.setForwardOnly(true);
        if (!q.prepare(sql)) {
            _error = q.lastError().text();
            return false;
        }
        q.bindValue(QStringLiteral(":id"), id);
        if (!q.exec()) {
            _error = q.lastError().text();
            return false;
        }
        while (q.next()) {
            QVariantList row;
            const int n = q.record().count();
            for (int i = 0; i < n; ++i)
                row.append(q.value(i));
            out->append(row);
        }
        return true;
    }
    const QString& error() const { return _error; }

private:
    QSqlDatabase _db;
    QString _error;
};

} // namespace

TARN::okstat ScenarioDAO::readDefinition(
    const QSqlDatabase& db, int scenarioId, ScenarioDefinition& definition)
{
    definition = ScenarioDefinition();
    Reader read(db);
    QList<QVariantList> changes;
    // DemandChg: methods at 5 and 6, the filter flag at 7 (read by position).
    if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY %3, %4")
                       .arg(TN::DemandChgTable, TN::ScenarioID, TN::CreatedDate, TN::DemandChgID),
            scenarioId, &changes))
        return read.error();
    for (const QVariantList& row : qAsConst(changes)) {
        if (row.size() < 8)
            return QStringLiteral("The demand change table has too few columns.");
        const QVariant id = row.at(0);
        ScenarioDefinition::DemandChange change;
        change.demandMethod = row.at(5).toString();
        change.efficiencyMethod = row.at(6).toString();
        change.useFilter = row.at(7).toInt() != 0;
        for (const auto& [list, table] : { std::pair { &change.depletion, TN::DepletionChgTable },
                 std::pair { &change.efficiency, TN::EfficiencyChgTable } }) {
            QList<QVariantList> years;
            // Year at 2, change type at 3, value at 4; ordered by year, then key.
            if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY 3, 1")
                               .arg(table, TN::DemandChgID),
                    id, &years))
                return read.error();
            for (const QVariantList& y : qAsConst(years))
                if (y.size() >= 5)
                    list->append({ y.at(2).toString(), y.at(3).toString(), stored(y.at(4)) });
        }
        QList<QVariantList> rows;
        if (!read.rows(QStringLiteral("SELECT a.%1, w.%1 FROM %2 m JOIN %3 w ON w.%4 = m.%4 "
                                      "JOIN %5 a ON a.%6 = w.%6 WHERE m.%7 = :id")
                           .arg(TN::RiffleName, TN::DemandChgWaterUserTable, TN::WaterUserTable,
                               TN::WaterUserID, TN::AggDivTable, TN::AggDivID, TN::DemandChgID),
                id, &rows))
            return read.error();
        for (const QVariantList& r : qAsConst(rows))
            change.members.append({ r.at(0).toString(), r.at(1).toString() });
        if (!read.rows(
                QStringLiteral("SELECT t.%1, v.%2 FROM %3 s JOIN %4 t ON t.%5 = s.%5 "
                               "JOIN %6 v ON v.%7 = s.%7 WHERE s.%8 = :id")
                    .arg(TN::AttrName, TN::AttrVal, TN::DemandSelectionTable, TN::AttributeTable,
                        TN::AttrID, TN::AttrValidValTable, TN::AttrValidValID, TN::DemandChgID),
                id, &rows))
            return read.error();
        for (const QVariantList& r : qAsConst(rows))
            change.filters.append({ r.at(0).toString(), r.at(1).toString() });
        definition.changes.append(change);
    }

    QList<QVariantList> users;
    if (!read.rows(QStringLiteral("SELECT w.%1, a.%2, w.%2, w.%3 FROM %4 w JOIN %5 a ON a.%6 = "
                                  "w.%6 WHERE w.%7 = :id")
                       .arg(TN::WaterUserID, TN::RiffleName, TN::WaterUserName, TN::WaterUserTable,
                           TN::AggDivTable, TN::AggDivID, TN::ScenarioID),
            scenarioId, &users))
        return read.error();
    for (const QVariantList& row : qAsConst(users)) {
        ScenarioDefinition::OwnWaterUser user;
        user.siteRiverName = row.at(1).toString();
        user.riverName = row.at(2).toString();
        user.name = row.at(3).toString();
        QList<QVariantList> rows;
        // WaterUserData: year at 2, the four values at 3 to 6.
        if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY 3, 1")
                           .arg(TN::WaterUserDataTable, TN::WaterUserID),
                row.at(0), &rows))
            return read.error();
        for (const QVariantList& r : qAsConst(rows))
            if (r.size() >= 7)
                user.data.append({ r.at(2).toString(),
                    { stored(r.at(3)), stored(r.at(4)), stored(r.at(5)), stored(r.at(6)) } });
        // WaterUserDist: January to December at 2 to 13.
        if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY 1")
                           .arg(TN::WaterUserDistTable, TN::WaterUserID),
                row.at(0), &rows))
            return read.error();
        for (const QVariantList& r : qAsConst(rows)) {
            QVector<double> coefficients;
            for (int i = 2; i < 14 && i < r.size(); ++i)
                coefficients.append(stored(r.at(i)));
            user.coefficients.append(coefficients);
        }
        definition.waterUsers.append(user);
    }
    return {};
}
