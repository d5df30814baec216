#include "XlsxReader.h"

#include "CellFormat.h"
#include "SheetFingerprint.h"
#include "XlsxBook.h"
#include "XlsxSheetScanner.h"
#include "ZipEntry.h"

#include <QFile>
#include <QHash>
#include <QMutexLocker>
#include <QXmlStreamReader>

#include <zip.h>

#include <memory>

namespace TARN {

namespace {

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;

ZipPtr openZip(const QString& path, QString* error)
{
    int code = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        *error = QString::fromLocal8Bit(zip_error_strerror(&ze));
        zip_error_fini(&ze);
    }
    return ZipPtr(zip);
}

// Row and column of a reference such as "AB12".
bool parseRef(const QStringRef& ref, int* row, int* column)
{
    int c = 0;
    int i = 0;
    while (i < ref.size() && ref.at(i).isLetter()) {
        c = c * 26 + (ref.at(i).toUpper().unicode() - 'A' + 1);
        ++i;
    }
    bool ok = false;
    const int r = ref.mid(i).toInt(&ok);
    if (!ok || c == 0)
        return false;
    *row = r - 1;
    *column = c - 1;
    return true;
}

// The text of an <si> or <is>: its <t>, or the <t> of each rich-text run.
QString readStringItem(QXmlStreamReader& xml)
{
    QString text;
    const QString end = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("t"))
            text += xml.readElementText();
        else if (xml.isStartElement() && (xml.name() == QLatin1String("rPh")))
            xml.skipCurrentElement();
        else if (xml.isEndElement() && xml.name() == end)
            break;
    }
    return XlCell::unescapeText(text);
}

} // namespace

bool XlsxReader::open(const QString& path, QString* error)
{
    _path = path;
    _names.clear();
    _sheetParts.clear();
    _sharedStringsPart.clear();
    {
        QMutexLocker lock(&_stringsMutex);
        _sharedStrings.clear();
        _stringsRead = false;
    }
    _styles.clear();
    _properties.clear();
    ZipPtr zip = openZip(path, error);
    if (!zip)
        return false;
    auto readEntry = [](zip_t* archive, const QString& name, QByteArray* out) {
        QString ignored;
        return ZipEntry::read(archive, name, ZipEntry::SmallPart, out, &ignored);
    };

    QByteArray data;
    if (!readEntry(zip.get(), QStringLiteral("_rels/.rels"), &data)) {
        *error = QStringLiteral("the package has no relationships");
        return false;
    }
    auto relationships = [](const QByteArray& xmlData, const QString& source) {
        QHash<QString, QPair<QString, QString>> rels; // id -> type, target
        QXmlStreamReader xml(xmlData);
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("Relationship")) {
                const auto a = xml.attributes();
                rels.insert(a.value(QStringLiteral("Id")).toString(),
                    { a.value(QStringLiteral("Type")).toString(),
                        Opc::resolve(source, a.value(QStringLiteral("Target")).toString()) });
            }
        }
        return rels;
    };
    QString workbookPart;
    QString customPart;
    for (const auto& rel : relationships(data, QString())) {
        if (rel.first.endsWith(QLatin1String("/officeDocument")))
            workbookPart = rel.second;
        else if (rel.first.endsWith(QLatin1String("/custom-properties")))
            customPart = rel.second;
    }
    // Damaged custom properties don't make the cells unreadable: they are then left out.
    QByteArray custom;
    QString ignored;
    if (!customPart.isEmpty() && readEntry(zip.get(), customPart, &custom)
        && !CustomXml::read(custom, &_properties, &ignored))
        _properties.clear();
    QByteArray workbook;
    if (workbookPart.isEmpty()) {
        *error = QStringLiteral("the package has no workbook part");
        return false;
    }
    if (!ZipEntry::read(zip.get(), workbookPart, ZipEntry::SmallPart, &workbook, error))
        return false;
    readEntry(zip.get(), Opc::relsPartOf(workbookPart), &data);
    const auto wbRels = relationships(data, workbookPart);

    QXmlStreamReader xml(workbook);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("sheet")) {
            _names.append(xml.attributes().value(QStringLiteral("name")).toString());
            QString id;
            for (const auto& a : xml.attributes())
                if (a.name() == QLatin1String("id"))
                    id = a.value().toString();
            _sheetParts.append(wbRels.value(id).second);
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
        return false;
    }

    for (const auto& rel : wbRels) {
        // Read when a sheet being read refers to them: a book's strings may be many, and our
        // own sheets hold none.
        if (rel.first.endsWith(QLatin1String("/sharedStrings")))
            _sharedStringsPart = rel.second;
        // Without its styles a book's cells still read, with the general format.
        if (rel.first.endsWith(QLatin1String("/styles"))
            && readEntry(zip.get(), rel.second, &data)) {
            QHash<int, QString> formats;
            QXmlStreamReader st(data);
            bool inCellXfs = false;
            while (!st.atEnd()) {
                st.readNext();
                if (st.isStartElement() && st.name() == QLatin1String("numFmt"))
                    formats.insert(st.attributes().value(QStringLiteral("numFmtId")).toInt(),
                        st.attributes().value(QStringLiteral("formatCode")).toString());
                else if (st.name() == QLatin1String("cellXfs"))
                    inCellXfs = st.isStartElement();
                else if (inCellXfs && st.isStartElement() && st.name() == QLatin1String("xf")) {
                    const int id = st.attributes().value(QStringLiteral("numFmtId")).toInt();
                    _styles.push_back({ formats.value(id, builtInNumberFormat(id)), QString() });
                } else if (inCellXfs && st.isStartElement()
                    && st.name() == QLatin1String("alignment") && !_styles.empty())
                    _styles.back().alignment
                        = st.attributes().value(QStringLiteral("horizontal")).toString();
            }
        }
    }
    return true;
}

