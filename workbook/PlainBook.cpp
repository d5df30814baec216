#include "PlainBook.h"

#include "OpcPackage.h"
#include "SheetCells.h"
#include "WorkbookFile.h"
#include "WorkbookReader.h"

#include <QLocale>
#include <QMap>
#include <QXmlStreamWriter>

#include <cmath>

namespace Workbook {

int PlainSheet::columnOf(const QString& heading) const
{
    for (int c = 0; c < header.size(); ++c)
        if (header.at(c).trimmed().compare(heading, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

QString PlainSheet::cell(int row, int column) const
{
    if (row < 0 || row >= rows.size() || column < 0)
        return {};
    const QStringList& cells = rows.at(row);
    return column < cells.size() ? cells.at(column) : QString();
}

QString plainNumber(double value)
{
    if (std::isnan(value))
        return {};
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

namespace {

const QString MainNs = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
const QString RelNs
    = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString PackageRelNs
    = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");

// "A", "Z", "AA" for columns 0, 25, 26.
QString columnName(int column)
{
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(QChar('A' + (c - 1) % 26));
    return name;
}

// XML 1.0 refuses most control characters; a cell keeps the rest of its text.
QString xmlSafe(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (u >= 0x20 || u == 0x09 || u == 0x0A || u == 0x0D)
            safe += ch;
    }
    return safe;
}

QByteArray sheetXml(const PlainSheet& sheet)
{
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("worksheet"));
    w.writeDefaultNamespace(MainNs);
    w.writeStartElement(QStringLiteral("sheetViews"));
    w.writeStartElement(QStringLiteral("sheetView"));
    w.writeAttribute(QStringLiteral("workbookViewId"), QStringLiteral("0"));
    w.writeEmptyElement(QStringLiteral("pane"));
    w.writeAttribute(QStringLiteral("ySplit"), QStringLiteral("1"));
    w.writeAttribute(QStringLiteral("topLeftCell"), QStringLiteral("A2"));
    w.writeAttribute(QStringLiteral("activePane"), QStringLiteral("bottomLeft"));
    w.writeAttribute(QStringLiteral("state"), QStringLiteral("frozen"));
    w.writeEndElement();
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("sheetData"));
    const int rowCount = sheet.rows.size() + 1;
    for (int r = 0; r < rowCount; ++r) {
        const QStringList& cells = r == 0 ? sheet.header : sheet.rows.at(r - 1);
        w.writeStartElement(QStringLiteral("row"));
        w.writeAttribute(QStringLiteral("r"), QString::number(r + 1));
        for (int c = 0; c < cells.size(); ++c) {
            const QString& text = cells.at(c);
            if (text.isEmpty())
                continue;
            w.writeStartElement(QStringLiteral("c"));
            w.writeAttribute(QStringLiteral("r"), columnName(c) + QString::number(r + 1));
            bool isNumber = false;
            double value = 0;
            if (r > 0 && c < sheet.numeric.size() && sheet.numeric.at(c))
                value = text.toDouble(&isNumber);
            if (isNumber && std::isfinite(value)) {
                w.writeTextElement(QStringLiteral("v"), plainNumber(value));
            } else {
                w.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
                if (r == 0)
                    w.writeAttribute(QStringLiteral("s"), QStringLiteral("1"));
                w.writeStartElement(QStringLiteral("is"));
                w.writeStartElement(QStringLiteral("t"));
                const QString safe = xmlSafe(text);
                if (safe.trimmed() != safe)
                    w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
                w.writeCharacters(safe);
                w.writeEndElement();
                w.writeEndElement();
            }
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray relationships(const QList<QPair<QString, QString>>& typeAndTarget)
{
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("Relationships"));
    w.writeDefaultNamespace(PackageRelNs);
    for (int i = 0; i < typeAndTarget.size(); ++i) {
        w.writeEmptyElement(QStringLiteral("Relationship"));
        w.writeAttribute(QStringLiteral("Id"), QStringLiteral("rId%1").arg(i + 1));
        w.writeAttribute(QStringLiteral("Type"), typeAndTarget.at(i).first);
        w.writeAttribute(QStringLiteral("Target"), typeAndTarget.at(i).second);
    }
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray contentTypes(int sheets)
{
    const QString officeType
        = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.%1+xml");
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("Types"));
    w.writeDefaultNamespace(
        QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types"));
    w.writeEmptyElement(QStringLiteral("Default"));
    w.writeAttribute(QStringLiteral("Extension"), QStringLiteral("rels"));
    w.writeAttribute(QStringLiteral("ContentType"),
        QStringLiteral("application/vnd.openxmlformats-package.relationships+xml"));
    w.writeEmptyElement(QStringLiteral("Default"));
    w.writeAttribute(QStringLiteral("Extension"), QStringLiteral("xml"));
    w.writeAttribute(QStringLiteral("ContentType"), QStringLiteral("application/xml"));
    const auto override = [&](const QString& part, const QString& kind) {
        w.writeEmptyElement(QStringLiteral("Override"));
        w.writeAttribute(QStringLiteral("PartName"), part);
        w.writeAttribute(QStringLiteral("ContentType"), officeType.arg(kind));
    };
    override(QStringLiteral("/xl/workbook.xml"), QStringLiteral("sheet.main"));
    override(QStringLiteral("/xl/styles.xml"), QStringLiteral("styles"));
    for (int i = 1; i <= sheets; ++i)
        override(QStringLiteral("/xl/worksheets/sheet%1.xml").arg(i), QStringLiteral("worksheet"));
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray workbookXml(const QList<PlainSheet>& sheets)
{
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("workbook"));
    w.writeDefaultNamespace(MainNs);
    w.writeNamespace(RelNs, QStringLiteral("r"));
    w.writeStartElement(QStringLiteral("sheets"));
    for (int i = 0; i < sheets.size(); ++i) {
        w.writeEmptyElement(QStringLiteral("sheet"));
        w.writeAttribute(QStringLiteral("name"), sheets.at(i).name);
        w.writeAttribute(QStringLiteral("sheetId"), QString::number(i + 1));
        w.writeAttribute(RelNs, QStringLiteral("id"), QStringLiteral("rId%1").arg(i + 1));
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

// One plain font and a bold one for the headers.
QByteArray stylesXml()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
        "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
        "</cellStyleXfs><cellXfs count=\"2\">"
        "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
        "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>"
        "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
        "</cellStyles></styleSheet>");
}

} // namespace

bool writePlainBook(const QString& path, const QList<PlainSheet>& sheets, QString* error)
{
    const QString officeRel
        = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/%1");
    QMap<QString, QByteArray> parts;
    parts.insert(QStringLiteral("[Content_Types].xml"), contentTypes(sheets.size()));
    parts.insert(QStringLiteral("_rels/.rels"),
        relationships({ { officeRel.arg(QStringLiteral("officeDocument")),
            QStringLiteral("xl/workbook.xml") } }));
    parts.insert(QStringLiteral("xl/workbook.xml"), workbookXml(sheets));
    QList<QPair<QString, QString>> bookRels;
    for (int i = 0; i < sheets.size(); ++i) {
        bookRels.append({ officeRel.arg(QStringLiteral("worksheet")),
            QStringLiteral("worksheets/sheet%1.xml").arg(i + 1) });
        parts.insert(
            QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1), sheetXml(sheets.at(i)));
    }
    bookRels.append({ officeRel.arg(QStringLiteral("styles")), QStringLiteral("styles.xml") });
    parts.insert(QStringLiteral("xl/_rels/workbook.xml.rels"), relationships(bookRels));
    parts.insert(QStringLiteral("xl/styles.xml"), stylesXml());

    OpcPackage package;
    package.create(WorkbookFile::linkTarget(path), parts);
    parts.clear();
    // The fastest level: sheets of plain cells shrink almost as much, four times sooner.
    OpcPackage::Changes changes;
    changes.compressionLevel = 1;
    return package.commit(changes, error);
}

bool readPlainBook(const QString& path, QList<PlainSheet>* sheets, QString* error)
{
    const std::unique_ptr<WorkbookReader> reader = WorkbookReader::openFile(path, error);
    if (!reader)
        return false;
    const QStringList names = reader->sheetNames();
    for (int i = 0; i < names.size(); ++i) {
        // Streamed a cell at a time: a large book's cells are never all held at once.
        QList<QStringList> rows;
        const CellVisitor visit = [&rows](int row, int column, ReadCell::Type type, double number,
                                      const QString& text) {
            if (row < 0 || column < 0 || column > 16383)
                return true;
            while (rows.size() <= row)
                rows.append(QStringList());
            QStringList& cells = rows[row];
            while (cells.size() <= column)
                cells.append(QString());
            switch (type) {
            case ReadCell::Number:
            case ReadCell::Formula: // its value as last computed
                cells[column] = plainNumber(number);
                break;
            case ReadCell::Boolean:
                cells[column] = number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                break;
            case ReadCell::Empty:
                break;
            default:
                cells[column] = text;
                break;
            }
            return true;
        };
        if (!reader->scanSheet(i, visit, error))
            return false;
        PlainSheet sheet;
        sheet.name = names.at(i);
        for (QStringList& row : rows)
            while (!row.isEmpty() && row.last().isEmpty())
                row.removeLast();
        while (!rows.isEmpty() && rows.last().isEmpty())
            rows.removeLast();
        if (!rows.isEmpty())
            sheet.header = rows.takeFirst();
        sheet.rows = rows;
        sheets->append(sheet);
    }
    return true;
}

} // namespace Workbook
