// The ensemble summary as a workbook.
#include "ensemble/EnsembleSummary.h"
#include "ensemble/MemberRun.h"

#include "export/LibXlConnect.h"
#include "workbook/SheetFingerprint.h"

#include <QDate>
#include <QDateTime>
#include <QFile>

TARN::okstat EnsembleSummary::writeWorkbook(const QString& fileName, const EnsemblePlan& plan) const
{
    const QString partial = partialWorkbookPath(fileName);
    QFile::remove(partial);
    std::vector<QDate> dates(static_cast<size_t>(_yearCount));
    for (int y = 0; y < _yearCount; ++y)
        dates[static_cast<size_t>(y)] = QDate(_firstYear + y, 1, 1);

    // One sheet per statistic, its columns the slots as the members name them: a basin has
    // more slots than a sheet has columns for five statistics of each.
    LibXlConnect book;
    TARN::okstat status = book.open(partial);
    if (status.isOk())
        status = book.checkSize(_yearCount + 1, int(_slots.size()) + 1);
    for (int s = 0; s < StatisticCount && status.isOk(); ++s) {
        for (const Slot& slot : _slots) {
            status = book.writeColumn(
                sheetName(s), slot.name, _yearCount, dates.data(), slot.values[s].data());
            if (status.failed())
                break;
        }
        if (status.isOk())
            status = book.completeSheet(sheetName(s));
    }
    if (status.failed())
        return status;

    Workbook::SheetFingerprint fp;
    fp.sheet = sheetName(P50);
    fp.project = plan.projectFile.left(255);
    fp.firstYear = _firstYear;
    fp.lastYear = _firstYear + _yearCount - 1;
    fp.exportTime = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    using Workbook::DocProperty;
    const QString prefix = Workbook::Fingerprint::Prefix;
    fp.extra.push_back(DocProperty::textProperty(
        prefix + QStringLiteral("ensemble plan"), QString::fromLatin1(plan.hash())));
    fp.extra.push_back(DocProperty::integerProperty(
        prefix + QStringLiteral("ensemble members found"), _found.size()));
    fp.extra.push_back(
        DocProperty::textProperty(prefix + QStringLiteral("ensemble members missing"),
            _missing.isEmpty() ? QStringLiteral("none") : memberList(_missing).left(255)));
    return saveWorkbookOver(book, fp, partial, fileName);
}
