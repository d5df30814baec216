// PasteParsers: the clipboard texts a planner pastes into the water user dialog (the yearly table,
// the monthly coefficients) and into a demand change's values, read without any widget.

#include "calc/PasteParsers.h"

#include "db/ModelOps.h"

#include <array>
#include <cmath>

namespace Paste {

namespace {

bool has(double value)
{
    return !std::isnan(value);
}

// The clipboard's lines without the trailing line ends; a line may end in a carriage return
// when the text comes from a spreadsheet on Windows.
QStringList clipboardLines(QString text)
{
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

enum GivenValue { Diversion = 0, Depletion = 1, Efficiency = 2 };

// Derives the third of diversion, depletion and efficiency of a pasted row.
void deriveFromPasted(YearlyRow& pasted, const std::array<bool, 3>& pastedValues)
{
    // The three ways of deriving one value from the other two, in their order of precedence.
    struct Rule {
        int first;
        int second;
        int derived;
    };
    static const std::array<Rule, 3> rules { { { Diversion, Depletion, Efficiency },
        { Diversion, Efficiency, Depletion }, { Depletion, Efficiency, Diversion } } };
    std::array<double*, 3> values { &pasted.diversion, &pasted.depletion, &pasted.efficiency };
    const int pastedCount = int(pastedValues[0]) + int(pastedValues[1]) + int(pastedValues[2]);

    // What was pasted is the input: a rule that derives from the pasted values goes first, and
    // none overwrites a pasted value (unless all three were pasted, when the first rule holds).
    const Rule* chosen = nullptr;
    int chosenRank = -1;
    for (const Rule& rule : rules) {
        if (pastedCount < 3 && pastedValues[rule.derived])
            continue;
        if (!has(*values[rule.first]) || !has(*values[rule.second]))
            continue;
        const int rank = int(pastedValues[rule.first]) + int(pastedValues[rule.second]);
        if (rank > chosenRank) {
            chosen = &rule;
            chosenRank = rank;
        }
    }
    if (!chosen)
        return;
    double& diversion = pasted.diversion;
    double& depletion = pasted.depletion;
    double& efficiency = pasted.efficiency;
    switch (chosen->derived) {
    case Efficiency:
        efficiency = diversion == 0.0 ? TARN::nan() : depletion / diversion;
        break;
    case Depletion:
        depletion = efficiency * diversion;
        break;
    default:
        diversion = efficiency == 0.0 ? TARN::nan() : depletion / efficiency;
        break;
    }
}

} // namespace

QString YearlyResult::adjustmentReport() const
{
    QString text
        = QStringLiteral("The data for the following years had errors and have been adjusted:");
    if (!invalidEfficiencyYears.isEmpty())
        text += QStringLiteral(
            "<p>Invalid efficiency ratio (must be between 0 and 1): <ul>%1</ul></p>")
                    .arg(invalidEfficiencyYears.join(QString()));
    if (!zeroEfficiencyYears.isEmpty())
        text += QStringLiteral("<p>Efficiency ratios of zero have been adjusted to avoid "
                               "calculation errors: <ul>%1</ul></p>")
                    .arg(zeroEfficiencyYears.join(QString()));
    return text;
}

YearlyResult yearlyTable(const QList<WaterUserData>& records, int row, int column,
    YearlyAction action, const QString& text)
{
    YearlyResult result;
    if (text.isEmpty())
        return result;
    const QStringList lines = clipboardLines(text);
    // Per kept row: which of diversion, depletion and efficiency the line gave.
    QVector<std::array<bool, 3>> given;
    int targetRow = row;
    for (const QString& line : lines) {
        if (targetRow < 0 || targetRow >= records.size()) {
            result.status = QStringLiteral("Pasted data contain too many rows.");
            result.rows.clear();
            return result;
        }
        const WaterUserData& current = records.at(targetRow);
        YearlyRow pasted;
        pasted.row = targetRow;
        pasted.diversion = current.DiversionReq;
        pasted.depletion = current.DepletionReq;
        pasted.efficiency = current.EfficiencyRatio;

        std::array<bool, 3> pastedValues { false, false, false };
        int position = 0;
        int limit = 1;
        if (action == PlainPaste) {
            position = qMax(column, int(DiversionColumn));
            limit = SalinityColumn;
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        for (const QString& field : fields) {
            const int at = position++;
            if (at > limit) {
                result.status = QStringLiteral("Pasted data contain too many columns.");
                result.rows.clear();
                return result;
            }
            if (field.trimmed().isEmpty())
                continue;
            double value = 0.0;
            if (!TARN::parsePasted(field, value)) {
                result.status = QStringLiteral("'%1' is not numeric.").arg(field);
                result.rows.clear();
                return result;
            }
            double* target = nullptr;
            switch (action) {
            case PlainPaste:
                target = at == 3 ? &pasted.diversion
                    : at == 4    ? &pasted.depletion
                    : at == 5    ? &pasted.efficiency
                                 : &pasted.salinity;
                break;
            case DiversionDepletion:
                target = at == 0 ? &pasted.diversion : &pasted.depletion;
                break;
            case DiversionEfficiency:
                target = at == 0 ? &pasted.diversion : &pasted.efficiency;
                break;
            case DepletionEfficiency:
                target = at == 0 ? &pasted.depletion : &pasted.efficiency;
                break;
            }
            *target = value;
            if (target == &pasted.diversion)
                pastedValues[Diversion] = true;
            else if (target == &pasted.depletion)
                pastedValues[Depletion] = true;
            else if (target == &pasted.efficiency)
                pastedValues[Efficiency] = true;
        }
        if (action != PlainPaste && fields.size() != 2) {
            result.status = QStringLiteral("Two columns of data are required for this action.");
            result.rows.clear();
            return result;
        }
        result.rows.append(pasted);
        given.append(pastedValues);
        ++targetRow;
    }

    for (int i = 0; i < result.rows.size(); ++i) {
        YearlyRow& pasted = result.rows[i];
        std::array<bool, 3>& pastedValues = given[i];
        const QString year = QStringLiteral("<li>%1</li>").arg(records.at(pasted.row).Year);
        if (pasted.efficiency < 0.0 || pasted.efficiency > 1.0) {
            pasted.efficiency = TARN::nan();
            pastedValues[Efficiency] = false;
            result.invalidEfficiencyYears.append(year);
        }
        const bool nonZeroDiversion = has(pasted.diversion) && pasted.diversion != 0.0;
        if (nonZeroDiversion || pasted.efficiency != 0.0)
            deriveFromPasted(pasted, pastedValues);
        else {
            pasted.diversion = 0.0;
            pasted.depletion = 0.0;
            pasted.efficiency = ZeroEfficiency;
            result.zeroEfficiencyYears.append(year);
        }
    }
    return result;
}

TARN::okstat monthlyCoefficients(
    const QString& clipboardText, int column, QList<ColumnValue>& values)
{
    values.clear();
    QString text = clipboardText;
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QList<ColumnValue> parsed;
    int target = column;
    for (const QString& line : lines) {
        if (target > LastMonthColumn)
            return QStringLiteral("Pasted data contains too many values.");
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty()) {
            double value = 0.0;
            if (!TARN::parsePasted(trimmed, value))
                return QStringLiteral("'%1' is not numeric.").arg(line);
            parsed.append({ target, value });
        }
        ++target;
    }
    values = parsed;
    return {};
}

QString changeValues(const QString& text, int expectedCount, QVector<double>& values)
{
    values.clear();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("The clipboard is empty");
    // Spreadsheets end their lines with "\r\n"; blank lines carry no value.
    QStringList parts;
    const QStringList lines = trimmed.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString part = line.trimmed();
        if (!part.isEmpty())
            parts << part;
    }
    if (parts.size() != expectedCount)
        return QStringLiteral(
            "The number of values from the clipboard (%1) doesn't match the number of selected "
            "years (%2)")
            .arg(parts.size())
            .arg(expectedCount);
    QVector<double> parsed;
    for (const QString& part : qAsConst(parts)) {
        double value = 0.0;
        if (!TARN::parsePasted(part, value))
            return QStringLiteral("The pasted value %1 doesn't represent a number").arg(part);
        parsed << value;
    }
    values = parsed;
    return QString();
}

} // namespace Paste
