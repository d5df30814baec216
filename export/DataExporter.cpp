#include "export/DataExporter.h"

#include "db/AggDivDAO.h"
#include "db/BaselineDAO.h"
#include "db/DmiApi.h"
#include "db/ModelOps.h"
#include "db/Records.h"
#include "export/LibXlConnect.h"
#include "export/ScenarioFingerprint.h"
#include "workbook/WorkbookDiff.h"
#include "workbook/WorkbookFile.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QVariant>

#include <vector>

DataExporter::DataExporter(QObject* parent, const QSqlDatabase& db)
    : QObject(parent)
    , _db(db)
{
}

TARN::okstat readDemandSlotNames(const QSqlDatabase& db, DemandSlotNames& names)
{
    int outputType = 0;
    const TARN::okstat status = BaselineDAO::readOutputType(db, outputType);
    if (status.failed())
        return status;
    names.diversion = outputType == 1 ? QStringLiteral("Diversion Requested")
                                      : QStringLiteral("Diversion Schedule");
    names.depletion = outputType == 1 ? QStringLiteral("Depletion Requested")
                                      : QStringLiteral("Depletion Schedule");
    return {};
}

QString DataExporter::cancelledText()
{
    return QStringLiteral("The export was cancelled; the workbook was left as it was.");
}

TARN::okstat DataExporter::exportData(
    const QString& fileName, const QList<int>& scenarioIds, int startYear, int endYear)
{
    TARN::okstat status = run(fileName, scenarioIds, startYear, endYear);
    // However far it came, a cancelled export wrote nothing: the book is saved in one go.
    if (_cancel && status.failed())
        status = cancelledText();
    emit exportFinished(status);
    return status;
}

void DataExporter::report(const CalcStatusInfo& info, bool endOfStage)
{
    const qint64 now = _clock ? _clock() : _timer.elapsed();
    if (!endOfStage && _lastReport >= 0 && now - _lastReport < StatusInterval)
        return;
    _lastReport = now;
    emit exportStatus(info);
}

TARN::okstat DataExporter::run(
    const QString& fileName, const QList<int>& scenarioIds, int startYear, int endYear)
{
    _timer.start();
    _lastReport = -1;
    CalcStatusInfo info;
    info.status = QStringLiteral("Preparing data");
    report(info);

    LibXlConnect book;
    book.setCompressionThreads(_compressionThreads);
    book.setCancelFlag(&_cancel);
    TARN::okstat status = book.open(fileName);
    if (status.failed())
        return status;

    const int months = 12 * (endYear - startYear + 1);
    if (months <= 0)
        return QStringLiteral("The end year %1 is before the start year %2.")
            .arg(endYear)
            .arg(startYear);

    // A baseline or scenario without results would get no sheet at all: a new book would hold
    // none of it, and an existing book would keep the sheet of an earlier export under its
    // name. Refused before anything is written.
    DmiApi dmi(nullptr);
    QStringList sheetNames;
    for (const int id : scenarioIds) {
        const QString baselineName = QStringLiteral("Baseline Monthly Data");
        QString sheetName = baselineName;
        bool found = true;
        if (id != BaselineId) {
            status = dmi.getScenarioName(id, sheetName, &found);
            if (status.failed())
                return status;
            if (!found)
                return QStringLiteral("There is no scenario with ID %1.").arg(id);
        }
        status = dmi.hasAggDivResults(id, startYear, endYear, found);
        if (status.failed())
            return status;
        if (!found) {
            return QStringLiteral("There are no monthly results for \"%1\" from %2 to %3. Please "
                                  "recalculate (%4) before attempting to export again.")
                .arg(sheetName, QString::number(startYear), QString::number(endYear),
                    TARN::recalculateHint());
        }
        // A sheet the workbook cannot hold is refused before anything is read or written, with
        // the columns it would need.
        int columns = 0;
        status = dmi.exportColumns(id, startYear, endYear, columns);
        if (status.isOk())
            status = book.checkSize(months + 1, columns);
        if (status.failed())
            return status;
        sheetNames.append(sheetName);
    }
    status = recordFingerprints(book, scenarioIds, sheetNames, startYear, endYear);
    if (status.failed())
        return status;

    std::vector<QDate> dates(static_cast<size_t>(months));
    for (int i = 0; i < months; ++i)
        dates[static_cast<size_t>(i)] = QDate(startYear, 1, 1).addMonths(i);
    std::vector<double> salinity(static_cast<size_t>(months));
    std::vector<double> diversion(static_cast<size_t>(months));
    std::vector<double> depletion(static_cast<size_t>(months));

    DemandSlotNames slotNames;
    status = readDemandSlotNames(_db, slotNames);
    if (status.failed())
        return status;

    QList<SiteWaterUsers> sites;
    status = AggDivDAO::readSitesWithWaterUsers(_db, sites);
    if (status.failed())
        return status;

    for (int n = 0; n < scenarioIds.size(); ++n) {
        const int id = scenarioIds.at(n);
        const QString& sheetName = sheetNames.at(n);
        info.target = sheetName;
        info.aggDivCount = sites.size();
        for (const SiteWaterUsers& entry : qAsConst(sites)) {
            if (_cancel)
                return cancelledText();
            const AggDiv& site = entry.site;
            info.status = QStringLiteral("Exporting agg diversion data");
            info.aggDivName = site.RiffleName;
            report(info);

            bool found = false;
            std::fill(salinity.begin(), salinity.end(), TARN::nan());
            status = dmi.getAggDivSalinitySeries(
                id, site, startYear, endYear, months, found, salinity.data());
            if (status.failed())
                return status;
            if (!found) {
                info.aggDivName.clear();
                ++info.aggDivDone;
                info.waterUserDone = 0;
                info.status.clear();
                report(info, info.aggDivDone == info.aggDivCount);
                continue;
            }
            status = book.writeColumn(sheetName,
                QStringLiteral("%1.%2").arg(site.RiffleName, site.salinityMethod.slotName), months,
                dates.data(), salinity.data());
            if (status.failed())
                return status;

            info.waterUserCount = entry.waterUsers.size();
            for (const WaterUser& user : entry.waterUsers) {
                info.status = QStringLiteral("Exporting water user data");
                info.waterUserName = user.RiffleName;
                report(info);
                std::fill(diversion.begin(), diversion.end(), TARN::nan());
                std::fill(depletion.begin(), depletion.end(), TARN::nan());
                status = dmi.getWaterUserSeries(id, user, site.RiffleName, startYear, endYear,
                    months, found, diversion.data(), depletion.data());
                if (status.failed())
                    return status;
                if (found) {
                    const QString prefix
                        = QStringLiteral("%1:%2.").arg(site.RiffleName, user.RiffleName);
                    status = book.writeColumn(sheetName, prefix + slotNames.diversion, months,
                        dates.data(), diversion.data());
                    if (status.isOk())
                        status = book.writeColumn(sheetName, prefix + slotNames.depletion, months,
                            dates.data(), depletion.data());
                    if (status.failed())
                        return status;
                }
                info.waterUserName.clear();
                ++info.waterUserDone;
                info.status.clear();
                report(info);
            }
            info.aggDivName.clear();
            ++info.aggDivDone;
            info.waterUserDone = 0;
            info.status.clear();
            report(info, info.aggDivDone == info.aggDivCount);
        }
        status = book.completeSheet(sheetName);
        if (status.failed())
            return status;
        info.target.clear();
        info.aggDivName.clear();
        info.waterUserName.clear();
        info.status.clear();
        info.aggDivDone = 0;
        info.waterUserDone = 0;
        report(info, true);
    }

    const QString changes = compareWithPrevious(book, info);
    if (_cancel)
        return cancelledText();
    status = save(book, static_cast<int>(sheetNames.size()), info);
    if (status.isOk() && !changes.isEmpty())
        emit diagMessage(changes);
    return status;
}

