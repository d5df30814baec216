// The input books' readers of outside text: a folder's .csv files and the monthly time series
// of a state decision-support system (StateMod). The first byte picks the reader; the rest is
// the file's content.
#include "FuzzInput.h"
#include "FuzzTargets.h"

#include "inputs/InputsFiles.h"
#include "inputs/StateModSeries.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

void FuzzTarget::inputs(const uint8_t* data, size_t size)
{
    if (size < 1)
        return;
    const QByteArray text(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    if (data[0] % 2 == 0) {
        // What the reader makes of a file, written and read again, is what it made.
        Inputs::Sheet sheet;
        QString error;
        if (!Inputs::fromCsv(text, sheet, &error)) {
            if (error.isEmpty())
                std::abort();
            return;
        }
        Inputs::Sheet again;
        if (!Inputs::fromCsv(Inputs::toCsv(sheet), again, &error) || again.header != sheet.header
            || again.rows != sheet.rows)
            std::abort();
        return;
    }
    StateMod::Series series;
    if (StateMod::parse(text, series).failed())
        return;
    QMap<QString, QMap<int, double>> sums;
    if (StateMod::yearlySums(series, sums).failed())
        return;
    // A year's sum is a number or missing, never an infinity that would reach the project.
    for (const QMap<int, double>& years : qAsConst(sums))
        for (const double sum : years)
            if (std::isinf(sum) || (!std::isnan(sum) && sum < 0))
                std::abort();
}

TARNHELM_FUZZ_ENTRY(inputs, false)
