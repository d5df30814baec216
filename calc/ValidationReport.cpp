#include "calc/ProjectValidator.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

namespace {

int ruleIndex(const QString& rule)
{
    const QStringList rules = ProjectValidator::rules();
    const int index = rules.indexOf(rule);
    return index < 0 ? rules.size() : index;
}

} // namespace

void ProjectValidator::foldRepeats()
{
    // A scenario finding that says what the baseline's says (a water user no change touches
    // gets the same values in every run) is one line: the baseline's, naming the scenarios.
    QHash<QString, int> baseline; // fold key -> index in kept
    QList<ValidationFinding> kept;
    kept.reserve(_findings.size());
    for (const ValidationFinding& finding : qAsConst(_findings)) {
        if (finding.scenarioID == 0 && !finding.foldKey.isEmpty())
            baseline.insert(finding.foldKey, kept.size());
        kept.append(finding);
    }
    if (baseline.isEmpty())
        return;
    QList<ValidationFinding> folded;
    folded.reserve(kept.size());
    for (const ValidationFinding& finding : qAsConst(kept)) {
        const auto it = finding.scenarioID == 0 || finding.foldKey.isEmpty()
            ? baseline.cend()
            : baseline.constFind(finding.foldKey);
        if (it == baseline.cend())
            continue;
        kept[*it].alsoIn.append(finding.scenarioID);
    }
    for (ValidationFinding& finding : kept) {
        const bool repeat = finding.scenarioID != 0 && !finding.foldKey.isEmpty()
            && baseline.contains(finding.foldKey);
        if (repeat)
            continue;
        if (!finding.alsoIn.isEmpty()) {
            const int n = finding.alsoIn.size();
            const QString also = n == 1 ? QStringLiteral(" (also in 1 scenario)")
                                        : QStringLiteral(" (also in %1 scenarios)").arg(n);
            if (finding.message.endsWith(QLatin1Char('.')))
                finding.message.insert(finding.message.size() - 1, also);
            else
                finding.message += also;
        }
        folded.append(finding);
    }
    _findings = folded;
}

namespace ValidationReport {

QString severityName(ValidationFinding::Severity severity)
{
    return severity == ValidationFinding::Fail ? QStringLiteral("fail") : QStringLiteral("warn");
}

QString totals(const QList<ValidationFinding>& findings)
{
    int fails = 0;
    int warns = 0;
    for (const ValidationFinding& finding : findings)
        (finding.severity == ValidationFinding::Fail ? fails : warns) += 1;
    return QStringLiteral("%1 %2, %3 %4")
        .arg(QString::number(fails),
            fails == 1 ? QStringLiteral("failure") : QStringLiteral("failures"),
            QString::number(warns),
            warns == 1 ? QStringLiteral("warning") : QStringLiteral("warnings"));
}

QString text(const QString& file, const QList<ValidationFinding>& findings)
{
    QString report = QStringLiteral("Checked %1: %2.\n").arg(file, totals(findings));
    QMap<int, QList<const ValidationFinding*>> byRule;
    for (const ValidationFinding& finding : findings)
        byRule[ruleIndex(finding.rule)].append(&finding);
    for (auto it = byRule.cbegin(); it != byRule.cend(); ++it) {
        const ValidationFinding& first = *it.value().first();
        report += QStringLiteral("\n%1 (%2, %3)\n")
                      .arg(first.rule, severityName(first.severity),
                          QString::number(it.value().size()));
        for (const ValidationFinding* finding : it.value()) {
            QStringList where;
            where.append(finding->scenarioID ? finding->scenarioName : QStringLiteral("Baseline"));
            if (!finding->site.isEmpty())
                where.append(finding->site);
            if (!finding->waterUser.isEmpty())
                where.append(finding->waterUser);
            report += QStringLiteral("  %1: %2\n")
                          .arg(where.join(QStringLiteral(" / ")), finding->message);
        }
    }
    return report;
}

QByteArray json(const QString& file, const QList<ValidationFinding>& findings)
{
    int fails = 0;
    int warns = 0;
    QJsonArray list;
    for (const ValidationFinding& finding : findings) {
        (finding.severity == ValidationFinding::Fail ? fails : warns) += 1;
        QJsonObject item;
        item.insert(QStringLiteral("rule"), finding.rule);
        item.insert(QStringLiteral("severity"), severityName(finding.severity));
        item.insert(QStringLiteral("scenario"),
            finding.scenarioID ? QJsonValue(finding.scenarioID) : QJsonValue(QJsonValue::Null));
        item.insert(QStringLiteral("site"),
            finding.site.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(finding.site));
        item.insert(QStringLiteral("waterUser"),
            finding.waterUser.isEmpty() ? QJsonValue(QJsonValue::Null)
                                        : QJsonValue(finding.waterUser));
        item.insert(QStringLiteral("year"),
            finding.year ? QJsonValue(finding.year) : QJsonValue(QJsonValue::Null));
        item.insert(QStringLiteral("message"), finding.message);
        // Scenarios whose own finding only repeated this one.
        QJsonArray alsoIn;
        for (const int scenarioID : finding.alsoIn)
            alsoIn.append(scenarioID);
        item.insert(QStringLiteral("alsoIn"), alsoIn);
        list.append(item);
    }
    QJsonObject summary;
    summary.insert(QStringLiteral("fail"), fails);
    summary.insert(QStringLiteral("warn"), warns);
    QJsonObject report;
    report.insert(QStringLiteral("file"), file);
    report.insert(QStringLiteral("summary"), summary);
    report.insert(QStringLiteral("findings"), list);
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

} // namespace ValidationReport
