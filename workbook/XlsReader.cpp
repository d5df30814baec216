#include "XlsReader.h"

#include "BiffRecords.h"
#include "CompoundFile.h"
#include "SheetFingerprint.h"
#include "SummaryInformation.h"

#include <QFile>
#include <QHash>

#include <zlib.h>

#include <cstring>

namespace Workbook {

using namespace Biff;

namespace {

double rkValue(quint32 rk)
{
    double v;
    if (rk & 0x02) {
        v = static_cast<qint32>(rk) >> 2;
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100 : v;
}

} // namespace

bool XlsReader::open(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    CompoundFile cf;
    if (!cf.read(file.readAll(), error))
        return false;
    const CompoundFile::Entry* workbook = cf.stream(QStringLiteral("Workbook"));
    if (!workbook) {
        *error = QStringLiteral("the file holds no BIFF8 workbook");
        return false;
    }
    _stream = workbook->data;
    _properties.clear();
    // Damaged properties don't make the cells unreadable: they are then left out.
    if (const CompoundFile::Entry* summary = cf.stream(SummaryInformation::StreamName)) {
        QString ignored;
        if (!SummaryInformation::readUserDefined(summary->data, &_properties, &ignored))
            _properties.clear();
    }
    std::vector<Record> globals;
    if (!readSubstream(_stream, 0, &globals)) {
        *error = QStringLiteral("the workbook stream is damaged");
        return false;
    }
    for (size_t i = 0; i < globals.size(); ++i) {
        const Record& r = globals[i];
        const QByteArray d = _stream.mid(r.dataOffset(), r.length);
        switch (r.type) {
        case BoundSheet:
            _positions.push_back(static_cast<int>(get32(d, 0)));
            _names.append(readUnicodeString(d, 6, true));
            break;
        case Format:
            _formats.insert(get16(d, 0), readUnicodeString(d, 2, false));
            break;
        case Xf:
            if (d.size() < 7)
                break;
            _styles.push_back({ get16(d, 2), static_cast<unsigned char>(d.at(6)) & 0x07 });
            break;
        case Sst: {
            std::vector<QByteArray> blocks { d };
            for (size_t k = i + 1; k < globals.size() && globals[k].type == Continue; ++k)
                blocks.push_back(_stream.mid(globals[k].dataOffset(), globals[k].length));
            quint32 total = 0;
            std::vector<SstString> strings;
            if (!parseSst(blocks, &total, &strings)) {
                *error = QStringLiteral("the shared strings are damaged");
                return false;
            }
            for (const auto& s : strings)
                _strings.append(s.text);
            break;
        }
        default:
            break;
        }
    }
    return true;
}

QString XlsReader::partSignature(int index) const
{
    if (index < 0 || index >= static_cast<int>(_positions.size()))
        return QString();
    std::vector<Record> records;
    const int start = _positions[static_cast<size_t>(index)];
    if (!readSubstream(_stream, start, &records) || records.empty())
        return QString();
    const int length = records.back().end() - start;
    return Fingerprint::partSignatureText(
        static_cast<uint32_t>(crc32_z(crc32_z(0, nullptr, 0),
            reinterpret_cast<const Bytef*>(_stream.constData() + start),
            static_cast<size_t>(length))),
        static_cast<uint64_t>(length));
}

template<typename CellFn>
bool XlsReader::walkSheet(int index, CellFn cell, QString* error) const
{
    if (index < 0 || index >= static_cast<int>(_positions.size())) {
        *error = QStringLiteral("no such sheet");
        return false;
    }
    std::vector<Record> records;
    if (!readSubstream(_stream, _positions[static_cast<size_t>(index)], &records)) {
        *error = QStringLiteral("the sheet is damaged");
        return false;
    }
    auto stopped = [&]() {
        *error = QStringLiteral("stopped");
        return false;
    };
    int depth = 0;
    for (const auto& r : records) {
        if (r.type == Bof) {
            ++depth;
            continue;
        }
        if (r.type == Eof) {
            --depth;
            continue;
        }
        if (depth != 1)
            continue; // an embedded chart
        const QByteArray d = _stream.mid(r.dataOffset(), r.length);
        if (d.size() < 6)
            continue;
        const int row = get16(d, 0);
        const int col = get16(d, 2);
        const int style = get16(d, 4);
        switch (r.type) {
        case Number: {
            if (d.size() < 14)
                break;
            double v;
            std::memcpy(&v, d.constData() + 6, 8);
            if (!cell(row, col, style, ReadCell::Number, v, QString(), ReadCell::Number))
                return stopped();
            break;
        }
        case Rk:
            if (d.size() >= 10
                && !cell(row, col, style, ReadCell::Number, rkValue(get32(d, 6)), QString(),
                    ReadCell::Number))
                return stopped();
            break;
        case MulRk: {
            const int last = get16(d, d.size() - 2);
            for (int k = col, at = 4; k <= last && at + 6 <= d.size() - 2; ++k, at += 6)
                if (!cell(row, k, get16(d, at), ReadCell::Number, rkValue(get32(d, at + 2)),
                        QString(), ReadCell::Number))
                    return stopped();
            break;
        }
        case LabelSst:
            if (d.size() >= 10
                && !cell(row, col, style, ReadCell::Text, 0,
                    _strings.value(static_cast<int>(get32(d, 6))), ReadCell::Text))
                return stopped();
            break;
        case Label:
            if (!cell(row, col, style, ReadCell::Text, 0, readUnicodeString(d, 6, false),
                    ReadCell::Text))
                return stopped();
            break;
        case Formula: {
            if (d.size() < 14)
                break;
            // The cached result: a number, or (marked by 0xFFFF in its last two bytes) a
            // boolean, an error, an empty text or a text kept in the STRING record after it.
            double v = 0;
            ReadCell::Type result = ReadCell::Number;
            QString text;
            if (get16(d, 12) != 0xFFFF) {
                std::memcpy(&v, d.constData() + 6, 8);
            } else {
                const int kind = static_cast<unsigned char>(d.at(6));
                if (kind == 1 || kind == 2) {
                    result = kind == 1 ? ReadCell::Boolean : ReadCell::Error;
                    v = static_cast<unsigned char>(d.at(8));
                } else {
                    result = ReadCell::Text;
                    const size_t next = static_cast<size_t>(&r - records.data()) + 1;
                    if (kind == 0 && next < records.size() && records[next].type == StringValue)
                        text = readUnicodeString(
                            _stream.mid(records[next].dataOffset(), records[next].length), 0,
                            false);
                }
            }
            if (!cell(row, col, style, ReadCell::Formula, v, text, result))
                return stopped();
            break;
        }
        case BoolErr: {
            if (d.size() < 8)
                break;
            const ReadCell::Type type = d.at(7) ? ReadCell::Error : ReadCell::Boolean;
            if (!cell(row, col, style, type, static_cast<unsigned char>(d.at(6)), QString(), type))
                return stopped();
            break;
        }
        default:
            break;
        }
    }
    return true;
}

bool XlsReader::readSheet(int index, SheetCells* cells, QString* error) const
{
    *cells = SheetCells();
    auto cell = [&](int style) {
        ReadCell c;
        const Style s = style >= 0 && static_cast<size_t>(style) < _styles.size()
            ? _styles[static_cast<size_t>(style)]
            : Style();
        c.numberFormat = _formats.value(s.format, builtInNumberFormat(s.format));
        static const char* const alignments[] = { "", "left", "center", "right", "fill", "justify",
            "centerContinuous", "distributed" };
        c.alignment = QLatin1String(alignments[s.alignment & 7]);
        return c;
    };
    return walkSheet(
        index,
        [&](int row, int col, int style, ReadCell::Type type, double number, const QString& text,
            ReadCell::Type) {
            ReadCell c = cell(style);
            c.type = type;
            c.number = number;
            c.text = text;
            cells->set(row, col, c);
            return true;
        },
        error);
}

bool XlsReader::scanSheet(int index, const CellVisitor& visit, QString* error) const
{
    static const QHash<int, QString> errors { { 0x00, QStringLiteral("#NULL!") },
        { 0x07, QStringLiteral("#DIV/0!") }, { 0x0F, QStringLiteral("#VALUE!") },
        { 0x17, QStringLiteral("#REF!") }, { 0x1D, QStringLiteral("#NAME?") },
        { 0x24, QStringLiteral("#NUM!") }, { 0x2A, QStringLiteral("#N/A") } };
    return walkSheet(
        index,
        [&](int row, int col, int, ReadCell::Type, double number, const QString& text,
            ReadCell::Type result) {
            if (result == ReadCell::Error)
                return visit(row, col, result, number,
                    errors.value(static_cast<int>(number), QStringLiteral("#ERROR")));
            return visit(row, col, result, number, text);
        },
        error);
}

} // namespace Workbook
