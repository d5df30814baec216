#include "cli/CliCommands.h"

#include "calc/BaselineChangeLog.h"
#include "db/DbFailure.h"
#include "db/TarnDbMgr.h"
#include "inputs/InputsApply.h"
#include "inputs/InputsImport.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <memory>

namespace Cli {

namespace {

int runExportInputs(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    if (files.size() > 2)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(2)));
    if (files.size() < 2)
        return usageError(self, QStringLiteral("PROJECT and BOOK are required."));
    QList<int> scenarioIds;
    const QStringList ids = args.values(QStringLiteral("scenario"));
    for (const QString& text : ids) {
        int id = 0;
        if (!parseInt(text, id))
            return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
        scenarioIds.append(id);
    }
    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    if (!openProjectOrSay(files.at(0)))
        return CannotOpen;
    const TARN::okstat status = Inputs::exportInputs(files.at(1), scenarioIds);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Wrote %1").arg(QFileInfo(files.at(1)).absoluteFilePath()));
    return 0;
}

// Writes the plan in one transaction: everything or, after any failure, nothing.
TARN::okstat applyInTransaction(
    const Inputs::ImportPlan& plan, const Inputs::ProjectInputs& project, BaselineChangeLog& log)
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    TARN::okstat status = manager->beginTransaction();
    if (status.isOk())
        status = Inputs::applyPlan(plan, project, log);
    if (status.isOk())
        status = manager->commit();
    if (status.isOk())
        return {};
    if (manager->inTransaction())
        manager->rollback();
    const QString sentence = DbFailure::notSaved(
        status.text(), QStringLiteral("the import"), QStringLiteral("run import-inputs again"));
    return sentence.isEmpty() ? QStringLiteral("%1 Nothing was imported.").arg(status.text())
                              : sentence;
}

int runImportInputs(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    Inputs::ImportRequest request;
    request.diversionSeries = args.values(QStringLiteral("diversion-series"));
    request.depletionSeries = args.values(QStringLiteral("depletion-series"));
    const bool series = !request.diversionSeries.isEmpty() || !request.depletionSeries.isEmpty();
    if (files.size() > 2)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(2)));
    if (files.isEmpty() || (files.size() < 2 && !series))
        return usageError(self, QStringLiteral("PROJECT and BOOK are required."));
    const bool apply = args.isSet(QStringLiteral("apply"));
    if (apply && args.isSet(QStringLiteral("preview")))
        return usageError(self, QStringLiteral("Give either --preview or --apply."));
    request.book = files.value(1);
    request.options.removeMissing = args.isSet(QStringLiteral("remove-missing"));
    const bool json = args.isSet(QStringLiteral("json"));

    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    const TARN::okstat opened = TarnDbMgr::instance()->openDatabase(files.at(0));
    if (opened.failed()) {
        // Another program holding the file is the common case: say so, and what to do.
        const QString sentence = DbFailure::notSaved(
            opened.text(), QStringLiteral("the import"), QStringLiteral("run import-inputs again"));
        err(DbFailure::classify(opened.text()) == DbFailure::Locked
                ? sentence
                : QStringLiteral("Unable to open %1: %2").arg(files.at(0), opened.text()));
        return CannotOpen;
    }
    Inputs::ProjectInputs project;
    Inputs::ImportPlan plan;
    TARN::okstat status = Inputs::prepareImport(request, project, plan);
    if (status.failed()) {
        err(status.text());
        return 1;
    }

    BaselineChangeLog log;
    QString refusal;
    if (apply && !plan.rejected.isEmpty() && !args.isSet(QStringLiteral("skip-rejected")))
        refusal = QStringLiteral("%1 rejected row(s): nothing was imported. Correct them, or "
                                 "give --skip-rejected to import the rest.")
                      .arg(plan.rejected.size());
    else if (apply && plan.hasWrites())
        status = applyInTransaction(plan, project, log);
    const QStringList recompute = Inputs::recomputeLines(log, plan.touchedScenarios);

    if (json) {
        QJsonObject object = Inputs::previewJson(plan, recompute);
        object.insert(QStringLiteral("applied"), apply && refusal.isEmpty() && status.isOk());
        out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)).trimmed());
    } else {
        const QStringList lines = Inputs::previewLines(plan);
        for (const QString& line : lines)
            out(line);
    }
    if (!refusal.isEmpty()) {
        err(refusal);
        return 1;
    }
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    if (apply && !json) {
        out(plan.hasWrites() ? QStringLiteral("Imported.") : QStringLiteral("Nothing imported."));
        if (!recompute.isEmpty()) {
            out(QStringLiteral("The next recalc recomputes:"));
            for (const QString& line : recompute)
                out(QStringLiteral("  ") + line);
        }
    }
    return 0;
}

} // namespace

QList<CliCommand> inputsCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("export-inputs"),
        QStringLiteral("Write the baseline's inputs (not the results) to an .xlsx book, or to a "
                       "folder of .csv files, in the layout import-inputs reads."),
        QStringLiteral("tarnhelm-cli export-inputs PROJECT BOOK [--scenario ID]..."),
        { { QStringLiteral("scenario"), QStringLiteral("ID"),
            QStringLiteral("also the scenario's changes and own water users (again for more)"),
            QStringLiteral("--scenario needs a scenario ID.") } },
        {}, {}, &runExportInputs });
    list.append({ QStringLiteral("import-inputs"),
        QStringLiteral("Compare an input book (.xlsx or a folder of .csv files) and StateMod "
                       "monthly series with the project: --preview (the default) lists what "
                       "would change and the rejected rows; --apply writes it all in one "
                       "transaction, or nothing."),
        QStringLiteral("tarnhelm-cli import-inputs PROJECT [BOOK] [--preview | --apply] [--json] "
                       "[--remove-missing] [--skip-rejected] [--diversion-series FILE]... "
                       "[--depletion-series FILE]..."),
        { { QStringLiteral("preview"), {}, QStringLiteral("list what would change (the default)") },
            { QStringLiteral("apply"), {},
                QStringLiteral("write the changes; refused while any row is rejected") },
            { QStringLiteral("json"), {}, QStringLiteral("print the preview as JSON") },
            { QStringLiteral("remove-missing"), {},
                QStringLiteral("remove sites, water users and years the book leaves out") },
            { QStringLiteral("skip-rejected"), {},
                QStringLiteral("apply the rest when rows are rejected") },
            { QStringLiteral("diversion-series"), QStringLiteral("FILE"),
                QStringLiteral("StateMod monthly series: yearly sums as diversion requests"),
                QStringLiteral("--diversion-series needs a file.") },
            { QStringLiteral("depletion-series"), QStringLiteral("FILE"),
                QStringLiteral("StateMod monthly series: yearly sums as depletion requests"),
                QStringLiteral("--depletion-series needs a file.") } },
        {}, {}, &runImportInputs });
    return list;
}

} // namespace Cli
