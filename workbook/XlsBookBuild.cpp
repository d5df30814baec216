#include "XlsBook.h"

#include "CellFormat.h"
#include "SheetData.h"
#include "SheetLayout.h"

#include <QHash>

#include <cmath>

// How a save builds the new Workbook stream, step by step: find what the globals hold, choose
// the cell formats and the strings the new sheets need, write the new sheets' substreams, copy
// the globals with the sheet list and every sheet position brought up to date, and lay the kept
// and the new sheets out behind them.

namespace Workbook {

using namespace Biff;

namespace {

const QString DateFormatCode = QStringLiteral("m/yyyy");
const int TextFormat = 49;
const int MaxXfs = 4050;

} // namespace

class XlsBook::Build {
public:
    Build(
        const XlsBook& book, const std::vector<NewSheet>& newSheets, const std::atomic_bool* cancel)
        : _book(book)
        , _newSheets(newSheets)
        , _cancel(cancel)
        , _layout(static_cast<int>(book._sheets.size()), newSheets)
    {
    }

    bool run(QByteArray* outStream, std::vector<std::pair<int, int>>* newRanges, QString* error)
    {
        newRanges->assign(_newSheets.size(), { 0, 0 });
        scanGlobals();
        if (!chooseCellFormats(error) || !readStrings(error))
            return false;
        findActiveSheet();
        if (!writeNewSheets(error))
            return false;
        writeGlobals();
        appendSheets(newRanges);
        *outStream = _out;
        return true;
    }

private:
    QByteArray data(const Record& r) const { return _book._stream.mid(r.dataOffset(), r.length); }
    const std::vector<Record>& globals() const { return _book._globals; }

    // Where the records the save changes or adds to are, and the formats already there.
    void scanGlobals()
    {
        for (size_t i = 0; i < globals().size(); ++i) {
            const Record& r = globals()[i];
            if (r.type == Format) {
                _lastFormat = static_cast<int>(i);
                const QByteArray d = data(r);
                const int id = get16(d, 0);
                _maxFormat = std::max(_maxFormat, id);
                if (_dateFormat < 0 && readUnicodeString(d, 2, false) == DateFormatCode)
                    _dateFormat = id;
            } else if (r.type == Xf) {
                if (_firstXf < 0)
                    _firstXf = static_cast<int>(i);
                _lastXf = static_cast<int>(i);
                _xfRecords.push_back(data(r));
            } else if (r.type == BoundSheet) {
                _lastBoundSheet = static_cast<int>(i);
            } else if (r.type == Sst && _sst < 0) {
                _sst = static_cast<int>(i);
            } else if (r.type == SupBook) {
                const QByteArray d = data(r);
                if (d.size() == 4 && get16(d, 2) == 0x0401)
                    _supBookSelf = _supBooks;
                ++_supBooks;
            }
        }
    }

    // The number format "m/yyyy" and the header, date and number cell formats: those of an
    // earlier export when the book has them, otherwise added.
    bool chooseCellFormats(QString* error)
    {
        if (_dateFormat < 0) {
            _dateFormat = _maxFormat + 1;
            _newFormat = le16(static_cast<quint16>(_dateFormat)) + unicodeString(DateFormatCode);
        }
        const QByteArray wanted[3] = { xf(TextFormat, 2, false),
            xf(static_cast<quint16>(_dateFormat), 0, false), xf(0, 0, false) };
        const int xfCount = static_cast<int>(_xfRecords.size());
        for (int k = 0; k < 3; ++k) {
            _xfIndex[k] = -1;
            for (size_t x = 0; x < _xfRecords.size() && _xfIndex[k] < 0; ++x)
                if (_xfRecords[x] == wanted[k])
                    _xfIndex[k] = static_cast<int>(x);
            if (_xfIndex[k] < 0) {
                _xfIndex[k] = xfCount + static_cast<int>(_addedXfs.size());
                _addedXfs.push_back(wanted[k]);
            }
        }
        if (xfCount + static_cast<int>(_addedXfs.size()) > MaxXfs) {
            *error = QStringLiteral("the workbook has too many cell formats");
            return false;
        }
        return true;
    }

