#include "XlsBook.h"

#include "CellFormat.h"
#include "SheetData.h"
#include "SheetFingerprint.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <zlib.h>

#include <cmath>

namespace TARN {

using namespace Biff;

namespace {

const QString DateFormatCode = QStringLiteral("m/yyyy");
const int TextFormat = 49;
const int MaxXfs = 4050;

} // namespace

void XlsBook::create(const QString& path)
{
    _path = path;
    _file = CompoundFile();
    _stream = newGlobals();
    QString error;
    parse(&error);
}

bool XlsBook::load(const QString& path, QString* error)
{
    _path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!_file.read(file.readAll(), error))
        return false;
    const CompoundFile::Entry* workbook = _file.stream(QStringLiteral("Workbook"));
    if (!workbook) {
        *error = _file.stream(QStringLiteral("Book"))
            ? QStringLiteral("the workbook is in the Excel 5.0/95 format, which can't be updated; "
                             "please save it in a newer format first")
            : QStringLiteral("the file holds no workbook");
        return false;
    }
    _stream = workbook->data;
    return parse(error);
}

bool XlsBook::parse(QString* error)
{
    _globals.clear();
    _sheets.clear();
    if (!readSubstream(_stream, 0, &_globals) || _globals.empty() || _globals.front().type != Bof) {
        *error = QStringLiteral("the workbook stream is damaged");
        return false;
    }
    if (_globals.front().length < 2 || get16(_stream, _globals.front().dataOffset()) != 0x0600) {
        *error = QStringLiteral(
            "the workbook is not in the Excel 97-2003 format, which can't be updated; "
            "please save it in a newer format first");
        return false;
    }
    for (size_t i = 0; i < _globals.size(); ++i) {
        const Record& r = _globals[i];
        if (r.type == FilePass) {
            *error = QStringLiteral(
                "the workbook is encrypted (password protected), which can't be updated");
            return false;
        }
        if (r.type == BoundSheet) {
            Sheet sheet;
            const QByteArray data = _stream.mid(r.dataOffset(), r.length);
            sheet.name = readUnicodeString(data, 6, true);
            sheet.boundSheet = static_cast<int>(i);
            sheet.start = static_cast<int>(get32(data, 0));
            std::vector<Record> records;
            if (!readSubstream(_stream, sheet.start, &records) || records.front().type != Bof) {
                *error = QStringLiteral("the sheet \"%1\" is damaged").arg(sheet.name);
                return false;
            }
            sheet.end = records.back().end();
            _sheets.push_back(sheet);
        }
    }
    return true;
}

QStringList XlsBook::sheetNames() const
{
    QStringList names;
    for (const auto& sheet : _sheets)
        names.append(sheet.name);
    return names;
}

