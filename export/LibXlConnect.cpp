#include "LibXlConnect.h"

#include "CellFormat.h"
#include "SheetData.h"
#include "XlsBook.h"
#include "XlsxBook.h"

#include <QFile>
#include <QFileInfo>

using TARN::okstat;

LibXlConnect::LibXlConnect() = default;

LibXlConnect::~LibXlConnect()
{
    release(); // the book may be reading the sheets on its threads: it goes first
}

void LibXlConnect::release()
{
    _book.reset();
    _fileName.clear();
    _sheets.clear();
    _replaces.clear();
    _complete.clear();
    _sheetIndex.clear();
    _current = -1;
}

okstat LibXlConnect::open(const QString& fileName)
{
    release();
    const bool exists = QFileInfo::exists(fileName);
    if (!exists) {
        QFile probe(fileName);
        if (!probe.open(QIODevice::WriteOnly))
            return tr("The workbook \"%1\" doesn't exist and can't be created: %2")
                .arg(fileName, probe.errorString());
        probe.close();
        probe.remove();
    }

    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("xlsx") || suffix == QLatin1String("xlsm")) {
        auto book = std::make_unique<TARN::XlsxBook>();
        if (exists) {
            QString error;
            if (!book->load(fileName, &error))
                return tr("Error loading the workbook \"%1\": %2").arg(fileName, error);
        } else {
            book->create(fileName, suffix == QLatin1String("xlsm"));
        }
        book->setThreadCount(_threads);
        book->setBlockCells(_blockCells);
        _book = std::move(book);
    } else if (suffix == QLatin1String("xls")) {
        auto book = std::make_unique<TARN::XlsBook>();
        if (exists) {
            QString error;
            if (!book->load(fileName, &error))
                return tr("Error loading the workbook \"%1\": %2").arg(fileName, error);
        } else {
            book->create(fileName);
        }
        _book = std::move(book);
    } else {
        return tr("Unsupported workbook type");
    }
    _fileName = fileName;
    return okstat();
}

okstat LibXlConnect::sheet(const QString& name, TARN::SheetData** sheet)
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
    const QString problem = TARN::XlCell::sheetNameProblem(name);
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

    _sheets.push_back(std::make_unique<TARN::SheetData>(name));
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
    TARN::SheetData* target = nullptr;
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
        // Moving on: the sheet left behind is most likely complete.
        TARN::SheetData* left = _sheets[static_cast<size_t>(_current)].get();
        QString ignored; // a sheet that can't be spilled stays in memory
        if (left->valueTotal() >= _spillThreshold)
            left->spill(&ignored);
    }
    _current = index;
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
    const auto index = static_cast<size_t>(known.value());
    TARN::SheetData* target = _sheets[index].get();
    if (_complete[index])
        return okstat();
    if (!_book->takeCompleteSheet(target)) {
        // The book has no use for it before the save: it waits in a file, if it is large.
        QString ignored;
        if (target->valueTotal() >= _spillThreshold)
            target->spill(&ignored);
    }
    _complete[index] = true;
    return okstat();
}

void LibXlConnect::setSaveProgressHandler(std::function<void(const TARN::SaveProgress&)> handler)
{
    _saveProgress = std::move(handler);
}

okstat LibXlConnect::save()
{
    if (!_book)
        return tr("Error saving the workbook \"%1\": %2").arg(_fileName, tr("no workbook is open"));
    // A book needs at least one sheet.
    if (_sheets.empty() && _book->sheetNames().isEmpty()) {
        _sheets.push_back(std::make_unique<TARN::SheetData>(QStringLiteral("Sheet1")));
        _replaces.push_back(-1);
        _complete.push_back(false);
    }
    std::vector<TARN::NewSheet> sheets;
    for (size_t i = 0; i < _sheets.size(); ++i)
        sheets.push_back({ _sheets[i].get(), _replaces[i] });
    QString error;
    _book->setSaveProgressHandler(_saveProgress);
    const bool saved = _book->save(sheets, _cancel, &error);
    const QString fileName = _fileName;
    release();
    if (!saved)
        return tr("Error saving the workbook \"%1\": %2").arg(fileName, error);
    return okstat();
}
