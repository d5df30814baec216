#include "export/LibXlConnect.h"

#include "workbook/CellFormat.h"
#include "workbook/SheetData.h"
#include "workbook/SheetTable.h"
#include "workbook/WorkbookDiff.h"
#include "workbook/WorkbookReader.h"
#include "workbook/XlsBook.h"
#include "workbook/XlsxBook.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <thread>

using TARN::okstat;

LibXlConnect::LibXlConnect() = default;

LibXlConnect::~LibXlConnect()
{
    release(); // the book may be reading the sheets on its threads: it goes first
}

void LibXlConnect::release()
{
    waitForSheetJob();
    _book.reset();
    _fileName.clear();
    _sheets.clear();
    _replaces.clear();
    _complete.clear();
    _sheetIndex.clear();
    _current = -1;
    _existed = false;
    _fingerprints.clear();
    _hashesDone = false;
    _sheetHashes.clear();
}

okstat LibXlConnect::open(const QString& fileName)
{
    release();
    const bool exists = QFileInfo::exists(fileName);
    if (!exists) {
        // Through a link that points at nothing yet: the file is made where the link points,
        // and the link stays.
        QFile probe(Workbook::WorkbookFile::linkTarget(fileName));
        if (!probe.open(QIODevice::WriteOnly))
            return tr("The workbook \"%1\" doesn't exist and can't be created: %2")
                .arg(fileName, probe.errorString());
        probe.close();
        probe.remove();
    }

    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("xlsx") || suffix == QLatin1String("xlsm")) {
        auto book = std::make_unique<Workbook::XlsxBook>();
        if (!exists)
            book->create(fileName, suffix == QLatin1String("xlsm"));
        book->setThreadCount(_threads);
        // An export into an existing book compares its sheets with the book's before the save.
        book->setKeepCompressedValues(exists);
        book->setBlockCells(_blockCells);
        _book = std::move(book);
    } else if (suffix == QLatin1String("xls")) {
        auto book = std::make_unique<Workbook::XlsBook>();
        if (!exists)
            book->create(fileName);
        _book = std::move(book);
    } else {
        return tr("Unsupported workbook type");
    }
    QString error;
    if (exists && !_book->load(fileName, &error)) {
        _book.reset();
        return tr("Error loading the workbook \"%1\": %2").arg(fileName, error);
    }
    _fileName = fileName;
    _existed = exists;
    return okstat();
}