    // The shared strings the book has, which the new sheets' texts join.
    bool readStrings(QString* error)
    {
        if (_sst >= 0) {
            std::vector<QByteArray> blocks { data(globals()[static_cast<size_t>(_sst)]) };
            for (size_t i = static_cast<size_t>(_sst) + 1;
                 i < globals().size() && globals()[i].type == Continue; ++i)
                blocks.push_back(data(globals()[i]));
            if (!parseSst(blocks, &_sstTotal, &_strings)) {
                *error = QStringLiteral("the shared strings of the workbook are damaged");
                return false;
            }
        }
        for (size_t i = 0; i < _strings.size(); ++i)
            if (_strings[i].runCount == 0 && !_strings[i].hasExt
                && !_stringIndex.contains(_strings[i].text))
                _stringIndex.insert(_strings[i].text, static_cast<int>(i));
        return true;
    }

    int internString(const QString& text)
    {
        ++_sstTotal;
        const auto it = _stringIndex.constFind(text);
        if (it != _stringIndex.constEnd())
            return it.value();
        SstString s;
        s.text = text;
        _strings.push_back(s);
        _stringIndex.insert(text, static_cast<int>(_strings.size()) - 1);
        return static_cast<int>(_strings.size()) - 1;
    }

    // The active sheet keeps its place; when it is replaced, its replacement becomes active.
    void findActiveSheet()
    {
        for (const auto& r : globals())
            if (r.type == Window1 && r.length >= 18) {
                _newActive = _layout.map(get16(_book._stream, r.dataOffset() + 10));
                break;
            }
        if (_newActive < 0 || _newActive >= _layout.newCount)
            _newActive = 0;
    }

    void appendText(QByteArray& s, int row, int col, int style, const QString& t)
    {
        QByteArray d(10, '\0');
        put16(d, 0, static_cast<quint16>(row));
        put16(d, 2, static_cast<quint16>(col));
        put16(d, 4, static_cast<quint16>(style));
        put32(d, 6, static_cast<quint32>(internString(t)));
        appendRecord(s, LabelSst, d);
    }

    void appendNumber(QByteArray& s, int row, int col, int style, double v)
    {
        if (!std::isfinite(v)) {
            appendText(s, row, col, _xfIndex[2], QStringLiteral("NaN"));
            return;
        }
        QByteArray d(6, '\0');
        put16(d, 0, static_cast<quint16>(row));
        put16(d, 2, static_cast<quint16>(col));
        put16(d, 4, static_cast<quint16>(style));
        appendRecord(s, Number, d + leDouble(v == 0.0 ? 0.0 : v));
    }

    // The new sheets' substreams, with string indices; their positions are fixed up later.
    bool writeNewSheets(QString* error)
    {
        for (size_t n = 0; n < _newSheets.size(); ++n) {
            QByteArray s;
            if (!writeSheet(*_newSheets[n].data, _layout.kept + static_cast<int>(n), s, error))
                return false;
            _sheetStreams.push_back(s);
        }
        return true;
    }

    bool writeSheet(const SheetData& sheet, int position, QByteArray& s, QString* error)
    {
        appendRecord(s, Bof, bof(0x0010));
        appendRecord(s, WsBool, le16(0x04C1));
        QByteArray dim(14, '\0');
        put32(dim, 4, static_cast<quint32>(sheet.usedRows()));
        put16(dim, 10, static_cast<quint16>(sheet.usedColumns()));
        appendRecord(s, Dimensions, dim);
        for (int c = 0; c < sheet.columnCount(); ++c)
            appendText(s, 0, c + 1, _xfIndex[0], sheet.header(c));
        const int rows = sheet.usedRows();
        SheetData::RowCursor cursor(sheet);
        for (int row = 1; row < rows; ++row) {
            if (_cancel && _cancel->load()) {
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
                    appendNumber(s, row, 0, _xfIndex[1], serial);
                else if (date.isValid())
                    appendText(s, row, 0, _xfIndex[1], XlCell::dateText(date));
            }
            for (int c = 0; c < sheet.columnCount(); ++c)
                if (cursor.has(c))
                    appendNumber(s, row, c + 1, _xfIndex[2], cursor.value(c));
        }
        QByteArray window(18, '\0');
        // Selected (and shown) only when it is the active sheet.
        put16(window, 0, position == _newActive ? 0x06B6 : 0x00B6);
        put16(window, 6, 0x0040);
        appendRecord(s, Window2, window);
        appendRecord(s, Eof, QByteArray());
        return true;
    }

