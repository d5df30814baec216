#include "inputs/InputsImport.h"

#include "inputs/InputsFiles.h"
#include "inputs/StateModSeries.h"

#include <QJsonArray>

namespace Inputs {

TARN::okstat prepareImport(const ImportRequest& request, ProjectInputs& project, ImportPlan& plan)
{
    TARN::okstat status = project.read();
    if (status.failed())
        return QStringLiteral("Unable to read the project's inputs: %1").arg(status.text());
    Book book;
    if (!request.book.isEmpty() && (status = readBook(request.book, book)).failed())
        return status;
    QList<SeriesInput> series;
    const auto readSeries = [&series](const QStringList& files, bool depletion) {
        for (const QString& file : files) {
            StateMod::Series parsed;
            TARN::okstat read = StateMod::read(file, parsed);
            SeriesInput input { file, depletion, {} };
            if (read.isOk())
                read = StateMod::yearlySums(parsed, input.yearly);
            if (read.failed())
                return read;
            series.append(input);
        }
        return TARN::okstat();
    };
    if ((status = readSeries(request.diversionSeries, false)).failed()
        || (status = readSeries(request.depletionSeries, true)).failed())
        return status;
    planImport(book, series, request.options, project, plan);
    return {};
}

TARN::okstat exportInputs(const QString& path, const QList<int>& scenarioIds)
{
    ProjectInputs project;
    const TARN::okstat status = project.read();
    if (status.failed())
        return QStringLiteral("Unable to read the project's inputs: %1").arg(status.text());
    for (const int id : scenarioIds) {
        bool found = false;
        for (const ScenarioRow& scenario : project.scenarios)
            found = found || scenario.ScenarioID == id;
        if (!found)
            return QStringLiteral("No scenario has the ID %1: nothing was written.").arg(id);
    }
    return writeBook(makeBook(project, scenarioIds), path);
}

QString rejectedText(const RejectedRow& row)
{
    QString where
        = row.row >= 2 ? QStringLiteral("%1 row %2").arg(row.sheet).arg(row.row) : row.sheet;
    if (!row.column.isEmpty())
        where += QStringLiteral(", column \"%1\"").arg(row.column);
    return QStringLiteral("%1: %2").arg(where, row.reason);
}

QStringList previewLines(const ImportPlan& plan)
{
    QStringList lines;
    QString sheet;
    for (const PreviewItem& item : plan.items) {
        if (item.sheet != sheet) {
            sheet = item.sheet;
            lines.append(sheet + QLatin1Char(':'));
        }
        QString line = QStringLiteral("  %1 %2").arg(PreviewItem::kindWord(item.kind), item.key);
        if (!item.years.isEmpty()) {
            QStringList years;
            for (const int year : item.years)
                years.append(QString::number(year));
            line += QStringLiteral(" (years %1)").arg(years.join(QStringLiteral(", ")));
        }
        lines.append(line);
        for (const FieldChange& field : item.fields)
            lines.append(QStringLiteral("      %1: %2 -> %3")
                             .arg(field.field,
                                 field.before.isEmpty() ? QStringLiteral("(empty)") : field.before,
                                 field.after.isEmpty() ? QStringLiteral("(empty)") : field.after));
    }
    if (!plan.unmatchedStations.isEmpty()) {
        lines.append(QStringLiteral("Stations that name no water user (not imported):"));
        for (const QString& station : plan.unmatchedStations)
            lines.append(QStringLiteral("  ") + station);
    }
    if (!plan.rejected.isEmpty()) {
        lines.append(QStringLiteral("Rejected rows:"));
        for (const RejectedRow& row : plan.rejected)
            lines.append(QStringLiteral("  ") + rejectedText(row));
    }
    if (plan.removalsHeldBack)
        lines.append(QStringLiteral(
            "Nothing is removed while rows are rejected: a rejected row may be the one that keeps "
            "a site, a water user or a year. Correct the rejected rows to remove what the book "
            "leaves out."));
    if (!plan.hasWrites())
        lines.append(QStringLiteral("Nothing to change."));
    return lines;
}

QJsonObject previewJson(const ImportPlan& plan, const QStringList& recompute)
{
    QJsonArray items;
    for (const PreviewItem& item : plan.items) {
        QJsonArray fields;
        for (const FieldChange& field : item.fields)
            fields.append(QJsonObject { { QStringLiteral("field"), field.field },
                { QStringLiteral("old"), field.before }, { QStringLiteral("new"), field.after } });
        QJsonArray years;
        for (const int year : item.years)
            years.append(year);
        items.append(QJsonObject { { QStringLiteral("sheet"), item.sheet },
            { QStringLiteral("kind"), PreviewItem::kindWord(item.kind) },
            { QStringLiteral("key"), item.key }, { QStringLiteral("fields"), fields },
            { QStringLiteral("years"), years } });
    }
    QJsonArray rejected;
    for (const RejectedRow& row : plan.rejected)
        rejected.append(QJsonObject { { QStringLiteral("sheet"), row.sheet },
            { QStringLiteral("row"), row.row }, { QStringLiteral("column"), row.column },
            { QStringLiteral("reason"), row.reason } });
    return { { QStringLiteral("changes"), items },
        { QStringLiteral("touchedScenarios"), QJsonArray::fromStringList(plan.touchedScenarios) },
        { QStringLiteral("rejected"), rejected },
        { QStringLiteral("removalsHeldBack"), plan.removalsHeldBack },
        { QStringLiteral("unmatchedStations"), QJsonArray::fromStringList(plan.unmatchedStations) },
        { QStringLiteral("recompute"), QJsonArray::fromStringList(recompute) } };
}

} // namespace Inputs
