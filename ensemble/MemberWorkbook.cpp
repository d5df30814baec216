// An ensemble member's monthly sheet as a workbook.
#include "ensemble/MemberRun.h"

#include "db/TarnDbMgr.h"
#include "export/LibXlConnect.h"
#include "workbook/SheetFingerprint.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

TARN::okstat MemberRun::writeWorkbook(const QString& fileName, int member) const
{
    // Made afresh beside the target and renamed over it: a member's book holds nothing of an
    // earlier one, and the same member writes the same bytes.
    const QString partial = partialWorkbookPath(fileName);
    QFile::remove(partial);
    const int months = 12 * std::max(0, _lastYear - _firstYear + 1);
    std::vector<QDate> dates(static_cast<size_t>(months));
    for (int i = 0; i < months; ++i)
        dates[static_cast<size_t>(i)] = QDate(_firstYear, 1, 1).addMonths(i);
    const QString sheet = _plan.scenarioName.left(31);

    LibXlConnect book;
    // One member is one job on one core: the scheduler runs the others beside it.
    book.setCompressionThreads(1);
    TARN::okstat status = book.open(partial);
    if (status.isOk())
        status = book.checkSize(months + 1, int(_series.size()) + 1);
    for (const Series& series : _series) {
        if (status.failed())
            break;
        if (!series.inWorkbook)
            continue;
        status = book.writeColumn(sheet, series.slot, months, dates.data(), series.monthly.data());
    }
    if (status.isOk())
        status = book.completeSheet(sheet);
    if (status.failed())
        return status;

    Workbook::SheetFingerprint fp;
    fp.sheet = sheet;
    fp.project = QFileInfo(TarnDbMgr::instance()->path()).fileName().left(255);
    fp.firstYear = _firstYear;
    fp.lastYear = _lastYear;
    // A member records no moment of its own but one fixed time (zip entries cannot go back
    // before 1980), so that running it again writes the same bytes.
    fp.exportTime = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    using Workbook::DocProperty;
    const QString prefix = Workbook::Fingerprint::Prefix;
    fp.extra.push_back(DocProperty::textProperty(
        prefix + QStringLiteral("ensemble plan"), QString::fromLatin1(_plan.hash())));
    fp.extra.push_back(
        DocProperty::integerProperty(prefix + QStringLiteral("ensemble member"), member));
    const std::vector<double>& values = _plan.values.at(size_t(member));
    for (int d = 0; d < _plan.vary.size(); ++d) {
        // Excel keeps names of custom properties to 255 characters.
        fp.extra.push_back(DocProperty::textProperty(
            QString(prefix + QStringLiteral("ensemble ") + _plan.vary.at(d).label()).left(255),
            QString::number(values.at(size_t(d)), 'g', QLocale::FloatingPointShortest)));
    }
    return saveWorkbookOver(book, fp, partial, fileName);
}

QString partialWorkbookPath(const QString& fileName)
{
    const QFileInfo target(fileName);
    return target.dir().filePath(
        QStringLiteral(".%1.%2.partial.xlsx")
            .arg(target.completeBaseName(), QString::number(QCoreApplication::applicationPid())));
}

TARN::okstat saveWorkbookOver(LibXlConnect& book, const Workbook::SheetFingerprint& fp,
    const QString& partial, const QString& fileName)
{
    book.setFingerprint(fp);
    const TARN::okstat status = book.save();
    if (status.failed()) {
        QFile::remove(partial);
        return status;
    }
    return replaceFile(partial, fileName);
}