bool XlsBook::build(const std::vector<NewSheet>& newSheets, const std::atomic_bool* cancel,
    QByteArray* outStream, std::vector<std::pair<int, int>>* newRanges, QString* error) const
{
    newRanges->assign(newSheets.size(), { 0, 0 });
    const int oldCount = static_cast<int>(_sheets.size());
    std::vector<int> newIndex(static_cast<size_t>(oldCount), -1);
    std::vector<bool> removed(static_cast<size_t>(oldCount), false);
    for (const auto& s : newSheets)
        if (s.replaces >= 0 && s.replaces < oldCount)
            removed[static_cast<size_t>(s.replaces)] = true;
    int kept = 0;
    for (int i = 0; i < oldCount; ++i)
        if (!removed[static_cast<size_t>(i)])
            newIndex[static_cast<size_t>(i)] = kept++;
    for (size_t n = 0; n < newSheets.size(); ++n)
        if (newSheets[n].replaces >= 0 && newSheets[n].replaces < oldCount)
            newIndex[static_cast<size_t>(newSheets[n].replaces)] = kept + static_cast<int>(n);
    const int newCount = kept + static_cast<int>(newSheets.size());
    auto mapSheet = [&](int old) {
        return old >= 0 && old < oldCount ? newIndex[static_cast<size_t>(old)] : old;
    };
    auto data = [&](const Record& r) { return _stream.mid(r.dataOffset(), r.length); };

    // Number format, cell formats and strings the new sheets need.
    int lastFormat = -1, lastXf = -1, firstXf = -1, lastBoundSheet = -1, sst = -1, supBookSelf = -1;
    int dateFormat = -1;
    int maxFormat = 163;
    int xfCount = 0;
    int supBooks = 0;
    std::vector<QByteArray> xfRecords;
    for (size_t i = 0; i < _globals.size(); ++i) {
        const Record& r = _globals[i];
        if (r.type == Format) {
            lastFormat = static_cast<int>(i);
            const QByteArray d = data(r);
            const int id = get16(d, 0);
            maxFormat = std::max(maxFormat, id);
            if (dateFormat < 0 && readUnicodeString(d, 2, false) == DateFormatCode)
                dateFormat = id;
        } else if (r.type == Xf) {
            if (firstXf < 0)
                firstXf = static_cast<int>(i);
            lastXf = static_cast<int>(i);
            xfRecords.push_back(data(r));
            ++xfCount;
        } else if (r.type == BoundSheet) {
            lastBoundSheet = static_cast<int>(i);
        } else if (r.type == Sst && sst < 0) {
            sst = static_cast<int>(i);
        } else if (r.type == SupBook) {
            const QByteArray d = data(r);
            if (d.size() == 4 && get16(d, 2) == 0x0401)
                supBookSelf = supBooks;
            ++supBooks;
        }
    }
    QByteArray newFormat;
    if (dateFormat < 0) {
        dateFormat = maxFormat + 1;
        newFormat = le16(static_cast<quint16>(dateFormat)) + unicodeString(DateFormatCode);
    }
    const QByteArray wanted[3] = { xf(TextFormat, 2, false),
        xf(static_cast<quint16>(dateFormat), 0, false), xf(0, 0, false) };
    int xfIndex[3];
    std::vector<QByteArray> addedXfs;
    for (int k = 0; k < 3; ++k) {
        xfIndex[k] = -1;
        for (size_t x = 0; x < xfRecords.size() && xfIndex[k] < 0; ++x)
            if (xfRecords[x] == wanted[k])
                xfIndex[k] = static_cast<int>(x);
        if (xfIndex[k] < 0) {
            xfIndex[k] = xfCount + static_cast<int>(addedXfs.size());
            addedXfs.push_back(wanted[k]);
        }
    }
    if (xfCount + static_cast<int>(addedXfs.size()) > MaxXfs) {
        *error = QStringLiteral("the workbook has too many cell formats");
        return false;
    }

    quint32 sstTotal = 0;
    std::vector<SstString> strings;
    if (sst >= 0) {
        std::vector<QByteArray> blocks { data(_globals[static_cast<size_t>(sst)]) };
        for (size_t i = static_cast<size_t>(sst) + 1;
             i < _globals.size() && _globals[i].type == Continue; ++i)
            blocks.push_back(data(_globals[i]));
        if (!parseSst(blocks, &sstTotal, &strings)) {
            *error = QStringLiteral("the shared strings of the workbook are damaged");
            return false;
        }
    }
    QHash<QString, int> stringIndex;
    for (size_t i = 0; i < strings.size(); ++i)
        if (strings[i].runCount == 0 && !strings[i].hasExt
            && !stringIndex.contains(strings[i].text))
            stringIndex.insert(strings[i].text, static_cast<int>(i));
    auto internString = [&](const QString& text) {
        ++sstTotal;
        const auto it = stringIndex.constFind(text);
        if (it != stringIndex.constEnd())
            return it.value();
        SstString s;
        s.text = text;
        strings.push_back(s);
        stringIndex.insert(text, static_cast<int>(strings.size()) - 1);
        return static_cast<int>(strings.size()) - 1;
    };

    // The active sheet keeps its place; when it is replaced, its replacement becomes active.
    int newActive = 0;
    for (const auto& r : _globals)
        if (r.type == Window1 && r.length >= 18) {
            newActive = mapSheet(get16(_stream, r.dataOffset() + 10));
            break;
        }
    if (newActive < 0 || newActive >= newCount)
        newActive = 0;

    // The new sheets' substreams, with string indices; their positions are fixed up below.
    std::vector<QByteArray> sheetStreams;
    for (size_t n = 0; n < newSheets.size(); ++n) {
        const SheetData& sheet = *newSheets[n].data;
        QByteArray s;
        appendRecord(s, Bof, bof(0x0010));
        appendRecord(s, WsBool, le16(0x04C1));
        QByteArray dim(14, '\0');
        put32(dim, 4, static_cast<quint32>(sheet.usedRows()));
        put16(dim, 10, static_cast<quint16>(sheet.usedColumns()));
        appendRecord(s, Dimensions, dim);
        auto text = [&](int row, int col, int style, const QString& t) {
            QByteArray d(10, '\0');
            put16(d, 0, static_cast<quint16>(row));
            put16(d, 2, static_cast<quint16>(col));
            put16(d, 4, static_cast<quint16>(style));
            put32(d, 6, static_cast<quint32>(internString(t)));
            appendRecord(s, LabelSst, d);
        };
        auto number = [&](int row, int col, int style, double v) {
            if (!std::isfinite(v)) {
                text(row, col, xfIndex[2], QStringLiteral("NaN"));
                return;
            }
            QByteArray d(6, '\0');
            put16(d, 0, static_cast<quint16>(row));
            put16(d, 2, static_cast<quint16>(col));
            put16(d, 4, static_cast<quint16>(style));
            appendRecord(s, Number, d + leDouble(v == 0.0 ? 0.0 : v));
        };
        for (int c = 0; c < sheet.columnCount(); ++c)
            text(0, c + 1, xfIndex[0], sheet.header(c));
        const int rows = sheet.usedRows();
        SheetData::RowCursor cursor(sheet);
        for (int row = 1; row < rows; ++row) {
            if (cancel && cancel->load()) {
                *error = QStringLiteral("the export was cancelled");
                return false;
            }
            if (!cursor.seek(row - 1, error))
                return false;
            const size_t i = static_cast<size_t>(row - 1);
            if (i < sheet.dates().size()) {
                const QDate& date = sheet.dates()[i];
                const int serial = XlCell::serialOf(date);
                if (serial > 0)
                    number(row, 0, xfIndex[1], serial);
                else if (date.isValid())
                    text(row, 0, xfIndex[1], XlCell::dateText(date));
            }
            for (int c = 0; c < sheet.columnCount(); ++c)
                if (cursor.has(c))
                    number(row, c + 1, xfIndex[2], cursor.value(c));
        }
        QByteArray window(18, '\0');
        // Selected (and shown) only when it is the active sheet.
        put16(window, 0, kept + static_cast<int>(n) == newActive ? 0x06B6 : 0x00B6);
        put16(window, 6, 0x0040);
        appendRecord(s, Window2, window);
        appendRecord(s, Eof, QByteArray());
        sheetStreams.push_back(s);
    }

    // Globals.
    std::vector<bool> inSst(_globals.size(), false);
    for (size_t i = sst >= 0 ? static_cast<size_t>(sst) : _globals.size(); i < _globals.size();
         ++i) {
        if (static_cast<int>(i) != sst && _globals[i].type != Continue)
            break;
        inSst[i] = true;
    }
    QByteArray out;
    std::vector<int> boundSheetAt; // stream offsets of the BOUNDSHEET records, in sheet order
    std::vector<int> boundSheetOf; // old sheet index or -(n + 1) for new sheet n
    QHash<int, int> oldSheetOfRecord;
    for (int i = 0; i < oldCount; ++i)
        oldSheetOfRecord.insert(_sheets[static_cast<size_t>(i)].boundSheet, i);
    int maxTabId = 0;
    // A book without sheets gets them where they belong, before the links, names and strings.
    int sheetsBefore = -1;
    if (lastBoundSheet < 0)
        for (size_t i = static_cast<size_t>(std::max(lastXf, 0));
             i < _globals.size() && sheetsBefore < 0; ++i) {
            const quint16 t = _globals[i].type;
            if (t == Country || t == SupBook || t == ExternSheet || t == Name || t == Sst
                || t == Eof)
                sheetsBefore = static_cast<int>(i);
        }
    auto addNewBoundSheets = [&]() {
        for (size_t n = 0; n < newSheets.size(); ++n) {
            boundSheetAt.push_back(out.size());
            boundSheetOf.push_back(-static_cast<int>(n) - 1);
            appendRecord(out, BoundSheet,
                le32(0) + QByteArray(2, '\0') + shortUnicodeString(newSheets[n].data->name()));
        }
    };
    for (size_t i = 0; i < _globals.size(); ++i) {
        const Record& r = _globals[i];
        QByteArray d = data(r);
        const int ii = static_cast<int>(i);
        if (ii == sheetsBefore)
            addNewBoundSheets();
        if (r.type == Format && ii == lastFormat && !newFormat.isEmpty()) {
            appendRecord(out, r.type, d);
            appendRecord(out, Format, newFormat);
            continue;
        }
        if (r.type == Xf && ii == firstXf && lastFormat < 0 && !newFormat.isEmpty())
            appendRecord(out, Format, newFormat);
        if (r.type == Xf && ii == lastXf) {
            appendRecord(out, r.type, d);
            for (const auto& x : addedXfs)
                appendRecord(out, Xf, x);
            continue;
        }
        if (r.type == Window1 && d.size() >= 18) {
            const int firstTab = get16(d, 12);
            const int active = newActive;
            int first = std::min(std::max(mapSheet(firstTab), 0), std::max(newCount - 1, 0));
            put16(d, 10, static_cast<quint16>(active));
            put16(d, 12, static_cast<quint16>(std::min(first, active)));
            put16(d, 14, 1);
            appendRecord(out, r.type, d);
            continue;
        }
        if (r.type == TabId) {
            QByteArray ids;
            for (int k = 0; k + 1 < d.size(); k += 2)
                maxTabId = std::max<int>(maxTabId, get16(d, k));
            for (int k = 0; k < oldCount; ++k)
                if (!removed[static_cast<size_t>(k)] && 2 * k + 1 < d.size())
                    ids += d.mid(2 * k, 2);
            for (size_t n = 0; n < newSheets.size(); ++n)
                ids += le16(static_cast<quint16>(++maxTabId));
            appendRecord(out, r.type, ids);
            continue;
        }
        if (r.type == BoundSheet) {
            const int old = oldSheetOfRecord.value(ii, -1);
            if (old >= 0 && !removed[static_cast<size_t>(old)]) {
                boundSheetAt.push_back(out.size());
                boundSheetOf.push_back(old);
                appendRecord(out, r.type, d);
            }
            if (ii == lastBoundSheet)
                addNewBoundSheets();
            continue;
        }
        if (r.type == SupBook && d.size() == 4 && get16(d, 2) == 0x0401) {
            put16(d, 0, static_cast<quint16>(newCount));
            appendRecord(out, r.type, d);
            continue;
        }
        if (r.type == ExternSheet && d.size() >= 2) {
            const int count = get16(d, 0);
            for (int k = 0; k < count && 2 + 6 * k + 6 <= d.size(); ++k) {
                const int at = 2 + 6 * k;
                if (get16(d, at) != supBookSelf)
                    continue;
                for (int f = 2; f <= 4; f += 2) {
                    const int tab = static_cast<qint16>(get16(d, at + f));
                    if (tab >= 0)
                        put16(d, at + f, static_cast<quint16>(std::max(mapSheet(tab), 0)));
                }
            }
            appendRecord(out, r.type, d);
            continue;
        }
        if (r.type == Name && d.size() >= 10) {
            const int itab = get16(d, 8);
            if (itab > 0 && itab <= oldCount)
                put16(d, 8, static_cast<quint16>(mapSheet(itab - 1) + 1));
            appendRecord(out, r.type, d);
            continue;
        }
        if (inSst[i]) {
            if (r.type == Sst)
                writeSst(out, sstTotal, strings);
            continue;
        }
        if (r.type == ExtSst)
            continue; // written with the SST
        if (r.type == Eof) {
            if (sst < 0 && !strings.empty())
                writeSst(out, sstTotal, strings);
            appendRecord(out, r.type, d);
            continue;
        }
        appendRecord(out, r.type, d);
    }

    // Sheets: the kept ones copied, with their INDEX positions moved, then the new ones.
    for (size_t b = 0; b < boundSheetAt.size(); ++b) {
        const int position = out.size();
        put32(out, boundSheetAt[b] + 4, static_cast<quint32>(position));
        if (boundSheetOf[b] >= 0) {
            const Sheet& sheet = _sheets[static_cast<size_t>(boundSheetOf[b])];
            QByteArray copy = _stream.mid(sheet.start, sheet.end - sheet.start);
            const qint64 delta = qint64(position) - sheet.start;
            std::vector<Record> records;
            readSubstream(copy, 0, &records);
            for (const auto& r : records) {
                if (r.type != Index || r.length < 16)
                    continue;
                put32(copy, r.dataOffset() + 12,
                    static_cast<quint32>(get32(copy, r.dataOffset() + 12) + delta));
                for (int k = 16; k + 4 <= r.length; k += 4)
                    put32(copy, r.dataOffset() + k,
                        static_cast<quint32>(get32(copy, r.dataOffset() + k) + delta));
                break;
            }
            out += copy;
        } else {
            const size_t n = static_cast<size_t>(-boundSheetOf[b] - 1);
            (*newRanges)[n] = { position, static_cast<int>(sheetStreams[n].size()) };
            out += sheetStreams[n];
        }
    }
    *outStream = out;
    return true;
}

