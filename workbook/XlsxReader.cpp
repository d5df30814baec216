#include "XlsxReader.h"

#include "CellFormat.h"
#include "CustomXml.h"
#include "OpcPackage.h"
#include "SheetFingerprint.h"
#include "XlsxSheetScanner.h"

#include <QHash>
#include <QMutexLocker>
#include <QXmlStreamReader>

#include <algorithm>
#include <string_view>
#include <vector>

namespace Workbook {

namespace {

// Row and column of a reference such as "AB12"; false when it isn't one.
bool parseRef(const QStringRef& ref, int* row, int* column)
{
    const QByteArray text = ref.toLatin1();
    return XlCell::parseCellRef(
        std::string_view(text.constData(), size_t(text.size())), row, column);
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
    OpcPackage package;
    if (!package.open(path, OpcPackage::ReadOnly, error))
        return false;
    auto readEntry = [&package](const QString& name, QByteArray* out) {
        QString ignored;
        return package.readPart(name, OpcPackage::SmallPart, out, &ignored);
    };

    QByteArray data;
    if (!readEntry(QStringLiteral("_rels/.rels"), &data)) {
        *error = QStringLiteral("the package has no relationships");
        return false;
    }
    // Relationships as far as they can be read: damage past the ones a reader needs doesn't
    // make the cells unreadable.
    auto relationships = [](const QByteArray& relsData, const QString& source) {
        std::vector<OpcPackage::Relationship> rels;
        QString ignored;
        OpcPackage::parseRelationships(relsData, source, &rels, &ignored);
        return rels;
    };
    // The last of several relationships of the same id wins.
    auto targetOf = [](const std::vector<OpcPackage::Relationship>& rels, const QString& id) {
        QString target;
        for (const auto& rel : rels)
            if (rel.id == id)
                target = rel.target;
        return target;
    };
    QString workbookPart;
    QString customPart;
    for (const auto& rel : relationships(data, QString())) {
        if (rel.type.endsWith(QLatin1String("/officeDocument")))
            workbookPart = rel.target;
        else if (rel.type.endsWith(QLatin1String("/custom-properties")))
            customPart = rel.target;
    }
    // Damaged custom properties don't make the cells unreadable: they are then left out.
    QByteArray custom;
    QString ignored;
    if (!customPart.isEmpty() && readEntry(customPart, &custom)
        && !CustomXml::read(custom, &_properties, &ignored))
        _properties.clear();
    QByteArray workbook;
    if (workbookPart.isEmpty()) {
        *error = QStringLiteral("the package has no workbook part");
        return false;
    }
    if (!package.readPart(workbookPart, OpcPackage::SmallPart, &workbook, error))
        return false;
    data.clear();
    readEntry(OpcPackage::relsPartOf(workbookPart), &data);
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
            _sheetParts.append(targetOf(wbRels, id));
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
        return false;
    }

    for (const auto& rel : wbRels) {
        // Read when a sheet being read refers to them: a book's strings may be many, and our
        // own sheets hold none.
        if (rel.type.endsWith(QLatin1String("/sharedStrings")))
            _sharedStringsPart = rel.target;
        // Without its styles a book's cells still read, with the general format.
        if (rel.type.endsWith(QLatin1String("/styles")) && readEntry(rel.target, &data)) {
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
    OpcPackage package;
    QByteArray data;
    // Unreadable strings read as empty texts, as strings the book doesn't have.
    if (!package.open(_path, OpcPackage::ReadOnly, &ignored) || _sharedStringsPart.isEmpty()
        || !package.readPart(_sharedStringsPart, OpcPackage::LargePart, &data, &ignored))
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
    OpcPackage package;
    uint32_t crc = 0;
    uint64_t size = 0;
    if (!package.open(_path, OpcPackage::ReadOnly, &ignored)
        || !package.partSignature(_sheetParts.at(index), &crc, &size))
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
    OpcPackage package;
    QByteArray data;
    if (!package.open(_path, OpcPackage::ReadOnly, error)
        || !package.readPart(_sheetParts.at(index), OpcPackage::LargePart, &data, error))
        return false;
    QXmlStreamReader xml(data);
    int row = -1;
    int column = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            const QByteArray r = xml.attributes().value(QStringLiteral("r")).toLatin1();
            int number = 0;
            row = XlCell::parseRowNumber(std::string_view(r.constData(), size_t(r.size())), &number)
                ? number - 1
                : std::min(row + 1, XlCell::MaxRows);
            column = -1;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
            const auto a = xml.attributes();
            const auto ref = a.value(QStringLiteral("r"));
            int r = std::max(row, 0);
            if (ref.isEmpty() || !parseRef(ref, &r, &column))
                column = std::min(column + 1, XlCell::MaxColumns);
            if (r >= XlCell::MaxRows || column >= XlCell::MaxColumns) {
                *error = XlCell::pastGridError();
                return false;
            }
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
    OpcPackage package;
    if (!package.open(_path, OpcPackage::ReadOnly, error))
        return false;
    const std::unique_ptr<OpcPackage::PartStream> part = package.openPart(_sheetParts.at(index));
    if (!part) {
        *error = QStringLiteral("the sheet part can't be read");
        return false;
    }
    const XlsxSheetScanner scanner([this]() -> const QStringList& { return sharedStrings(); });
    return scanner.scan(
        [&part](char* buffer, qint64 size) { return part->read(buffer, size); }, visit, error);
}

} // namespace Workbook
