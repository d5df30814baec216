#include "ensemble/EnsembleSummary.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double Percent[EnsembleSummary::StatisticCount] = { 0.0, 0.10, 0.50, 0.90, 1.0 };

// One line of a member's file: its slot field (still quoted as written), year and value.
struct Line {
    const char* slot = nullptr; // into the file's text, no copy: a member has a million lines
    int slotSize = 0;
    int year = 0;
    double value = 0.0;
};

// Reads the line starting at pos; false at a malformed line.
bool readLine(const QByteArray& text, int& pos, Line& line)
{
    const char* data = text.constData();
    const int size = text.size();
    int start = pos;
    int i = pos;
    if (i < size && data[i] == '"') {
        for (++i; i < size; ++i) {
            if (data[i] == '"') {
                if (i + 1 < size && data[i + 1] == '"')
                    ++i;
                else
                    break;
            }
        }
        ++i;
    } else {
        while (i < size && data[i] != ',' && data[i] != '\n')
            ++i;
    }
    if (i >= size || data[i] != ',')
        return false;
    line.slot = data + start;
    line.slotSize = i - start;
    ++i;
    const auto year = std::from_chars(data + i, data + size, line.year);
    if (year.ec != std::errc() || year.ptr >= data + size || *year.ptr != ',')
        return false;
    i = int(year.ptr - data) + 1;
    int end = i;
    while (end < size && data[end] != '\n' && data[end] != '\r')
        ++end;
    if (end - i == 3 && std::equal(data + i, data + end, "NaN")) {
        line.value = std::numeric_limits<double>::quiet_NaN();
    } else {
        const auto value = std::from_chars(data + i, data + end, line.value);
        if (value.ec != std::errc() || value.ptr != data + end)
            return false;
    }
    while (end < size && (data[end] == '\r' || data[end] == '\n'))
        ++end;
    pos = end;
    return true;
}

QString unquoted(const QByteArray& field)
{
    QString text = QString::fromUtf8(field);
    if (text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')) && text.size() >= 2)
        text = text.mid(1, text.size() - 2).replace(QLatin1String("\"\""), QLatin1String("\""));
    return text;
}

bool isDepletionSlot(const QString& slot)
{
    return slot.contains(QLatin1Char(':'))
        && (slot.endsWith(QLatin1String(".Depletion Requested"))
            || slot.endsWith(QLatin1String(".Depletion Schedule")));
}

} // namespace

QString EnsembleSummary::statisticName(int statistic)
{
    static const char* const names[] = { "min", "p10", "p50", "p90", "max" };
    return QLatin1String(names[statistic]);
}

QString EnsembleSummary::sheetName(int statistic)
{
    static const char* const names[]
        = { "Minimum", "10th percentile", "Median", "90th percentile", "Maximum" };
    return QLatin1String(names[statistic]);
}

QString EnsembleSummary::basinTotalSlot()
{
    return QStringLiteral("Basin.Total Depletion");
}

double EnsembleSummary::percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return std::numeric_limits<double>::quiet_NaN();
    const double h = (double(sorted.size()) - 1.0) * p;
    const size_t low = size_t(std::floor(h));
    const size_t high = std::min(sorted.size() - 1, low + 1);
    return sorted[low] + (h - double(low)) * (sorted[high] - sorted[low]);
}

const EnsembleSummary::Slot* EnsembleSummary::slot(const QString& name) const
{
    for (const Slot& s : _slots) {
        if (s.name == name)
            return &s;
    }
    return nullptr;
}

