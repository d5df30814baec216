// The ensemble summary as a workbook.
#include "ensemble/EnsembleSummary.h"
#include "ensemble/MemberRun.h"

#include "export/LibXlConnect.h"
#include "workbook/SheetFingerprint.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

TARN::okstat EnsembleSummary::writeWorkbook(const QString& fileName, const EnsemblePlan& plan) const
{
    const QFileInfo target(fileName);
    const QString partial = target.dir().filePath(
        QStringLiteral(".%1.%2.partial.xlsx")
            .arg(target.completeBaseName(), QString::number(QCoreApplication::applicationPid())));
    QFile::remove(partial);
    const QString sheet = QStringLiteral("Ensemble Summary");
    std::vector<QDate> dates(static_cast<size_t>(_yearCount));
    for (int y = 0; y < _yearCount; ++y)
        dates[static_cast<size_t>(y)] = QDate(_firstYear + y, 1, 1);

    LibXlConnect book;
    TARN::okstat status = book.open(partial);
    if (status.isOk())
        status = book.checkSize(_yearCount + 1, int(_slots.size()) * StatisticCount + 1);
    for (const Slot& slot : _slots) {
        for (int s = 0; s < StatisticCount && status.isOk(); ++s) {
            status = book.writeColumn(sheet,
                QStringLiteral("%1 [%2]").arg(slot.name, statisticName(s)), _yearCount,
                dates.data(), slot.values[s].data());
        }
    }
    if (status.isOk())
        status = book.completeSheet(sheet);
    if (status.failed())
        return status;

    Workbook::SheetFingerprint fp;
    fp.sheet = sheet;
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
    book.setFingerprint(fp);
    status = book.save();
    if (status.failed()) {
        QFile::remove(partial);
        return status;
    }
    return replaceFile(partial, fileName);
}