    void addNewBoundSheets()
    {
        for (size_t n = 0; n < _newSheets.size(); ++n) {
            _boundSheetAt.push_back(_out.size());
            _boundSheetOf.push_back(-static_cast<int>(n) - 1);
            appendRecord(_out, BoundSheet,
                le32(0) + QByteArray(2, '\0') + shortUnicodeString(_newSheets[n].data->name()));
        }
    }

    // The globals as they were, with the number format, the cell formats, the sheet list and
    // the strings added, and every record that names sheets by position brought up to date.
    void writeGlobals()
    {
        std::vector<bool> inSst(globals().size(), false);
        for (size_t i = _sst >= 0 ? static_cast<size_t>(_sst) : globals().size();
             i < globals().size(); ++i) {
            if (static_cast<int>(i) != _sst && globals()[i].type != Continue)
                break;
            inSst[i] = true;
        }
        QHash<int, int> oldSheetOfRecord;
        for (int i = 0; i < _layout.oldCount; ++i)
            oldSheetOfRecord.insert(_book._sheets[static_cast<size_t>(i)].boundSheet, i);
        // A book without sheets gets them where they belong, before the links, names and
        // strings.
        int sheetsBefore = -1;
        if (_lastBoundSheet < 0)
            for (size_t i = static_cast<size_t>(std::max(_lastXf, 0));
                 i < globals().size() && sheetsBefore < 0; ++i) {
                const quint16 t = globals()[i].type;
                if (t == Country || t == SupBook || t == ExternSheet || t == Name || t == Sst
                    || t == Eof)
                    sheetsBefore = static_cast<int>(i);
            }
        for (size_t i = 0; i < globals().size(); ++i) {
            const Record& r = globals()[i];
            QByteArray d = data(r);
            const int ii = static_cast<int>(i);
            if (ii == sheetsBefore)
                addNewBoundSheets();
            if (r.type == Format && ii == _lastFormat && !_newFormat.isEmpty()) {
                appendRecord(_out, r.type, d);
                appendRecord(_out, Format, _newFormat);
                continue;
            }
            if (r.type == Xf && ii == _firstXf && _lastFormat < 0 && !_newFormat.isEmpty())
                appendRecord(_out, Format, _newFormat);
            if (r.type == Xf && ii == _lastXf) {
                appendRecord(_out, r.type, d);
                for (const auto& x : _addedXfs)
                    appendRecord(_out, Xf, x);
                continue;
            }
            if (r.type == BoundSheet) {
                const int old = oldSheetOfRecord.value(ii, -1);
                if (old >= 0 && !_layout.removed[static_cast<size_t>(old)]) {
                    _boundSheetAt.push_back(_out.size());
                    _boundSheetOf.push_back(old);
                    appendRecord(_out, r.type, d);
                }
                if (ii == _lastBoundSheet)
                    addNewBoundSheets();
                continue;
            }
            if (inSst[i]) {
                if (r.type == Sst)
                    writeSst(_out, _sstTotal, _strings);
                continue;
            }
            if (r.type == ExtSst)
                continue; // written with the SST
            if (r.type == Eof && _sst < 0 && !_strings.empty())
                writeSst(_out, _sstTotal, _strings);
            appendRecord(_out, r.type, edited(r.type, d));
        }
    }

