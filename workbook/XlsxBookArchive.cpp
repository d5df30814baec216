#include "XlsxBook.h"

#include "SheetData.h"
#include "XlsxSheetDeflater.h"
#include "XlsxSheetStream.h"
#include "XmlSplice.h"

#include <QThread>

#include <algorithm>

// How a save writes the archive: the sheets compressed on the deflater's threads (some while
// the export still runs), then the edited parts and the sheets handed to libzip, which copies
// every other entry unchanged.

namespace Workbook {

namespace {

// The share of a save spent compressing the sheets, in thousandths; writing the archive is the
// rest.
const int CompressingPermille = 900;

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
    return done;
}

bool XlsxBook::writeArchive(const QMap<QString, QByteArray>& changed, const QStringList& deleted,
    const std::vector<SheetPart>& sheets, QString* error)
{
    OpcPackage::Changes changes;
    changes.removed = deleted;
    changes.parts = changed;
    // The sheets come compressed already (see compressSheets()).
    for (const auto& sheet : sheets)
        changes.streamed.emplace_back(sheet.part, [this, &sheet](zip_t* archive) {
            return _deflater->makeSource(archive, sheet.data, sheet.tabSelected);
        });
    const int sheetCount = static_cast<int>(sheets.size());
    changes.progress = [this, sheetCount](double fraction) {
        SaveProgress progress;
        progress.sheets = sheetCount;
        progress.sheetsDone = sheetCount;
        progress.permille = CompressingPermille
            + static_cast<int>((1000 - CompressingPermille) * std::min(fraction, 1.0));
        reportSaveProgress(progress);
    };
    changes.cancel = _closeCancel;
    if (_archiveTime.isValid())
        changes.entryTime = _archiveTime.toSecsSinceEpoch();
    return _package.commit(changes, error);
}

} // namespace Workbook