TARN::okstat EnsembleSummary::read(const QString& dir, const EnsemblePlan& plan)
{
    _found.clear();
    _missing.clear();
    _problems.clear();
    _slots.clear();
    const int members = plan.memberCount();
    // The layout of the first member found: its slots' fields and years, line by line.
    std::vector<QByteArray> lineSlots;
    std::vector<int> lineYears;
    QStringList slotNames;
    std::vector<int> depletionLine; // per line: whether it adds to the basin total
    std::vector<double> values; // line-major, members wide
    std::vector<double> totals; // year-major, members wide
    const QByteArray header = QByteArrayLiteral("Slot,Year,Value");
    QByteArray reference;
    for (int k = 0; k < members; ++k) {
        if (_progress)
            _progress(k, members);
        const QString name = QStringLiteral("member-%1.csv").arg(k);
        QFile file(QDir(dir).filePath(name));
        if (!file.exists()) {
            _missing.append(k);
            continue;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            _missing.append(k);
            _problems.append(QStringLiteral("%1 cannot be read: %2").arg(name, file.errorString()));
            continue;
        }
        // Mapped rather than read: a member of a large basin is tens of megabytes, and a
        // hundred of them copied into fresh buffers cost more than the parsing.
        const qint64 size = file.size();
        uchar* mapped = size > 0 ? file.map(0, size) : nullptr;
        const QByteArray text = mapped
            ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), int(size))
            : file.readAll();
        const int f = _found.size();
        int pos = text.indexOf('\n') + 1;
        bool ok = pos > 0 && text.left(pos).trimmed() == header;
        Line line;
        size_t n = 0;
        const bool first = lineSlots.empty() && _found.isEmpty();
        if (!first && ok) {
            for (int y = 0; y < _yearCount; ++y)
                totals[size_t(y) * size_t(members) + size_t(f)] = 0.0;
        }
        while (ok && pos < text.size()) {
            ok = readLine(text, pos, line);
            if (!ok)
                break;
            if (first) {
                lineSlots.push_back(QByteArray(line.slot, line.slotSize));
                lineYears.push_back(line.year);
                values.push_back(line.value);
                continue;
            }
            ok = n < lineSlots.size() && lineYears[n] == line.year
                && lineSlots[n].size() == line.slotSize
                && std::memcmp(lineSlots[n].constData(), line.slot, size_t(line.slotSize)) == 0;
            if (!ok)
                break;
            values[n * size_t(members) + size_t(f)] = line.value;
            if (depletionLine[n] && !std::isnan(line.value))
                totals[size_t(line.year - _firstYear) * size_t(members) + size_t(f)] += line.value;
            ++n;
        }
        if (ok && !first && n != lineSlots.size())
            ok = false;
        if (mapped)
            file.unmap(mapped);
        file.close();
        if (!ok) {
            if (first) {
                lineSlots.clear();
                lineYears.clear();
                values.clear();
            }
            _missing.append(k);
            _problems.append(first
                    ? QStringLiteral("%1 is not a member's output (Slot,Year,Value)").arg(name)
                    : QStringLiteral("%1 does not hold the slots and years of %2")
                          .arg(name, QString::fromUtf8(reference)));
            continue;
        }
        if (first) {
            reference = name.toUtf8();
            // Lay the first member's values out members wide now that the lines are known.
            std::vector<double> own;
            own.swap(values);
            values.assign(own.size() * size_t(members), 0.0);
            _firstYear
                = lineYears.empty() ? 0 : *std::min_element(lineYears.begin(), lineYears.end());
            const int last
                = lineYears.empty() ? -1 : *std::max_element(lineYears.begin(), lineYears.end());
            _yearCount = last - _firstYear + 1;
            totals.assign(size_t(std::max(0, _yearCount)) * size_t(members), 0.0);
            depletionLine.assign(own.size(), 0);
            for (size_t i = 0; i < own.size(); ++i) {
                const QString slot = unquoted(lineSlots[i]);
                if (slotNames.isEmpty() || slotNames.last() != slot)
                    slotNames.append(slot);
                depletionLine[i] = isDepletionSlot(slot);
                values[i * size_t(members)] = own[i];
                if (depletionLine[i] && !std::isnan(own[i]))
                    totals[size_t(lineYears[i] - _firstYear) * size_t(members)] += own[i];
            }
        }
        _found.append(k);
    }
    if (_progress)
        _progress(members, members);
    if (_found.isEmpty())
        return QStringLiteral("%1 holds no member of the plan (member-0.csv to member-%2.csv); "
                              "run them with tarnhelm-cli ensemble run.")
            .arg(dir, QString::number(members - 1));

    const size_t found = size_t(_found.size());
    std::vector<double> cell;
    const auto statistics = [&](const double* memberValues, Slot& slot, int y) {
        cell.clear();
        for (size_t f = 0; f < found; ++f) {
            if (!std::isnan(memberValues[f]))
                cell.push_back(memberValues[f]);
        }
        std::sort(cell.begin(), cell.end());
        for (int s = 0; s < StatisticCount; ++s)
            slot.values[s][size_t(y)] = percentile(cell, Percent[s]);
    };
    const auto newSlot = [this](const QString& name) {
        Slot slot;
        slot.name = name;
        for (auto& series : slot.values)
            series.assign(size_t(_yearCount), std::numeric_limits<double>::quiet_NaN());
        return slot;
    };
    Slot total = newSlot(basinTotalSlot());
    for (int y = 0; y < _yearCount; ++y)
        statistics(&totals[size_t(y) * size_t(members)], total, y);
    _slots.push_back(std::move(total));
    size_t i = 0;
    for (const QString& name : qAsConst(slotNames)) {
        Slot slot = newSlot(name);
        for (; i < lineSlots.size() && unquoted(lineSlots[i]) == name; ++i)
            statistics(&values[i * size_t(members)], slot, lineYears[i] - _firstYear);
        _slots.push_back(std::move(slot));
    }
    return {};
}

QString memberList(const QList<int>& members)
{
    QStringList parts;
    for (int i = 0; i < members.size();) {
        int j = i;
        while (j + 1 < members.size() && members.at(j + 1) == members.at(j) + 1)
            ++j;
        if (j - i >= 2) {
            parts.append(QStringLiteral("%1-%2").arg(members.at(i)).arg(members.at(j)));
        } else {
            for (int m = i; m <= j; ++m)
                parts.append(QString::number(members.at(m)));
        }
        i = j + 1;
    }
    if (parts.size() <= 1)
        return parts.join(QString());
    return parts.mid(0, parts.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ")
        + parts.last();
}
