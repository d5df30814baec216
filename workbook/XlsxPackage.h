#pragma once

#include <QByteArray>
#include <QString>

// The names, content types and template parts of an Office Open XML spreadsheet package, shared
// by the files of XlsxBook.
namespace Workbook {
namespace XlsxPackage {

inline const QString RelNs
    = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
inline const QString StrictRelNs
    = QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships");
inline const QString WorksheetRelType = RelNs + QStringLiteral("/worksheet");
inline const QString WorksheetType
    = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
inline const QString XlsxMainType
    = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
inline const QString XlsmMainType
    = QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml");
inline const QString ContentTypesPart = QStringLiteral("[Content_Types].xml");
inline const QString PackageRelsPart = QStringLiteral("_rels/.rels");
inline const QString DateFormatCode = QStringLiteral("m/yyyy");

// The cell formats the export adds to the styles, in their exact text, so that a later export
// into the same book finds and reuses them instead of adding more.
inline QString headerXf()
{
    return QStringLiteral("<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
                          "applyNumberFormat=\"1\" applyAlignment=\"1\"><alignment "
                          "horizontal=\"center\"/></xf>");
}
inline QString dateXf(int numFmtId)
{
    return QStringLiteral("<xf numFmtId=\"%1\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
                          "applyNumberFormat=\"1\"/>")
        .arg(numFmtId);
}
inline QString generalXf()
{
    return QStringLiteral(
        "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>");
}

inline QByteArray templateContentTypes(bool macroEnabled)
{
    return QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"%1\"/>"
        "<Override PartName=\"/xl/styles.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
        "</Types>")
        .arg(macroEnabled ? XlsmMainType : XlsxMainType)
        .toUtf8();
}

inline const char* const TemplatePackageRels
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.xml\"/></Relationships>";

inline const char* const TemplateWorkbook
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<bookViews><workbookView activeTab=\"0\"/></bookViews><sheets></sheets></workbook>";

inline const char* const TemplateWorkbookRels
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
      "Target=\"styles.xml\"/></Relationships>";

inline const char* const TemplateStyles
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/>"
      "</font></fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
      "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "</cellStyleXfs>"
      "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
      "xfId=\"0\"/>"
      "</cellXfs>"
      "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
      "</styleSheet>";

inline bool typeIs(const QString& type, const char* suffix)
{
    return type.endsWith(QLatin1Char('/') + QLatin1String(suffix));
}

inline QString partKey(const QString& part)
{
    return part.toLower();
}

inline QString qualified(const QString& prefix, const char* name)
{
    return prefix.isEmpty() ? QString(QLatin1String(name))
                            : QString(prefix + QLatin1Char(':') + QLatin1String(name));
}

} // namespace XlsxPackage
} // namespace Workbook