bool XlsBook::applyPropertyChanges(
    CompoundFile& file, const PropertyChanges& changes, QString* error) const
{
    if (changes.empty())
        return true;
    CompoundFile::Entry* summary = file.stream(SummaryInformation::StreamName);
    if (!summary && changes.added.empty())
        return true;
    QByteArray updated;
    bool modified = false;
    if (!SummaryInformation::update(
            summary ? summary->data : QByteArray(), changes, &updated, &modified, error))
        return false;
    if (!modified)
        return true;
    if (!summary) {
        CompoundFile::Entry entry;
        entry.name = SummaryInformation::StreamName;
        file.root().children.push_back(entry);
        summary = &file.root().children.back();
    }
    summary->data = updated;
    return true;
}

bool XlsBook::save(
    const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel, QString* error)
{
    QByteArray stream;
    std::vector<std::pair<int, int>> ranges;
    if (!build(sheets, cancel, &stream, &ranges, error))
        return false;
    // Each new sheet's substream is recorded beside its content hash, so that a later
    // comparison can tell whether the sheet is still the one written.
    PropertyChanges properties = _propertyChanges;
    for (size_t n = 0; n < sheets.size(); ++n) {
        const auto& range = ranges[n];
        const uLong crc = crc32_z(crc32_z(0, nullptr, 0),
            reinterpret_cast<const Bytef*>(stream.constData() + range.first),
            static_cast<size_t>(range.second));
        Fingerprint::addPartSignature(properties, sheets[n].data->name(),
            Fingerprint::partSignatureText(
                static_cast<uint32_t>(crc), static_cast<uint64_t>(range.second)));
    }
    CompoundFile file = _file;
    if (!applyPropertyChanges(file, properties, error))
        return false;
    CompoundFile::Entry* workbook = file.stream(QStringLiteral("Workbook"));
    if (!workbook) {
        CompoundFile::Entry entry;
        entry.name = QStringLiteral("Workbook");
        file.root().children.push_back(entry);
        workbook = &file.root().children.back();
    }
    // Small streams would go to the mini stream, where some readers don't look for the
    // workbook; padding is harmless after the last EOF.
    if (stream.size() < 4096)
        stream.append(QByteArray(4096 - stream.size(), '\0'));
    workbook->data = stream;
    const QByteArray bytes = file.write();
    if (cancel && cancel->load()) {
        *error = QStringLiteral("the export was cancelled");
        return false;
    }
    QSaveFile out(_path);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < bytes.size()) {
        // In pieces, so that a cancel can come in between.
        if (cancel && cancel->load()) {
            out.cancelWriting();
            *error = QStringLiteral("the export was cancelled");
            return false;
        }
        const qint64 n = out.write(
            bytes.constData() + written, std::min<qint64>(bytes.size() - written, 1 << 20));
        if (n <= 0) {
            *error = out.errorString();
            out.cancelWriting();
            return false;
        }
        written += n;
    }
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

} // namespace TARN