TARN::okstat DataExporter::recordFingerprints(LibXlConnect& book, const QList<int>& scenarioIds,
    const QStringList& sheetNames, int startYear, int endYear)
{
    QDateTime now = _exportTime.isValid() ? _exportTime.toUTC() : QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    for (int n = 0; n < scenarioIds.size(); ++n) {
        Workbook::SheetFingerprint fp;
        fp.sheet = sheetNames.at(n);
        // Excel keeps texts of custom properties to 255 characters.
        fp.project = QFileInfo(_db.databaseName()).fileName().left(255);
        fp.firstYear = startYear;
        fp.lastYear = endYear;
        fp.exportTime = now;
        if (scenarioIds.at(n) != BaselineId) {
            const TARN::okstat status
                = ScenarioFingerprint::definitionHash(_db, scenarioIds.at(n), &fp.scenarioHash);
            if (status.failed())
                return status;
        }
        book.setFingerprint(fp);
    }
    return {};
}

QString DataExporter::compareWithPrevious(LibXlConnect& book, CalcStatusInfo& info)
{
    if (!_compareWithPrevious || !book.existed())
        return QString();
    // Upper bar: the sheets compared; lower bar: the reading of the current one, in thousandths.
    info.status = QStringLiteral("Comparing with the previous workbook");
    info.waterUserCount = 1000;
    info.waterUserDone = 0;
    report(info, true);
    Workbook::WorkbookComparison comparison;
    const TARN::okstat status = book.compareWithPrevious(
        &comparison, 0, [this, &info](int sheet, int sheets, int permille) {
            info.aggDivCount = std::max(sheets, 1);
            info.aggDivDone = sheet;
            info.waterUserDone = permille;
            report(info);
        });
    if (status.failed())
        return QStringLiteral("Unable to compare with the previous workbook: %1")
            .arg(status.text());
    return comparison.summary();
}

TARN::okstat DataExporter::save(LibXlConnect& book, int sheets, CalcStatusInfo& info)
{
    // Upper bar: the sheets written; lower bar: the whole save, in thousandths.
    info.status = QStringLiteral("Closing workbook");
    info.aggDivCount = std::max(sheets, 1);
    info.aggDivDone = 0;
    info.waterUserCount = 1000;
    info.waterUserDone = 0;
    report(info, true);
    book.setSaveProgressHandler([this, &info](const Workbook::SaveProgress& progress) {
        info.aggDivCount = std::max(progress.sheets, 1);
        info.aggDivDone = progress.sheetsDone;
        info.aggDivName = progress.sheetName;
        info.waterUserDone = progress.permille;
        report(info);
    });
    const TARN::okstat saved = book.save();
    if (saved.isOk()) {
        info.aggDivDone = info.aggDivCount;
        info.aggDivName.clear();
        info.waterUserDone = info.waterUserCount;
        report(info, true);
    }
    return saved;
}
