#include "calc/CalcTrace.h"

#include "calc/AggDivCalcData.h"
#include "db/Records.h"

#include <QStringList>

#include <cmath>

namespace {

using Data = AggDivCalcData;
using DemandMath::isMissing;
using ScenarioChanges::ChangeNote;

const QString Minus = QStringLiteral("\u2212");
const QString Times = QStringLiteral("\u00d7");

QString n(double value)
{
    return CalcTrace::number(value);
}

QString yearText(int value)
{
    return QString::number(value);
}

// A step's fields: the given numbers, a missing one as null.
QVariantMap yearValue(int y, double value)
{
    return { { QStringLiteral("year"), y }, { QStringLiteral("value"), CalcTrace::field(value) } };
}

QString article(const QString& word)
{
    return word.startsWith(QLatin1Char('e')) ? QStringLiteral("an") : QStringLiteral("a");
}

// "a, b and c"
QString listed(const QStringList& parts)
{
    if (parts.size() <= 1)
        return parts.join(QString());
    return parts.mid(0, parts.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ")
        + parts.last();
}

QString ruleName(ChangeNote::Rule rule)
{
    switch (rule) {
    case ChangeNote::PercentOfCurrent:
        return QStringLiteral("percent");
    case ChangeNote::AmountShared:
        return QStringLiteral("amount-shared");
    case ChangeNote::AmountEqually:
        return QStringLiteral("amount-equally");
    case ChangeNote::NewAmountShared:
        return QStringLiteral("new-amount-shared");
    case ChangeNote::NewAmountEqually:
        return QStringLiteral("new-amount-equally");
    case ChangeNote::AmountAdded:
        return QStringLiteral("amount-added");
    case ChangeNote::NewValue:
        return QStringLiteral("new-value");
    case ChangeNote::FromYear:
        return QStringLiteral("baseline-year");
    case ChangeNote::Unchanged:
        return QStringLiteral("unchanged");
    case ChangeNote::Missing:
        return QStringLiteral("missing");
    }
    return QString();
}

} // namespace

CalcTrace::CalcTrace(Owner owner, int id, int year, int month)
    : _owner(owner)
    , _id(id)
    , _year(year)
    , _month(month)
{
}

QString CalcTrace::number(double value)
{
    if (isMissing(value))
        return QStringLiteral("none");
    QString text = QString::number(value, 'g', 10);
    text.replace(QLatin1Char('-'), Minus);
    return text;
}

QVariant CalcTrace::field(double value)
{
    return std::isfinite(value) ? QVariant(value) : QVariant();
}

QString CalcTrace::line(const CalcStep& step)
{
    return step.step.leftJustified(10) + QLatin1Char(' ') + step.text;
}

QString CalcTrace::kindName(int kind)
{
    switch (kind) {
    case Data::Diversion:
        return QStringLiteral("diversion");
    case Data::Depletion:
        return QStringLiteral("depletion");
    case Data::EfficiencyRatio:
        return QStringLiteral("efficiency");
    case Data::SalinityPickup:
        return QStringLiteral("salinity pick-up");
    default:
        return QString();
    }
}

QString CalcTrace::monthName(int month)
{
    static const char* const names[12] = { "January", "February", "March", "April", "May", "June",
        "July", "August", "September", "October", "November", "December" };
    return month >= 1 && month <= 12 ? QLatin1String(names[month - 1]) : QString();
}

QString CalcTrace::origin(int kind) const
{
    switch (_origins[kind]) {
    case Entered:
        return QStringLiteral("entered");
    case GapFilled:
        return QStringLiteral("gap-filled");
    case Changed:
        return QStringLiteral("changed");
    case Derived:
        return QStringLiteral("derived");
    case Missing:
        break;
    }
    return QString();
}

QVector<CalcStep> CalcTrace::stepsFor(int kind) const
{
    // Diversion, depletion and efficiency are derived from one another; the salinity pick-up
    // goes its own way. A monthly step belongs to its own kind only.
    auto group = [](int k) { return k == Data::SalinityPickup ? 1 : 0; };
    QVector<CalcStep> steps;
    for (const CalcStep& step : _steps) {
        if (_owner == Site || step.kind < 0)
            steps.append(step);
        else if (step.step == QLatin1String("monthly") ? step.kind == kind
                                                       : group(step.kind) == group(kind))
            steps.append(step);
    }
    return steps;
}

void CalcTrace::input(const double* values, bool hadRow)
{
    CalcStep step;
    step.step = QStringLiteral("input");
    for (int kind = 0; kind < 4; ++kind)
        _origins[kind] = isMissing(values[kind]) ? Missing : Entered;
    step.fields = { { QStringLiteral("year"), _year }, { QStringLiteral("row"), hadRow },
        { QStringLiteral("diversion"), field(values[Data::Diversion]) },
        { QStringLiteral("depletion"), field(values[Data::Depletion]) },
        { QStringLiteral("efficiency"), field(values[Data::EfficiencyRatio]) },
        { QStringLiteral("salinityPickup"), field(values[Data::SalinityPickup]) } };
    if (!hadRow) {
        step.text = QStringLiteral("%1: no yearly data row, so every value is missing")
                        .arg(yearText(_year));
    } else {
        step.text
            = QStringLiteral("%1: diversion %2, depletion %3, efficiency %4, salinity "
                             "pick-up %5")
                  .arg(yearText(_year), n(values[Data::Diversion]), n(values[Data::Depletion]),
                      n(values[Data::EfficiencyRatio]), n(values[Data::SalinityPickup]));
    }
    _steps.append(step);
}

void CalcTrace::gapFilled(
    int kind, const DemandMath::GapNote& note, int firstYear, bool afterChange)
{
    using DemandMath::GapNote;
    if (note.outcome == GapNote::Given)
        return;
    if (note.outcome == GapNote::Interpolated)
        _origins[kind] = GapFilled;
    CalcStep step;
    step.step = QStringLiteral("gap-fill");
    step.kind = kind;
    const QString what = kindName(kind);
    const QString after = afterChange
        ? QStringLiteral(", after the change, by %1")
              .arg(ScenarioChanges::calcMethodName(ScenarioChanges::InterpolateChanges))
        : QString();
    const int from = firstYear + note.fromIndex;
    const int to = firstYear + note.toIndex;
    step.fields = { { QStringLiteral("kind"), what }, { QStringLiteral("year"), _year },
        { QStringLiteral("value"), field(note.value) },
        { QStringLiteral("afterChange"), afterChange } };
    switch (note.outcome) {
    case GapNote::Interpolated:
        step.fields.insert(QStringLiteral("method"), QStringLiteral("linear"));
        step.fields.insert(QStringLiteral("from"), yearValue(from, note.fromValue));
        step.fields.insert(QStringLiteral("to"), yearValue(to, note.toValue));
        step.text = QStringLiteral("%1 %2 = %3 + (%4 %5 %3) %6 (%2 %5 %7) / (%8 %5 %7) = %9 "
                                   "(between %7 and %8%10)")
                        .arg(what, yearText(_year), n(note.fromValue), n(note.toValue), Minus,
                            Times, yearText(from), yearText(to), n(note.value))
                        .arg(after);
        break;
    case GapNote::BeforeFirst:
        step.fields.insert(QStringLiteral("method"), QStringLiteral("before-first"));
        step.fields.insert(QStringLiteral("to"), yearValue(from, note.fromValue));
        step.text = QStringLiteral("%1 %2 stays none: the first year with %3 %1 is %4, and the "
                                   "years before it are not filled%5")
                        .arg(what, yearText(_year), article(what), yearText(from), after);
        break;
    case GapNote::AfterLast:
        step.fields.insert(QStringLiteral("method"), QStringLiteral("after-last"));
        step.fields.insert(QStringLiteral("from"), yearValue(from, note.fromValue));
        step.text = QStringLiteral("%1 %2 stays none: the last year with %3 %1 is %4, and the "
                                   "years after it are not filled%5")
                        .arg(what, yearText(_year), article(what), yearText(from), after);
        break;
    default:
        step.fields.insert(QStringLiteral("method"), QStringLiteral("no-value"));
        step.text = QStringLiteral("%1 %2 stays none: no year has %3 %1%4")
                        .arg(what, yearText(_year), article(what), after);
        break;
    }
    _steps.append(step);
}

void CalcTrace::noChange(const QString& scenarioName)
{
    CalcStep step;
    step.step = QStringLiteral("change");
    step.text = QStringLiteral("no demand change of \"%1\" selects this water user: its baseline "
                               "inputs are used")
                    .arg(scenarioName);
    step.fields = { { QStringLiteral("scenario"), scenarioName },
        { QStringLiteral("demandChgID"), QVariant() } };
    _steps.append(step);
}

void CalcTrace::changeChosen(const QString& scenarioName, const Change& chosen,
    const QVector<Change>& others, int depletionMethod, int efficiencyMethod, int waterUserCount)
{
    // Why this change and no other: the newest by creation date, then the higher ID.
    QStringList reasons;
    QVariantList otherFields;
    const QString noDate = QStringLiteral("no date");
    for (const Change& other : others) {
        otherFields.append(QVariantMap { { QStringLiteral("demandChgID"), other.id },
            { QStringLiteral("name"), other.name },
            { QStringLiteral("created"), other.created.isEmpty() ? QVariant() : other.created } });
        if (reasons.size() == 4)
            continue;
        if (other.created == chosen.created)
            reasons.append(QStringLiteral("created the same day as change %1 but with a higher "
                                          "ID")
                               .arg(other.id));
        else
            reasons.append(QStringLiteral("newer than change %1 (created %2)")
                               .arg(QString::number(other.id),
                                   other.created.isEmpty() ? noDate : other.created));
    }
    if (others.size() > reasons.size())
        reasons.append(QStringLiteral("%1 more").arg(others.size() - reasons.size()));
    QString why;
    if (others.isEmpty())
        why = QStringLiteral("the only change of the scenario that selects this water user");
    else if (others.size() == 1)
        why = reasons.first() + QStringLiteral(", which also selects this water user");
    else
        why = listed(reasons) + QStringLiteral("; these also select this water user");

    CalcStep step;
    step.step = QStringLiteral("change");
    step.text = QStringLiteral("\"%1\" / \"%2\" (DemandChgID %3, created %4; %5): depletion by "
                               "%6, efficiency by %7; the change selects %8 water user%9")
                    .arg(scenarioName, chosen.name, QString::number(chosen.id),
                        chosen.created.isEmpty() ? noDate : chosen.created, why,
                        ScenarioChanges::calcMethodName(depletionMethod),
                        ScenarioChanges::calcMethodName(efficiencyMethod),
                        QString::number(waterUserCount))
                    .arg(waterUserCount == 1 ? QString() : QStringLiteral("s"));
    step.fields = { { QStringLiteral("scenario"), scenarioName },
        { QStringLiteral("demandChgID"), chosen.id }, { QStringLiteral("name"), chosen.name },
        { QStringLiteral("created"), chosen.created.isEmpty() ? QVariant() : chosen.created },
        { QStringLiteral("others"), otherFields },
        { QStringLiteral("depletionMethod"), depletionMethod },
        { QStringLiteral("efficiencyMethod"), efficiencyMethod },
        { QStringLiteral("waterUserCount"), waterUserCount } };
    _steps.append(step);
}

void CalcTrace::changed(int kind, const ScenarioChanges::YearChange& change, int method,
    const ChangeNote& note, double result, double b, double B, int N, bool filledAfter)
{
    const QString what = kindName(kind);
    const QString methodName = ScenarioChanges::calcMethodName(method);
    const QString type = ScenarioChanges::changeTypeName(change.type);
    const QString v = n(change.value);
    const QString head = type.isEmpty()
        ? QStringLiteral("%1 %2: no %1 change for %2, %3").arg(what, yearText(_year), methodName)
        : QStringLiteral("%1 %2: %3 %4, %5").arg(what, yearText(_year), type, v, methodName);
    const QString users
        = N == 1 ? QStringLiteral("1 water user") : QStringLiteral("%1 water users").arg(N);
    const QString shared
        = QStringLiteral("shared by the change's %1 in proportion to their stored baseline "
                         "depletions of %2")
              .arg(users, yearText(_year));
    const QString equally = QStringLiteral("shared equally by the change's %1, as their summed "
                                           "stored baseline depletion B = %2 is not positive")
                                .arg(users, n(B));
    const QString share
        = QStringLiteral(" (B = %1, their sum; b = %2, this water user's; a share of %3 %)")
              .arg(n(B), n(b), QString::number(b / B * 100.0, 'g', 4));

    QString body;
    switch (note.rule) {
    case ChangeNote::PercentOfCurrent:
        body
            = QStringLiteral("%1 %2 (%3 / 100 + 1) = %4").arg(n(note.current), Times, v, n(result));
        break;
    case ChangeNote::AmountShared:
        body = QStringLiteral("%1: (v + B) / B %2 b = (%3 + %4) / %4 %2 %5 = %6%7")
                   .arg(shared, Times, v, n(B), n(b), n(result), share);
        break;
    case ChangeNote::AmountEqually:
        body = QStringLiteral("%1: v / N + b = %2 / %3 + %4 = %5")
                   .arg(equally, v, QString::number(N), n(b), n(result));
        break;
    case ChangeNote::NewAmountShared:
        body = QStringLiteral("%1: v / B %2 b = %3 / %4 %2 %5 = %6%7")
                   .arg(shared, Times, v, n(B), n(b), n(result), share);
        break;
    case ChangeNote::NewAmountEqually:
        body = QStringLiteral("%1: v / N = %2 / %3 = %4")
                   .arg(equally, v, QString::number(N), n(result));
        break;
    case ChangeNote::AmountAdded:
        body = QStringLiteral("%1 + %2 = %3").arg(n(note.current), v, n(result));
        break;
    case ChangeNote::NewValue:
        body = n(result);
        break;
    case ChangeNote::FromYear: {
        const int source = int(change.value);
        QString when;
        if (source < _year)
            when = QStringLiteral(", after that year's change if it had one");
        else if (source > _year)
            when = QStringLiteral(", before that year's change if it has one");
        body = QStringLiteral("carried from %1%2: %3").arg(yearText(source), when, n(result));
        break;
    }
    case ChangeNote::Unchanged:
        body = QStringLiteral("%1unchanged %2")
                   .arg(note.outsideRun ? QStringLiteral("the year lies outside the run, so ")
                                        : QString(),
                       n(result));
        break;
    case ChangeNote::Missing:
        body = QStringLiteral("%1none: the year keeps no %2 of its own")
                   .arg(note.outsideRun ? QStringLiteral("the year lies outside the run, so ")
                                        : QString(),
                       what);
        if (filledAfter)
            body += QStringLiteral("; the gap filling after the change fills it when changed "
                                   "years lie on both sides");
        else
            body += QStringLiteral(", and nothing fills it: the changes are interpolated only "
                                   "when the depletion method is \"%1\"")
                        .arg(ScenarioChanges::calcMethodName(ScenarioChanges::InterpolateChanges));
        break;
    }
    if (note.rule == ChangeNote::Missing)
        _origins[kind] = Missing;
    else if (note.rule != ChangeNote::Unchanged)
        _origins[kind] = Changed;

    CalcStep step;
    step.step = QStringLiteral("change");
    step.kind = kind;
    step.text = head + QStringLiteral(": ") + body;
    step.fields = { { QStringLiteral("kind"), what }, { QStringLiteral("year"), _year },
        { QStringLiteral("type"), change.type },
        { QStringLiteral("typeName"), type.isEmpty() ? QVariant() : type },
        { QStringLiteral("changeValue"), type.isEmpty() ? QVariant() : field(change.value) },
        { QStringLiteral("method"), method }, { QStringLiteral("methodName"), methodName },
        { QStringLiteral("rule"), ruleName(note.rule) },
        { QStringLiteral("before"), field(note.current) },
        { QStringLiteral("after"), field(result) } };
    if (kind == Data::Depletion
        && (change.type == ScenarioChanges::Amount || change.type == ScenarioChanges::NewAmount)) {
        step.fields.insert(QStringLiteral("b"), field(b));
        step.fields.insert(QStringLiteral("B"), field(B));
        step.fields.insert(QStringLiteral("N"), N);
        step.fields.insert(QStringLiteral("share"), B > 0.0 ? field(b / B) : QVariant());
    }
    if (note.rule == ChangeNote::FromYear)
        step.fields.insert(QStringLiteral("sourceYear"), int(change.value));
    _steps.append(step);
}

void CalcTrace::derived(DemandMath::Derivation rule, const double* before, const double* after)
{
    using DemandMath::Derivation;
    const double d = after[0];
    const double p = after[1];
    const double e = after[2];
    // "the changed depletion" and the like; a value without an origin is missing.
    auto named = [this](int kind) {
        const QString from = origin(kind);
        return from.isEmpty() ? QStringLiteral("no %1").arg(kindName(kind))
                              : QStringLiteral("the %1 %2").arg(from, kindName(kind));
    };
    auto from = [&named](int a, int b) {
        return QStringLiteral(" (from %1 and %2)").arg(named(a), named(b));
    };
    QString text;
    QString name;
    int derivedKind = -1;
    switch (rule) {
    case Derivation::NoDepletion:
        name = QStringLiteral("no-depletion");
        text = isMissing(d) ? QStringLiteral("depletion = 0, as %1 is 0 and there is no diversion")
                                  .arg(named(Data::EfficiencyRatio))
                            : QStringLiteral("depletion = 0, as %1 is 0 and %2 (%3) is not 0")
                                  .arg(named(Data::EfficiencyRatio), named(Data::Diversion), n(d));
        derivedKind = Data::Depletion;
        break;
    case Derivation::DepletionFromDiversion:
        name = QStringLiteral("depletion");
        text = QStringLiteral("depletion = efficiency %1 diversion = %2 %1 %3 = %4")
                   .arg(Times, n(e), n(d), n(p))
            + from(Data::EfficiencyRatio, Data::Diversion);
        derivedKind = Data::Depletion;
        break;
    case Derivation::EfficiencyFromDepletion:
        name = QStringLiteral("efficiency");
        text = QStringLiteral("efficiency = depletion / diversion = %1 / %2 = %3")
                   .arg(n(p), n(d), n(e))
            + from(Data::Depletion, Data::Diversion);
        derivedKind = Data::EfficiencyRatio;
        break;
    case Derivation::Nothing:
        name = QStringLiteral("nothing");
        text = QStringLiteral("nothing to derive: %1 and %2 are both 0 (depletion %3)")
                   .arg(named(Data::Diversion), named(Data::EfficiencyRatio), n(p));
        break;
    case Derivation::DiversionFromDepletion:
        name = QStringLiteral("diversion");
        text = QStringLiteral("diversion = depletion / efficiency = %1 / %2 = %3")
                   .arg(n(p), n(e), n(d))
            + from(Data::Depletion, Data::EfficiencyRatio);
        if (!isMissing(before[0]) && !(before[0] == d))
            text += QStringLiteral("; %1 was %2").arg(named(Data::Diversion), n(before[0]));
        derivedKind = Data::Diversion;
        break;
    }
    if (derivedKind >= 0)
        _origins[derivedKind] = Derived;
    CalcStep step;
    step.step = QStringLiteral("derived");
    step.kind = Data::Depletion;
    step.text = text;
    auto values = [](const double* v) {
        return QVariantMap { { QStringLiteral("diversion"), field(v[0]) },
            { QStringLiteral("depletion"), field(v[1]) },
            { QStringLiteral("efficiency"), field(v[2]) } };
    };
    step.fields = { { QStringLiteral("year"), _year }, { QStringLiteral("derived"), name },
        { QStringLiteral("before"), values(before) }, { QStringLiteral("after"), values(after) } };
    _steps.append(step);
}

void CalcTrace::monthly(int kind, double yearly, double coefficientPercent, double value)
{
    CalcStep step;
    step.step = QStringLiteral("monthly");
    step.kind = kind;
    step.text = QStringLiteral("%1 coefficient %2 %: %3 %4 %5 %2 / 100 = %6")
                    .arg(monthName(_month), n(coefficientPercent), kindName(kind), n(yearly), Times,
                        n(value));
    step.fields = { { QStringLiteral("kind"), kindName(kind) }, { QStringLiteral("month"), _month },
        { QStringLiteral("coefficient"), field(coefficientPercent) },
        { QStringLiteral("yearly"), field(yearly) }, { QStringLiteral("value"), field(value) } };
    _steps.append(step);
}

void CalcTrace::siteInput(
    int waterUserID, const QString& name, double diversion, double depletion, double salinityPickup)
{
    CalcStep step;
    step.step = QStringLiteral("input");
    step.text = QStringLiteral("water user %1 \"%2\" in %3: diversion %4, depletion %5, salinity "
                               "pick-up %6")
                    .arg(QString::number(waterUserID), name, yearText(_year), n(diversion),
                        n(depletion), n(salinityPickup));
    step.fields
        = { { QStringLiteral("waterUserID"), waterUserID }, { QStringLiteral("name"), name },
              { QStringLiteral("year"), _year }, { QStringLiteral("diversion"), field(diversion) },
              { QStringLiteral("depletion"), field(depletion) },
              { QStringLiteral("salinityPickup"), field(salinityPickup) } };
    _steps.append(step);
}

void CalcTrace::salinity(int salinityMethodID, DemandMath::SalinityRule rule, double totalDiversion,
    double totalDepletion, double totalReturnFlow, double totalSalinity,
    const DemandMath::SiteSalinity& result, int waterUserCount)
{
    using DemandMath::SalinityRule;
    const SalinityMethodInfo info = SalinityMethodInfo::fromId(salinityMethodID);
    const QString method = info.label.isEmpty()
        ? QStringLiteral("method %1").arg(salinityMethodID)
        : QStringLiteral("%1 (method %2)").arg(info.label).arg(salinityMethodID);
    const QString TD = n(totalDiversion);
    const QString TP = n(totalDepletion);
    const QString TR = n(totalReturnFlow);
    const QString TS = n(totalSalinity);
    const QString y = n(result.yearly);
    QString text;
    switch (rule) {
    case SalinityRule::Mass:
        text = QStringLiteral("%1: the summed salinity pick-up TS = %2").arg(method, TS);
        break;
    case SalinityRule::ReturnFlowConcentration:
        text = QStringLiteral("%1: TS / (TD %2 TP) = %3 / (%4 %2 %5) = %6")
                   .arg(method, Minus, TS, TD, TP, y);
        break;
    case SalinityRule::NoReturnFlow:
        text = QStringLiteral("%1: the return flow TD %2 TP = %3 %2 %4 = %5 is not positive, so "
                              "none (TS = %6)")
                   .arg(method, Minus, TD, TP, TR, TS);
        break;
    case SalinityRule::DiversionConcentration:
        text = QStringLiteral("%1: TS / TD = %2 / %3 = %4").arg(method, TS, TD, y);
        break;
    case SalinityRule::NoDiversion:
        text = QStringLiteral("%1: the summed diversion TD = %2 is not positive, so none (TS = "
                              "%3)")
                   .arg(method, TD, TS);
        break;
    case SalinityRule::UnknownMethod:
        text
            = QStringLiteral("salinity method %1 is none of 1 to 4, so none").arg(salinityMethodID);
        break;
    }
    text += QStringLiteral(" (sums over %1 water user%2)")
                .arg(QString::number(waterUserCount),
                    waterUserCount == 1 ? QString() : QStringLiteral("s"));

    CalcStep step;
    step.step = QStringLiteral("salinity");
    step.text = text;
    step.fields
        = { { QStringLiteral("year"), _year }, { QStringLiteral("method"), salinityMethodID },
              { QStringLiteral("methodName"), info.label.isEmpty() ? QVariant() : info.label },
              { QStringLiteral("TD"), field(totalDiversion) },
              { QStringLiteral("TP"), field(totalDepletion) },
              { QStringLiteral("TR"), field(totalReturnFlow) },
              { QStringLiteral("TS"), field(totalSalinity) },
              { QStringLiteral("yearly"), field(result.yearly) },
              { QStringLiteral("monthly"), field(result.monthly) },
              { QStringLiteral("waterUserCount"), waterUserCount } };
    _steps.append(step);

    if (_month == 0)
        return;
    CalcStep monthly;
    monthly.step = QStringLiteral("monthly");
    monthly.fields
        = { { QStringLiteral("month"), _month }, { QStringLiteral("yearly"), field(result.yearly) },
              { QStringLiteral("value"), field(result.monthly) } };
    if (rule == SalinityRule::Mass)
        monthly.text = QStringLiteral("%1: a twelfth of the yearly mass: %2 / 12 = %3")
                           .arg(monthName(_month), y, n(result.monthly));
    else
        monthly.text = QStringLiteral("%1: the yearly value, as every month: %2")
                           .arg(monthName(_month), n(result.monthly));
    _steps.append(monthly);
}
