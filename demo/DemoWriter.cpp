#include "demo/DemoWriter.h"

#include "db/TarnNames.h"

#include <QStringList>

namespace DemoProject {

namespace {

const QString& tableOf(Stmt stmt)
{
    using namespace TN;
    switch (stmt) {
    case SiteStmt:
        return AggDivTable;
    case WaterUserStmt:
        return WaterUserTable;
    case DataStmt:
        return WaterUserDataTable;
    case DistStmt:
        return WaterUserDistTable;
    case AttributeStmt:
        return AttributeTable;
    case ValueStmt:
        return AttrValidValTable;
    case SiteAttrStmt:
        return AggDivAttrTable;
    case WaterUserAttrStmt:
        return WaterUserAttrTable;
    case ScenarioStmt:
        return ScenarioTable;
    case DemandChgStmt:
        return DemandChgTable;
    case DepletionChgStmt:
        return DepletionChgTable;
    case EfficiencyChgStmt:
        return EfficiencyChgTable;
    case ChgMemberStmt:
        return DemandChgWaterUserTable;
    case SelectionStmt:
        return DemandSelectionTable;
    case PlotStmt:
        return PlotTable;
    case PlotScenarioStmt:
        return PlotScenarioTable;
    case CurveStmt:
        return PlotCurveTable;
    case CurveFilterStmt:
        return PlotCurveFilterTable;
    case CurveMemberStmt:
    case StmtCount:
        break;
    }
    return PlotCurveWaterUserTable;
}

} // namespace

QString statementText(Stmt stmt, const ColumnNames& columns)
{
    const QString& table = tableOf(stmt);
    QStringList names = columns.names(table);
    if (!names.isEmpty())
        names.removeFirst();
    QStringList quoted;
    QStringList marks;
    for (const QString& name : qAsConst(names)) {
        quoted.append(ColumnNames::quoted(name));
        marks.append(QStringLiteral("?"));
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, quoted.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

QVariant nullKey()
{
    return QVariant(QVariant::LongLong);
}
QVariant keyOrNull(qint64 key)
{
    return key ? QVariant(key) : nullKey();
}

} // namespace DemoProject
