#include "db/ColumnNames.h"

#include "db/TarnNames.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QStringList& formatTables()
{
    static const QStringList tables = { TN::OutputTypeTable, TN::BaselineTable,
        TN::SalinityMethodTable, TN::AttrTypeTable, TN::CalcMethodTable, TN::ChangeTypeTable,
        TN::CurveDataTypeTable, TN::AggDivTable, TN::ScenarioTable, TN::WaterUserTable,
        TN::WaterUserDataTable, TN::WaterUserDistTable, TN::AttributeTable, TN::AttrValidValTable,
        TN::AggDivAttrTable, TN::WaterUserAttrTable, TN::DemandChgTable, TN::DepletionChgTable,
        TN::EfficiencyChgTable, TN::DemandChgWaterUserTable, TN::DemandSelectionTable,
        TN::PlotTable, TN::PlotScenarioTable, TN::PlotCurveTable, TN::PlotCurveFilterTable,
        TN::PlotCurveWaterUserTable, TN::BaseYearlyAggDivTable, TN::BaseMonthlyAggDivTable,
        TN::BaseYearlyWaterUserTable, TN::BaseMonthlyWaterUserTable, TN::ScenarioYearlyAggDivTable,
        TN::ScenarioMonthlyAggDivTable, TN::ScenarioYearlyWaterUserTable,
        TN::ScenarioMonthlyWaterUserTable };
    return tables;
}

} // namespace

QString ColumnNames::quoted(const QString& name)
{
    QString text = name;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

TARN::okstat ColumnNames::read(QSqlDatabase& db)
{
    _columns.clear();
    QSqlQuery query(db);
    for (const QString& table : formatTables()) {
        if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table))))
            return query.lastError().text();
        QStringList names;
        while (query.next())
            names.append(query.value(1).toString());
        query.finish();
        if (!names.isEmpty())
            _columns.insert(table, names);
    }
    return {};
}

QString ColumnNames::at(const QString& table, int pos) const
{
    const QStringList names = _columns.value(table);
    if (pos >= 0 && pos < names.size())
        return quoted(names.at(pos));
    // Only for a table the file lacks (or a column it lacks): the statement then fails naming
    // what is missing.
    return quoted(QStringLiteral("%1 column %2").arg(table, QString::number(pos)));
}

QString ColumnNames::range(const QString& table, int first, int last) const
{
    QStringList columns;
    for (int pos = first; pos <= last; ++pos)
        columns.append(at(table, pos));
    return columns.join(QStringLiteral(", "));
}