    // A record of the globals that names sheets by position, with the positions after the
    // save; any other record as it is.
    QByteArray edited(quint16 type, QByteArray d)
    {
        if (type == Window1 && d.size() >= 18) {
            const int firstTab = get16(d, 12);
            const int first
                = std::min(std::max(_layout.map(firstTab), 0), std::max(_layout.newCount - 1, 0));
            put16(d, 10, static_cast<quint16>(_newActive));
            put16(d, 12, static_cast<quint16>(std::min(first, _newActive)));
            put16(d, 14, 1);
        } else if (type == TabId) {
            QByteArray ids;
            for (int k = 0; k + 1 < d.size(); k += 2)
                _maxTabId = std::max<int>(_maxTabId, get16(d, k));
            for (int k = 0; k < _layout.oldCount; ++k)
                if (!_layout.removed[static_cast<size_t>(k)] && 2 * k + 1 < d.size())
                    ids += d.mid(2 * k, 2);
            for (size_t n = 0; n < _newSheets.size(); ++n)
                ids += le16(static_cast<quint16>(++_maxTabId));
            return ids;
        } else if (type == SupBook && d.size() == 4 && get16(d, 2) == 0x0401) {
            put16(d, 0, static_cast<quint16>(_layout.newCount));
        } else if (type == ExternSheet && d.size() >= 2) {
            const int count = get16(d, 0);
            for (int k = 0; k < count && 2 + 6 * k + 6 <= d.size(); ++k) {
                const int at = 2 + 6 * k;
                if (get16(d, at) != _supBookSelf)
                    continue;
                for (int f = 2; f <= 4; f += 2) {
                    const int tab = static_cast<qint16>(get16(d, at + f));
                    if (tab >= 0)
                        put16(d, at + f, static_cast<quint16>(std::max(_layout.map(tab), 0)));
                }
            }
        } else if (type == Name && d.size() >= 10) {
            const int itab = get16(d, 8);
            if (itab > 0 && itab <= _layout.oldCount)
                put16(d, 8, static_cast<quint16>(_layout.map(itab - 1) + 1));
        }
        return d;
    }

    // The sheets behind the globals: the kept ones copied, with their INDEX positions moved,
    // then the new ones; each BOUNDSHEET learns where its sheet now starts.
    void appendSheets(std::vector<std::pair<int, int>>* newRanges)
    {
        for (size_t b = 0; b < _boundSheetAt.size(); ++b) {
            const int position = _out.size();
            put32(_out, _boundSheetAt[b] + 4, static_cast<quint32>(position));
            if (_boundSheetOf[b] >= 0) {
                _out += movedSheet(_book._sheets[static_cast<size_t>(_boundSheetOf[b])], position);
            } else {
                const size_t n = static_cast<size_t>(-_boundSheetOf[b] - 1);
                (*newRanges)[n] = { position, static_cast<int>(_sheetStreams[n].size()) };
                _out += _sheetStreams[n];
            }
        }
    }

    QByteArray movedSheet(const Sheet& sheet, int position) const
    {
        QByteArray copy = _book._stream.mid(sheet.start, sheet.end - sheet.start);
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
        return copy;
    }

    const XlsBook& _book;
    const std::vector<NewSheet>& _newSheets;
    const std::atomic_bool* _cancel;
    const SheetLayout _layout;

    // What the globals hold (record indices, -1 when there is none).
    int _lastFormat = -1;
    int _firstXf = -1;
    int _lastXf = -1;
    int _lastBoundSheet = -1;
    int _sst = -1;
    int _supBookSelf = -1; // the SUPBOOK of the book itself, among the SUPBOOKs
    int _supBooks = 0;
    int _maxFormat = 163;
    int _dateFormat = -1;
    std::vector<QByteArray> _xfRecords;

    QByteArray _newFormat; // the FORMAT record to add, if any
    int _xfIndex[3] = { -1, -1, -1 }; // header, date, number
    std::vector<QByteArray> _addedXfs;

    quint32 _sstTotal = 0;
    std::vector<SstString> _strings;
    QHash<QString, int> _stringIndex;

    int _newActive = 0;
    std::vector<QByteArray> _sheetStreams;

    QByteArray _out;
    int _maxTabId = 0;
    std::vector<int> _boundSheetAt; // stream offsets of the BOUNDSHEET records, in sheet order
    std::vector<int> _boundSheetOf; // old sheet index or -(n + 1) for new sheet n
};

bool XlsBook::build(const std::vector<NewSheet>& newSheets, const std::atomic_bool* cancel,
    QByteArray* outStream, std::vector<std::pair<int, int>>* newRanges, QString* error) const
{
    return Build(*this, newSheets, cancel).run(outStream, newRanges, error);
}

} // namespace Workbook
