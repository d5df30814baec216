#include "XlsxBook.h"

#include "SheetData.h"
#include "XlsxSheetDeflater.h"
#include "XlsxSheetStream.h"
#include "XmlSplice.h"

#include <QFile>
#include <QThread>

#include <cstdlib>
#include <cstring>

// How a save writes the archive: the sheets compressed on the deflater's threads (some while
// the export still runs), then the edited parts and the sheets handed to libzip, which copies
// every other entry unchanged.

namespace TARN {

namespace {

// The share of a save spent compressing the sheets, in thousandths; writing the archive is the
// rest.
const int CompressingPermille = 900;

QString zipError(zip_t* zip)
{
    return QString::fromLocal8Bit(zip_error_strerror(zip_get_error(zip)));
}

} // namespace

int XlsxBook::threadCount() const
{
    return _threads > 0 ? _threads : std::max(QThread::idealThreadCount(), 1);
}

bool XlsxBook::takeCompleteSheet(SheetData* sheet)
{
    if (!_deflater) {
        // The cell formats are those the save will find or add; a book whose styles can't be
        // read fails at the save, which then says why.
        XmlPart styles;
        QString stylesPart;
        bool newStylesPart = false;
        XlsxCellStyles cellStyles;
        QString ignored;
        if (!editStyles(&styles, &stylesPart, &newStylesPart, &cellStyles, &ignored))
            return false;
        _deflater = std::make_unique<XlsxSheetDeflater>(cellStyles, threadCount(), _blockCells);
    }
    releaseCompressed();
    // One sheet's values in memory is enough to keep the threads busy: while one is being
    // compressed from memory, a sheet that is complete as well waits in its file.
    if (_deflater->compressingInMemory()) {
        QString ignored; // a sheet that can't be spilled is compressed from memory
        sheet->spill(&ignored);
    }
    _deflater->add(sheet);
    _taken.push_back(sheet);
    return true;
}

void XlsxBook::releaseCompressed()
{
    for (SheetData* sheet : _taken) {
        if (sheet->released() || !_deflater->isDone(sheet))
            continue;
        QString ignored; // a sheet that can't be moved to a file stays in memory
        if (!_keepCompressedValues)
            sheet->releaseValues();
        else if (!sheet->spilled())
            sheet->spill(&ignored);
    }
}

bool XlsxBook::compressSheets(const std::vector<NewSheet>& sheets, const XlsxCellStyles& styles,
    const std::atomic_bool* cancel, QString* error)
{
    if (_deflater) {
        const XlsxCellStyles& made = _deflater->styles();
        if (made.header != styles.header || made.date != styles.date || made.number != styles.number
            || made.missing != styles.missing) {
            *error = QStringLiteral("the workbook's cell formats changed during the export");
            return false;
        }
    } else {
        _deflater = std::make_unique<XlsxSheetDeflater>(styles, threadCount(), _blockCells);
    }
    for (const auto& sheet : sheets)
        if (!_deflater->contains(sheet.data))
            _deflater->add(sheet.data);
    // Compressing is most of a save; writing the archive, which copies what is compressed
    // and the untouched parts, the rest.
    const bool done = _deflater->finish(
        cancel,
        [this](const XlsxSheetDeflater::Progress& made) {
            SaveProgress progress;
            progress.sheets = made.sheets;
            progress.sheetsDone = made.sheetsDone;
            progress.sheetName = made.current;
            progress.permille = made.blocks > 0
                ? static_cast<int>(CompressingPermille * made.blocksDone / made.blocks)
                : CompressingPermille;
            reportSaveProgress(progress);
        },
        error);
    if (done)
        releaseCompressed();
    _closeCancel = cancel;
    _closeSheets = static_cast<int>(sheets.size());
    return done;
}

void XlsxBook::watchClose(zip_t* zip)
{
    zip_register_progress_callback_with_state(
        zip, 0.001,
        [](zip_t*, double fraction, void* state) {
            const auto* book = static_cast<const XlsxBook*>(state);
            SaveProgress progress;
            progress.sheets = book->_closeSheets;
            progress.sheetsDone = book->_closeSheets;
            progress.permille = CompressingPermille
                + static_cast<int>((1000 - CompressingPermille) * std::min(fraction, 1.0));
            book->reportSaveProgress(progress);
        },
        nullptr, this);
    zip_register_cancel_callback_with_state(
        zip,
        [](zip_t*, void* state) {
            const auto* cancel = static_cast<const XlsxBook*>(state)->_closeCancel;
            return cancel && cancel->load() ? 1 : 0;
        },
        nullptr, this);
}

bool XlsxBook::writeArchive(const QMap<QString, QByteArray>& changed, const QStringList& deleted,
    const std::vector<SheetPart>& sheets, QString* error)
{
    const QByteArray path = QFile::encodeName(_path);
    zip_t* zip = _zip;
    if (!zip) {
        int code = 0;
        zip = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        if (!zip) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, code);
            *error = QString::fromLocal8Bit(zip_error_strerror(&ze));
            zip_error_fini(&ze);
            return false;
        }
    }
    _zip = nullptr; // closed or discarded below, either way
    auto fail = [&](const QString& text) {
        *error = text;
        zip_discard(zip);
        return false;
    };
    for (const auto& name : deleted) {
        const zip_int64_t index = zip_name_locate(zip, name.toUtf8().constData(), 0);
        if (index >= 0 && zip_delete(zip, static_cast<zip_uint64_t>(index)) != 0)
            return fail(zipError(zip));
    }
    // The template parts of a new book, then the edited parts.
    QMap<QString, QByteArray> parts = _templateParts;
    for (auto it = changed.begin(); it != changed.end(); ++it)
        parts.insert(it.key(), it.value());
    for (auto it = parts.begin(); it != parts.end(); ++it) {
        const QByteArray& data = it.value();
        void* copy = std::malloc(static_cast<size_t>(std::max(data.size(), 1)));
        std::memcpy(copy, data.constData(), static_cast<size_t>(data.size()));
        zip_source_t* source
            = zip_source_buffer(zip, copy, static_cast<zip_uint64_t>(data.size()), 1);
        if (!source) {
            std::free(copy);
            return fail(zipError(zip));
        }
        const zip_int64_t index
            = zip_name_locate(zip, it.key().toUtf8().constData(), ZIP_FL_NOCASE);
        const bool ok = index >= 0
            ? zip_file_replace(zip, static_cast<zip_uint64_t>(index), source, 0) == 0
            : zip_file_add(zip, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) >= 0;
        if (!ok) {
            zip_source_free(source);
            return fail(zipError(zip));
        }
    }
    // The sheets come compressed already (see compressSheets()).
    for (const auto& sheet : sheets) {
        zip_source_t* source = _deflater->makeSource(zip, sheet.data, sheet.tabSelected);
        if (!source)
            return fail(zipError(zip));
        const zip_int64_t index = zip_file_add(
            zip, sheet.part.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
            return fail(zipError(zip));
        }
    }
    watchClose(zip);
    if (zip_close(zip) != 0)
        return fail(zipError(zip));
    return true;
}

} // namespace TARN