const QStringList& XlsxReader::sharedStrings() const
{
    QMutexLocker lock(&_stringsMutex);
    if (_stringsRead)
        return _sharedStrings;
    _stringsRead = true;
    QString ignored;
    ZipPtr zip = openZip(_path, &ignored);
    QByteArray data;
    // Unreadable strings read as empty texts, as strings the book doesn't have.
    if (!zip || _sharedStringsPart.isEmpty()
        || !ZipEntry::read(zip.get(), _sharedStringsPart, ZipEntry::LargePart, &data, &ignored))
        return _sharedStrings;
    QXmlStreamReader ss(data);
    while (!ss.atEnd()) {
        ss.readNext();
        if (ss.isStartElement() && ss.name() == QLatin1String("si"))
            _sharedStrings.append(readStringItem(ss));
    }
    return _sharedStrings;
}

QString XlsxReader::partSignature(int index) const
{
    if (index < 0 || index >= _sheetParts.size())
        return QString();
    QString ignored;
    ZipPtr zip = openZip(_path, &ignored);
    uint32_t crc = 0;
    uint64_t size = 0;
    if (!zip || !ZipEntry::signature(zip.get(), _sheetParts.at(index), &crc, &size))
        return QString();
    return Fingerprint::partSignatureText(crc, size);
}

bool XlsxReader::readSheet(int index, SheetCells* cells, QString* error) const
{
    *cells = SheetCells();
    if (index < 0 || index >= _sheetParts.size()) {
        *error = QStringLiteral("no such sheet");
        return false;
    }
    ZipPtr zip = openZip(_path, error);
    QByteArray data;
    if (!zip)
        return false;
    if (!ZipEntry::read(zip.get(), _sheetParts.at(index), ZipEntry::LargePart, &data, error))
        return false;
    QXmlStreamReader xml(data);
    int row = -1;
    int column = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            const auto r = xml.attributes().value(QStringLiteral("r"));
            row = r.isEmpty() ? row + 1 : r.toInt() - 1;
            column = -1;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
            const auto a = xml.attributes();
            const auto ref = a.value(QStringLiteral("r"));
            int r = row;
            if (ref.isEmpty() || !parseRef(ref, &r, &column))
                ++column;
            const int style = a.value(QStringLiteral("s")).toInt();
            const QString type = a.value(QStringLiteral("t")).toString();
            ReadCell cell;
            if (style >= 0 && static_cast<size_t>(style) < _styles.size()) {
                cell.numberFormat = _styles[static_cast<size_t>(style)].numberFormat;
                cell.alignment = _styles[static_cast<size_t>(style)].alignment;
            } else {
                cell.numberFormat = builtInNumberFormat(0);
            }
            QString value;
            QString formula;
            bool hasValue = false;
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement() && xml.name() == QLatin1String("v")) {
                    value = xml.readElementText();
                    hasValue = true;
                } else if (xml.isStartElement() && xml.name() == QLatin1String("f")) {
                    formula = xml.readElementText();
                } else if (xml.isStartElement() && xml.name() == QLatin1String("is")) {
                    value = readStringItem(xml);
                    hasValue = true;
                } else if (xml.isEndElement() && xml.name() == QLatin1String("c")) {
                    break;
                }
            }
            if (!formula.isEmpty()) {
                cell.type = ReadCell::Formula;
                cell.text = formula;
                cell.number = value.toDouble();
            } else if (!hasValue) {
                cell.type = ReadCell::Empty;
            } else if (type == QLatin1String("s")) {
                cell.type = ReadCell::Text;
                cell.text = sharedStrings().value(value.toInt());
            } else if (type == QLatin1String("inlineStr") || type == QLatin1String("str")) {
                cell.type = ReadCell::Text;
                cell.text = type == QLatin1String("str") ? XlCell::unescapeText(value) : value;
            } else if (type == QLatin1String("b")) {
                cell.type = ReadCell::Boolean;
                cell.number = value.toInt();
            } else if (type == QLatin1String("e")) {
                cell.type = ReadCell::Error;
                cell.text = value;
            } else {
                cell.type = ReadCell::Number;
                cell.number = value.toDouble();
            }
            cells->set(r, column, cell);
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
        return false;
    }
    return true;
}

bool XlsxReader::scanSheet(int index, const CellVisitor& visit, QString* error) const
{
    if (index < 0 || index >= _sheetParts.size()) {
        *error = QStringLiteral("no such sheet");
        return false;
    }
    ZipPtr zip = openZip(_path, error);
    if (!zip)
        return false;
    const zip_int64_t entry
        = zip_name_locate(zip.get(), _sheetParts.at(index).toUtf8().constData(), ZIP_FL_NOCASE);
    zip_file_t* file
        = entry < 0 ? nullptr : zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(entry), 0);
    if (!file) {
        *error = QStringLiteral("the sheet part can't be read");
        return false;
    }
    const XlsxSheetScanner scanner([this]() -> const QStringList& { return sharedStrings(); });
    const bool scanned = scanner.scan(
        [file](char* buffer, qint64 size) {
            return static_cast<qint64>(zip_fread(file, buffer, static_cast<zip_uint64_t>(size)));
        },
        visit, error);
    zip_fclose(file);
    return scanned;
}

} // namespace TARN
