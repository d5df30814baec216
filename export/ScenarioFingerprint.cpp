#include "export/ScenarioFingerprint.h"

#include "db/ScenarioDAO.h"
#include "db/ScenarioDefinition.h"
#include "workbook/CellFormat.h"
#include "workbook/Sha256.h"

#include <QStringList>

#include <cmath>

namespace ScenarioFingerprint {

namespace {

QString field(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    out.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    out.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    out.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return out;
}

// A stored number as the canonical text writes it: shortest round-trip form, NULL as "NaN".
QString number(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("NaN");
    char buf[32];
    return QString::fromLatin1(buf, static_cast<int>(Workbook::XlCell::formatNumber(v, buf)));
}

} // namespace

TARN::okstat definitionHash(QSqlDatabase& db, int scenarioId, QByteArray* hash)
{
    ScenarioDefinition definition;
    const TARN::okstat read = ScenarioDAO::readDefinition(db, scenarioId, definition);
    if (read.failed())
        return read;
    QStringList lines;
    for (const ScenarioDefinition::DemandChange& change : qAsConst(definition.changes)) {
        lines << QStringLiteral("change\t%1\t%2\t%3")
                     .arg(change.demandMethod, change.efficiencyMethod,
                         QString::number(change.useFilter));
        for (const auto& [kind, years] :
            { std::pair { QStringLiteral("depletion"), &change.depletion },
                std::pair { QStringLiteral("efficiency"), &change.efficiency } })
            for (const ScenarioDefinition::YearlyChange& y : *years)
                lines << QStringLiteral("%1\t%2\t%3\t%4")
                             .arg(kind, y.year, y.changeType, number(y.value));
        QStringList members;
        for (const auto& member : change.members)
            members << QStringLiteral("user\t%1:%2").arg(field(member.first), field(member.second));
        members.sort();
        lines += members;
        QStringList filters;
        for (const auto& filter : change.filters)
            filters
                << QStringLiteral("filter\t%1\t%2").arg(field(filter.first), field(filter.second));
        filters.sort();
        lines += filters;
    }

    QList<QPair<QString, QStringList>> ownUsers;
    for (const ScenarioDefinition::OwnWaterUser& user : qAsConst(definition.waterUsers)) {
        QStringList block;
        block << QStringLiteral("new user\t%1:%2\t%3")
                     .arg(field(user.siteRiverName), field(user.riverName), field(user.name));
        for (const ScenarioDefinition::YearlyData& r : user.data)
            block << QStringLiteral("data\t%1\t%2\t%3\t%4\t%5")
                         .arg(r.year, number(r.values[0]), number(r.values[1]), number(r.values[2]),
                             number(r.values[3]));
        for (const QVector<double>& row : user.coefficients) {
            QStringList coefficients;
            for (double c : row)
                coefficients << number(c);
            block << QStringLiteral("dist\t") + coefficients.join(QLatin1Char('\t'));
        }
        ownUsers.append({ block.first(), block });
    }
    std::sort(ownUsers.begin(), ownUsers.end(),
        [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& user : qAsConst(ownUsers))
        lines += user.second;

    QByteArray text;
    for (const QString& line : qAsConst(lines))
        text += line.toUtf8() + '\n';
    *hash = Workbook::Sha256::hexDigest(text);
    if (hash->isEmpty())
        return QStringLiteral("The scenario's definition could not be hashed");
    return TARN::okstat();
}

} // namespace ScenarioFingerprint
