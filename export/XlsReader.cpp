#include "XlsReader.h"

#include "BiffRecords.h"
#include "CompoundFile.h"

#include <QFile>

#include <cstring>

namespace TARN {

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

bool XlsReader::readSheet(int index, SheetCells* cells, QString* error) const
{
    *cells = SheetCells();
    if (index < 0 || index >= static_cast<int>(_positions.size())) {
        *error = QStringLiteral("no such sheet");
        return false;
    }
    std::vector<Record> records;
    if (!readSubstream(_stream, _positions[static_cast<size_t>(index)], &records)) {
        *error = QStringLiteral("the sheet is damaged");
        return false;
    }
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
        ReadCell c = cell(get16(d, 4));
        switch (r.type) {
        case Number:
            if (d.size() < 14)
                break;
            c.type = ReadCell::Number;
            std::memcpy(&c.number, d.constData() + 6, 8);
            cells->set(row, col, c);
            break;
        case Rk:
            c.type = ReadCell::Number;
            c.number = rkValue(get32(d, 6));
            cells->set(row, col, c);
            break;
        case MulRk: {
            const int last = get16(d, d.size() - 2);
            for (int k = col, at = 4; k <= last && at + 6 <= d.size() - 2; ++k, at += 6) {
                ReadCell m = cell(get16(d, at));
                m.type = ReadCell::Number;
                m.number = rkValue(get32(d, at + 2));
                cells->set(row, k, m);
            }
            break;
        }
        case LabelSst:
            c.type = ReadCell::Text;
            c.text = _strings.value(static_cast<int>(get32(d, 6)));
            cells->set(row, col, c);
            break;
        case Label:
            c.type = ReadCell::Text;
            c.text = readUnicodeString(d, 6, false);
            cells->set(row, col, c);
            break;
        case Formula:
            if (d.size() < 14)
                break;
            c.type = ReadCell::Formula;
            if (get16(d, 12) != 0xFFFF)
                std::memcpy(&c.number, d.constData() + 6, 8);
            cells->set(row, col, c);
            break;
        case BoolErr:
            if (d.size() < 8)
                break;
            c.type = d.at(7) ? ReadCell::Error : ReadCell::Boolean;
            c.number = static_cast<unsigned char>(d.at(6));
            cells->set(row, col, c);
            break;
        default:
            break;
        }
    }
    return true;
}

} // namespace TARN
