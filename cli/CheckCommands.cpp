#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "calc/ProjectValidator.h"
#include "db/TarnDbMgr.h"

#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace Cli {

namespace {

int runValidate(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    if (files.size() > 1)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(1)));
    if (files.isEmpty())
        return usageError(self, QStringLiteral("FILE is required."));
    const QString& file = files.first();
    const bool json = args.isSet(QStringLiteral("json"));

    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    if (!openProjectOrSay(file))
        return CannotOpen;

    ProgressLine progress;
    ProjectValidator validator;
    QObject::connect(&validator, &ProjectValidator::calcStatus,
        [&progress](const CalcStatusInfo& info) { progress.show(info); });
    const TARN::okstat checked = validator.check();
    progress.clear();
    if (checked.failed()) {
        err(QStringLiteral("Unable to check %1: %2").arg(file, checked.text()));
        return 2;
    }
    const QString name = QFileInfo(file).fileName();
    if (json) {
        const QByteArray text = ValidationReport::json(name, validator.findings());
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    } else {
        std::fputs(
            ValidationReport::text(name, validator.findings()).toLocal8Bit().constData(), stdout);
    }
    std::fflush(stdout);
    return validator.count(ValidationFinding::Fail) > 0 ? 1 : 0;
}

} // namespace

QList<CliCommand> checkCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("validate"),
        QStringLiteral("Check everything of a project that would reach the river model wrong: "
                       "out-of-date results, coefficients, efficiencies, negative values, missing "
                       "years, Riffle and sheet names, demand changes. Exit status 1 when a check "
                       "fails."),
        QStringLiteral("tarnhelm-cli validate FILE [--json]"),
        { { QStringLiteral("json"), {}, QStringLiteral("the findings as one JSON object") } }, {},
        {}, &runValidate });
    return list;
}

} // namespace Cli