okstat LibXlConnect::sheet(const QString& name, Workbook::SheetData** sheet)
{
    if (!_book)
        return tr("Error adding the sheet \"%1\" to the workbook \"%2\": %3")
            .arg(name, _fileName, tr("no workbook is open"));
    const auto known = _sheetIndex.constFind(name);
    if (known != _sheetIndex.constEnd()) {
        if (sheet)
            *sheet = _sheets[static_cast<size_t>(known.value())].get();
        return okstat();
    }
    auto fail = [&](const QString& why) {
        return okstat(tr("Error adding the sheet \"%1\" to the workbook \"%2\": %3")
                          .arg(name, _fileName, why));
    };
    const QString problem = Workbook::XlCell::sheetNameProblem(name);
    if (!problem.isEmpty())
        return fail(problem);

    // Excel tells sheet names apart without regard to case: a name that differs from an
    // existing one only in case can neither replace it nor sit beside it.
    const QStringList existing = _book->sheetNames();
    int replaces = -1;
    for (int i = 0; i < existing.size(); ++i) {
        if (existing.at(i) == name && replaces < 0)
            replaces = i;
        else if (existing.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return fail(tr("the workbook already has a sheet named \"%1\"").arg(existing.at(i)));
    }
    for (const auto& made : _sheets)
        if (made->name().compare(name, Qt::CaseInsensitive) == 0)
            return fail(tr("the workbook already has a sheet named \"%1\"").arg(made->name()));

    _sheets.push_back(std::make_unique<Workbook::SheetData>(name));
    _sheetHashes.emplace_back();
    _replaces.push_back(replaces);
    _complete.push_back(false);
    _sheetIndex.insert(name, static_cast<int>(_sheets.size()) - 1);
    if (sheet)
        *sheet = _sheets.back().get();
    return okstat();
}

okstat LibXlConnect::checkSize(int rows, int columns) const
{
    if (!_book)
        return tr("No workbook is open");
    if (columns > _book->maxColumns())
        return tr("The export needs %1 columns in a sheet, but a %2 workbook holds at most %3 "
                  "columns. Please export to an .xlsx workbook instead.")
            .arg(columns)
            .arg(_book->formatName())
            .arg(_book->maxColumns());
    if (rows > _book->maxRows())
        return tr("The export needs %1 rows in a sheet, but a %2 workbook holds at most %3 rows. "
                  "Please export to an .xlsx workbook instead.")
            .arg(rows)
            .arg(_book->formatName())
            .arg(_book->maxRows());
    return okstat();
}

okstat LibXlConnect::writeColumn(const QString& sheetName, const QString& header, int count,
    const QDate* dates, const double* values)
{
    Workbook::SheetData* target = nullptr;
    okstat status = sheet(sheetName, &target);
    if (status.failed())
        return status;
    count = std::max(count, 0);
    status = checkSize(count + 1, target->columnCount() + 2);
    if (status.failed())
        return status;
    const int index = _sheetIndex.value(sheetName);
    if (_complete[static_cast<size_t>(index)])
        return tr("Error adding the sheet \"%1\" to the workbook \"%2\": %3")
            .arg(sheetName, _fileName, tr("the sheet is already complete"));
    if (_current >= 0 && _current != index && !_complete[static_cast<size_t>(_current)]) {
        // Moving on without completing it: the sheet left behind is most likely complete.
        Workbook::SheetData* left = _sheets[static_cast<size_t>(_current)].get();
        QString ignored; // a sheet that can't be spilled stays in memory
        if (left->valueTotal() >= _spillThreshold)
            left->spill(&ignored);
    }
    _current = index;
    _sheetHashes[static_cast<size_t>(index)].clear();
    _hashesDone = false;
    if (!target->hasDates() && dates)
        target->setDates(dates, count);
    QString error;
    if (!target->addColumn(header, values, count, &error))
        return tr("Error adding the sheet \"%1\" to the workbook \"%2\": %3")
            .arg(sheetName, _fileName, error);
    return okstat();
}

okstat LibXlConnect::completeSheet(const QString& sheetName)
{
    // A sheet that got no column is not made: there is nothing to complete.
    const auto known = _sheetIndex.constFind(sheetName);
    if (!_book || known == _sheetIndex.constEnd())
        return okstat();
    const int index = known.value();
    if (_complete[static_cast<size_t>(index)])
        return okstat();
    _complete[static_cast<size_t>(index)] = true;
    // The sheet completed before goes to the book once its fingerprint is worked out: the book
    // may move its values out of memory as it compresses them.
    handOverPending();
    if (!fingerprinted(sheetName)) {
        handOver(index);
        return okstat();
    }
    Workbook::SheetData* sheet = _sheets[static_cast<size_t>(index)].get();
    QByteArray* result = &_sheetHashes[static_cast<size_t>(index)];
    _jobSheet = index;
    _sheetJob = std::thread([sheet, result]() {
        QString error;
        if (!Workbook::Fingerprint::contentHash(*sheet, result, &error))
            result->clear(); // worked out again at the save
    });
    return okstat();
}

void LibXlConnect::handOver(int index)
{
    Workbook::SheetData* sheet = _sheets[static_cast<size_t>(index)].get();
    if (!_book->takeCompleteSheet(sheet)) {
        // The book has no use for it before the save: it waits in a file, if it is large.
        QString ignored;
        if (sheet->valueTotal() >= _spillThreshold)
            sheet->spill(&ignored);
    }
}

void LibXlConnect::handOverPending()
{
    const int pending = _jobSheet;
    waitForSheetJob();
    if (pending >= 0 && _book)
        handOver(pending);
}

void LibXlConnect::setSaveProgressHandler(
    std::function<void(const Workbook::SaveProgress&)> handler)
{
    _saveProgress = std::move(handler);
}

okstat LibXlConnect::save()
{
    if (!_book)
        return tr("Error saving the workbook \"%1\": %2").arg(_fileName, tr("no workbook is open"));
    // A book needs at least one sheet.
    if (_sheets.empty() && _book->sheetNames().isEmpty()) {
        _sheets.push_back(std::make_unique<Workbook::SheetData>(QStringLiteral("Sheet1")));
        _sheetHashes.emplace_back();
        _replaces.push_back(-1);
        _complete.push_back(false);
    }
    std::vector<Workbook::NewSheet> sheets;
    for (size_t i = 0; i < _sheets.size(); ++i)
        sheets.push_back({ _sheets[i].get(), _replaces[i] });
    handOverPending();
    const okstat recorded = applyFingerprints();
    if (recorded.failed()) {
        const QString fileName = _fileName;
        release();
        return tr("Error saving the workbook \"%1\": %2").arg(fileName, recorded.text());
    }
    QString error;
    _book->setSaveProgressHandler(_saveProgress);
    const bool saved = _book->save(sheets, _cancel, &error);
    const QString fileName = _fileName;
    release();
    if (!saved)
        return tr("Error saving the workbook \"%1\": %2").arg(fileName, error);
    return okstat();
}

void LibXlConnect::setFingerprint(const Workbook::SheetFingerprint& fp)
{
    for (auto& known : _fingerprints)
        if (known.sheet == fp.sheet) {
            known = fp;
            _hashesDone = false;
            return;
        }
    _fingerprints.push_back(fp);
    _hashesDone = false;
}

bool LibXlConnect::fingerprinted(const QString& sheet) const
{
    return std::any_of(_fingerprints.begin(), _fingerprints.end(),
        [&](const Workbook::SheetFingerprint& fp) { return fp.sheet == sheet; });
}

void LibXlConnect::waitForSheetJob()
{
    if (_sheetJob.joinable())
        _sheetJob.join();
    _jobSheet = -1;
}

okstat LibXlConnect::computeFingerprints()
{
    waitForSheetJob();
    if (_hashesDone)
        return okstat();
    // Sheets the export moved on from were hashed on the way; the others are hashed here, in
    // one pass over each one's values (read back from its temporary file when it was spilled),
    // shared out between two threads.
    std::vector<std::pair<size_t, const Workbook::SheetData*>> work;
    for (const auto& fp : _fingerprints) {
        const auto known = _sheetIndex.constFind(fp.sheet);
        if (known == _sheetIndex.constEnd())
            continue;
        const size_t index = static_cast<size_t>(known.value());
        if (_sheetHashes[index].isEmpty())
            work.emplace_back(index, _sheets[index].get());
    }
    std::vector<QString> errors(work.size());
    auto hashFrom = [&](size_t first) {
        for (size_t i = first; i < work.size(); i += 2)
            if (!Workbook::Fingerprint::contentHash(
                    *work[i].second, &_sheetHashes[work[i].first], &errors[i]))
                _sheetHashes[work[i].first].clear();
    };
    std::thread second;
    if (work.size() > 1)
        second = std::thread(hashFrom, size_t(1));
    hashFrom(0);
    if (second.joinable())
        second.join();
    for (const QString& e : errors)
        if (!e.isEmpty())
            return e;
    for (auto& fp : _fingerprints) {
        const auto known = _sheetIndex.constFind(fp.sheet);
        if (known != _sheetIndex.constEnd())
            fp.contentHash = _sheetHashes[static_cast<size_t>(known.value())];
    }
    _hashesDone = true;
    return okstat();
}

okstat LibXlConnect::applyFingerprints()
{
    if (!_book)
        return okstat();
    okstat status = computeFingerprints();
    if (status.failed())
        return status;
    // The properties this export writes for its sheets replace those an earlier export wrote;
    // any other property stays, whatever its name begins with.
    QSet<QString> written;
    for (const auto& sheet : _sheets) {
        for (const QString& name : Workbook::Fingerprint::propertyNames(sheet->name()))
            written.insert(name.toCaseFolded());
    }
    Workbook::PropertyChanges changes;
    if (!written.isEmpty())
        changes.drops
            = [written](const QString& name) { return written.contains(name.toCaseFolded()); };
    // The archive's entries carry the export's recorded time, not the clock's: two exports
    // given one time write the same book byte for byte.
    QDateTime exportTime;
    for (const auto& fp : _fingerprints)
        if (_sheetIndex.contains(fp.sheet)) {
            const Workbook::DocProperties properties = fp.properties();
            changes.added.insert(changes.added.end(), properties.begin(), properties.end());
            if (fp.exportTime.isValid() && (!exportTime.isValid() || fp.exportTime > exportTime))
                exportTime = fp.exportTime;
        }
    _book->setPropertyChanges(changes);
    _book->setArchiveTime(exportTime);
    return okstat();
}

okstat LibXlConnect::compareWithPrevious(
    Workbook::WorkbookComparison* comparison, double tolerance, const CompareProgress& progress)
{
    *comparison = Workbook::WorkbookComparison();
    comparison->oldPath = _fileName;
    comparison->newPath = _fileName;
    comparison->tolerance = tolerance;
    if (!_book || !_existed)
        return tr("There is no previous workbook to compare with");
    handOverPending();
    okstat status = computeFingerprints();
    if (status.failed())
        return status;
    QString why;
    const std::unique_ptr<Workbook::WorkbookReader> previous
        = Workbook::WorkbookReader::openFile(_fileName, &why);
    if (!previous)
        return tr("Unable to read the previous workbook \"%1\": %2").arg(_fileName, why);
    const QStringList names = previous->sheetNames();
    const auto hashes = previous->trustedSheetHashes();
    Workbook::WorkbookDiff diff(tolerance);
    const int sheets = static_cast<int>(_sheets.size());
    for (size_t n = 0; n < _sheets.size(); ++n) {
        const Workbook::SheetData& sheet = *_sheets[n];
        if (progress)
            progress(static_cast<int>(n), sheets, 0);
        int index = -1;
        for (int i = 0; i < names.size() && index < 0; ++i)
            if (names.at(i) == sheet.name())
                index = i;
        if (index < 0) {
            Workbook::SheetComparison added;
            added.name = sheet.name();
            added.status = Workbook::SheetComparison::Added;
            comparison->sheets.push_back(added);
            continue;
        }
        const QByteArray oldHash = hashes.value(sheet.name().toLower());
        const auto fp = std::find_if(_fingerprints.begin(), _fingerprints.end(),
            [&](const Workbook::SheetFingerprint& f) { return f.sheet == sheet.name(); });
        if (!oldHash.isEmpty() && fp != _fingerprints.end() && fp->contentHash == oldHash) {
            Workbook::SheetComparison equal;
            equal.name = sheet.name();
            equal.byFingerprint = true;
            comparison->sheets.push_back(equal);
            continue;
        }
        Workbook::SheetTable before;
        Workbook::SheetTable after;
        QString afterError;
        bool afterRead = false;
        std::thread reader([&]() { afterRead = after.fromSheetData(sheet, &afterError); });
        // The sheet this export writes has about as many rows as the one it replaces.
        const int rows = std::max(sheet.usedRows(), 1);
        const bool beforeRead = before.read(*previous, index, &why, _cancel, [&](int row) {
            if (progress)
                progress(static_cast<int>(n), sheets, std::min(row * 1000 / rows, 1000));
        });
        reader.join();
        if (!beforeRead)
            return tr("Unable to read the sheet \"%1\" of the previous workbook: %2")
                .arg(sheet.name(), why);
        if (!afterRead)
            return afterError;
        comparison->sheets.push_back(diff.compareTables(sheet.name(), before, after));
    }
    return okstat();
}
