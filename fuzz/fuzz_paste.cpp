// The clipboard texts a planner pastes: the yearly table of a water user, its monthly
// distribution coefficients and the change values of a demand change. The first byte picks the
// parser and where the paste starts; the rest is the clipboard text (UTF-8).
#include "FuzzInput.h"
#include "FuzzTargets.h"

#include "calc/PasteParsers.h"
#include "db/Records.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// A pasted value is a finite number or none; an infinity would reach the project file.
void checkValue(double value)
{
    if (std::isinf(value))
        std::abort();
}

QList<WaterUserData> records()
{
    QList<WaterUserData> list;
    for (int year = 1990; year < 2010; ++year) {
        WaterUserData record;
        record.Year = year;
        if (year % 3 != 0) {
            record.DiversionReq = 100.0 + year % 7;
            record.DepletionReq = 40.0;
            record.EfficiencyRatio = record.DepletionReq / record.DiversionReq;
        }
        list.append(record);
    }
    return list;
}

} // namespace

void FuzzTarget::paste(const uint8_t* data, size_t size)
{
    if (size < 1)
        return;
    const uint8_t selector = data[0];
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));

    switch (selector % 3) {
    case 0: {
        static const QList<WaterUserData> table = records();
        const auto action = static_cast<Paste::YearlyAction>((selector >> 2) % 4);
        const int row = (selector >> 4) % table.size();
        const int column = 3 + (selector >> 6) % 4;
        const Paste::YearlyResult result = Paste::yearlyTable(table, row, column, action, text);
        if (result.status.failed() && !result.rows.isEmpty())
            std::abort();
        for (const Paste::YearlyRow& pasted : result.rows) {
            if (pasted.row < 0 || pasted.row >= table.size())
                std::abort();
            checkValue(pasted.diversion);
            checkValue(pasted.depletion);
            checkValue(pasted.efficiency);
            checkValue(pasted.salinity);
        }
        result.adjustmentReport();
        break;
    }
    case 1: {
        const int column = Paste::FirstMonthColumn + (selector >> 2) % 12;
        QList<Paste::ColumnValue> values;
        const TARN::okstat status = Paste::monthlyCoefficients(text, column, values);
        for (const auto& value : values) {
            if (value.first < Paste::FirstMonthColumn || value.first > Paste::LastMonthColumn)
                std::abort();
            checkValue(value.second);
        }
        if (status.failed() && !values.isEmpty())
            std::abort();
        break;
    }
    default: {
        const int expected = 1 + (selector >> 2) % 40;
        QVector<double> values;
        const QString error = Paste::changeValues(text, expected, values);
        if (error.isEmpty() && values.size() != expected)
            std::abort();
        for (double value : values)
            checkValue(value);
        break;
    }
    }
}

TARNHELM_FUZZ_ENTRY(paste, false)
