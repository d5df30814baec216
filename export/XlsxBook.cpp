#include "XlsxBook.h"

#include "SheetData.h"
#include "XlsxSheetDeflater.h"
#include "XlsxSheetStream.h"
#include "XmlSplice.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QXmlStreamReader>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace TARN {

namespace {

// The share of a save spent compressing the sheets, in thousandths; writing the archive is the
// rest.
const int CompressingPermille = 900;

// Largest package part read into memory.
const zip_uint64_t MaxPartSize = zip_uint64_t(1) << 30;

const QString RelNs
    = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString StrictRelNs
    = QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships");
const QString WorksheetRelType = RelNs + QStringLiteral("/worksheet");
const QString WorksheetType
    = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
const QString XlsxMainType
    = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
const QString XlsmMainType = QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml");
const QString ContentTypesPart = QStringLiteral("[Content_Types].xml");
const QString PackageRelsPart = QStringLiteral("_rels/.rels");
const QString DateFormatCode = QStringLiteral("m/yyyy");

// The cell formats the export adds to the styles, in their exact text, so that a later export
// into the same book finds and reuses them instead of adding more.
QString headerXf()
{
    return QStringLiteral("<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
                          "applyNumberFormat=\"1\" applyAlignment=\"1\"><alignment "
                          "horizontal=\"center\"/></xf>");
}
QString dateXf(int numFmtId)
{
    return QStringLiteral("<xf numFmtId=\"%1\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
                          "applyNumberFormat=\"1\"/>")
        .arg(numFmtId);
}
QString generalXf()
{
    return QStringLiteral(
        "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>");
}

QByteArray templateContentTypes(bool macroEnabled)
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

const char* const TemplatePackageRels
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.xml\"/></Relationships>";

const char* const TemplateWorkbook
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<bookViews><workbookView activeTab=\"0\"/></bookViews><sheets></sheets></workbook>";

const char* const TemplateWorkbookRels
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
      "Target=\"styles.xml\"/></Relationships>";

const char* const TemplateStyles
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

bool typeIs(const QString& type, const char* suffix)
{
    return type.endsWith(QLatin1Char('/') + QLatin1String(suffix));
}

QString zipError(zip_t* zip)
{
    return QString::fromLocal8Bit(zip_error_strerror(zip_get_error(zip)));
}

QString partKey(const QString& part)
{
    return part.toLower();
}

QString qualified(const QString& prefix, const char* name)
{
    return prefix.isEmpty() ? QString(QLatin1String(name))
                            : QString(prefix + QLatin1Char(':') + QLatin1String(name));
}

// Rewrites the run of sheet titles in the app properties' TitlesOfParts, with the count in its
// HeadingPairs entry and the vector sizes. The run is recognised by its content, as the heading
// ("Worksheets") is localised. False when the part doesn't hold such a run.
bool updateSheetTitles(XmlPart& app, const QStringList& before, const QStringList& after)
{
    const XmlElement* pairs = app.first(QStringLiteral("HeadingPairs"));
    const XmlElement* titles = app.first(QStringLiteral("TitlesOfParts"));
    if (!pairs || !titles)
        return false;
    auto inside = [&](const XmlElement& outer, const QString& name) {
        std::vector<const XmlElement*> found;
        for (const auto* e : app.find(name))
            if (e->start >= outer.startTagEnd && e->end <= outer.end)
                found.push_back(e);
        return found;
    };
    const auto pairVectors = inside(*pairs, QStringLiteral("vector"));
    const auto titleVectors = inside(*titles, QStringLiteral("vector"));
    if (pairVectors.size() != 1 || titleVectors.size() != 1)
        return false;
    const auto variants = app.children(*pairVectors[0]);
    const auto names = app.children(*titleVectors[0]);
    int first = 0;
    for (size_t v = 0; v + 1 < variants.size(); v += 2) {
        const auto counts = app.children(*variants[v + 1]);
        if (counts.size() != 1)
            return false;
        const int count = app.innerText(*counts[0]).trimmed().toInt();
        if (count == before.size() && first + count <= static_cast<int>(names.size())) {
            bool same = true;
            for (int i = 0; i < count && same; ++i) {
                const auto* n = names[static_cast<size_t>(first + i)];
                same = app.innerText(*n) == before.at(i);
            }
            if (same && count > 0) {
                const auto* firstName = names[static_cast<size_t>(first)];
                QString titlesXml;
                for (const auto& name : after)
                    titlesXml += QStringLiteral("<%1>%2</%1>")
                                     .arg(firstName->qualifiedName, XmlPart::escape(name));
                app.replace(firstName->start, names[static_cast<size_t>(first + count - 1)]->end,
                    titlesXml);
                app.replace(
                    counts[0]->startTagEnd, counts[0]->endTagStart, QString::number(after.size()));
                app.setAttribute(*titleVectors[0], QStringLiteral("size"),
                    QString::number(static_cast<int>(names.size()) - count + after.size()));
                return true;
            }
        }
        first += count;
    }
    return false;
}

} // namespace

namespace Opc {

QString relsPartOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1)
        + QStringLiteral(".rels");
}

QString resolve(const QString& sourcePart, const QString& target)
{
    QString path;
    if (target.startsWith(QLatin1Char('/')))
        path = target.mid(1);
    else
        path = sourcePart.left(sourcePart.lastIndexOf(QLatin1Char('/')) + 1) + target;
    QStringList out;
    const auto segments = path.split(QLatin1Char('/'));
    for (const auto& segment : segments) {
        if (segment == QLatin1String(".."))
            out.isEmpty() ? void() : out.removeLast();
        else if (!segment.isEmpty() && segment != QLatin1String("."))
            out.append(segment);
    }
    return out.join(QLatin1Char('/'));
}

QString relativeTarget(const QString& sourcePart, const QString& part)
{
    const QString dir = sourcePart.left(sourcePart.lastIndexOf(QLatin1Char('/')) + 1);
    if (!dir.isEmpty() && part.startsWith(dir))
        return part.mid(dir.size());
    return QLatin1Char('/') + part;
}

} // namespace Opc

XlsxBook::XlsxBook() = default;

XlsxBook::~XlsxBook()
{
    if (_zip)
        zip_discard(_zip);
}

void XlsxBook::create(const QString& path, bool macroEnabled)
{
    _path = path;
    _templateParts.insert(ContentTypesPart, templateContentTypes(macroEnabled));
    _templateParts.insert(PackageRelsPart, TemplatePackageRels);
    _templateParts.insert(QStringLiteral("xl/workbook.xml"), TemplateWorkbook);
    _templateParts.insert(QStringLiteral("xl/_rels/workbook.xml.rels"), TemplateWorkbookRels);
    _templateParts.insert(QStringLiteral("xl/styles.xml"), TemplateStyles);
    QString error;
    loadStructure(&error); // the template is known to be sound
}

bool XlsxBook::load(const QString& path, QString* error)
{
    _path = path;
    int code = 0;
    _zip = zip_open(QFile::encodeName(path).constData(), 0, &code);
    if (!_zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        *error = QString::fromLocal8Bit(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        return false;
    }
    return loadStructure(error);
}

QStringList XlsxBook::partNames() const
{
    if (!_zip)
        return _templateParts.keys();
    QStringList names;
    const zip_int64_t n = zip_get_num_entries(_zip, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* name = zip_get_name(_zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        if (name)
            names.append(QString::fromUtf8(name));
    }
    return names;
}

QString XlsxBook::actualName(const QString& name) const
{
    for (const auto& candidate : partNames())
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    return QString();
}

bool XlsxBook::hasPart(const QString& name) const
{
    if (!_zip)
        return _templateParts.contains(name);
    return zip_name_locate(_zip, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

bool XlsxBook::readPart(const QString& name, QByteArray* data, QString* error) const
{
    if (!_zip) {
        if (!_templateParts.contains(name)) {
            *error = QStringLiteral("the part %1 is missing").arg(name);
            return false;
        }
        *data = _templateParts.value(name);
        return true;
    }
    const zip_int64_t index = zip_name_locate(_zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(_zip, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        *error = QStringLiteral("the part %1 is missing").arg(name);
        return false;
    }
    zip_file_t* file = zip_fopen_index(_zip, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        *error = zipError(_zip);
        return false;
    }
    // The size comes from the file: a damaged or hostile one may claim more than fits a
    // QByteArray, which would truncate the buffer below what zip_fread writes.
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > MaxPartSize) {
        zip_fclose(file);
        *error = QStringLiteral("the part %1 is too large").arg(name);
        return false;
    }
    data->resize(static_cast<int>(st.size));
    const zip_int64_t got = zip_fread(file, data->data(), st.size);
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(st.size)) {
        *error = QStringLiteral("the part %1 can't be read").arg(name);
        return false;
    }
    return true;
}

bool XlsxBook::readRelationships(const QString& relsPart, const QString& sourcePart,
    std::vector<Relationship>* rels, QString* error) const
{
    rels->clear();
    if (!hasPart(relsPart))
        return true;
    QByteArray data;
    XmlPart xml;
    if (!readPart(relsPart, &data, error) || !xml.parse(data, error))
        return false;
    for (const auto* element : xml.find(QStringLiteral("Relationship"))) {
        Relationship rel;
        rel.id = element->attribute(QStringLiteral("Id"));
        rel.type = element->attribute(QStringLiteral("Type"));
        rel.external
            = element->attribute(QStringLiteral("TargetMode")) == QLatin1String("External");
        const QString target = element->attribute(QStringLiteral("Target"));
        rel.target = rel.external ? target : Opc::resolve(sourcePart, target);
        rels->push_back(rel);
    }
    return true;
}

bool XlsxBook::loadStructure(QString* error)
{
    std::vector<Relationship> packageRels;
    if (!readRelationships(PackageRelsPart, QString(), &packageRels, error))
        return false;
    for (const auto& rel : packageRels)
        if (typeIs(rel.type, "officeDocument"))
            _workbookPart = rel.target;
    if (_workbookPart.isEmpty() || !hasPart(_workbookPart)) {
        *error = QStringLiteral("the package has no workbook part");
        return false;
    }
    _workbookPart = actualName(_workbookPart);
    _workbookRelsPart = Opc::relsPartOf(_workbookPart);
    if (!readRelationships(_workbookRelsPart, _workbookPart, &_workbookRels, error))
        return false;

    QByteArray data;
    XmlPart workbook;
    if (!readPart(_workbookPart, &data, error) || !workbook.parse(data, error))
        return false;
    _sheets.clear();
    for (const auto* element : workbook.find(QStringLiteral("sheet"))) {
        Sheet sheet;
        sheet.name = element->attribute(QStringLiteral("name"));
        sheet.sheetId = element->attribute(QStringLiteral("sheetId")).toInt();
        sheet.relId = element->attributes.value(RelNs, QStringLiteral("id")).toString();
        if (sheet.relId.isEmpty())
            sheet.relId = element->attributes.value(StrictRelNs, QStringLiteral("id")).toString();
        for (const auto& rel : _workbookRels)
            if (rel.id == sheet.relId)
                sheet.part = rel.target;
        _sheets.push_back(sheet);
    }
    return true;
}

QStringList XlsxBook::sheetNames() const
{
    QStringList names;
    for (const auto& sheet : _sheets)
        names.append(sheet.name);
    return names;
}

bool XlsxBook::editStyles(XmlPart* stylesOut, QString* stylesPartOut, bool* newStylesPartOut,
    XlsxCellStyles* cellStylesOut, QString* error) const
{
    QString& stylesPart = *stylesPartOut;
    stylesPart.clear();
    for (const auto& rel : _workbookRels)
        if (typeIs(rel.type, "styles"))
            stylesPart = rel.target;
    bool& newStylesPart = *newStylesPartOut;
    newStylesPart = stylesPart.isEmpty() || !hasPart(stylesPart);
    XmlPart& styles = *stylesOut;
    {
        QByteArray data = newStylesPart ? QByteArray(TemplateStyles) : QByteArray();
        if (!newStylesPart && !readPart(stylesPart, &data, error))
            return false;
        if (newStylesPart)
            stylesPart = Opc::resolve(_workbookPart, QStringLiteral("styles.xml"));
        if (!styles.parse(data, error))
            return false;
    }
    XlsxCellStyles& cellStyles = *cellStylesOut;
    {
        const XmlElement* root = styles.first(QStringLiteral("styleSheet"));
        const XmlElement* cellXfs = styles.first(QStringLiteral("cellXfs"));
        if (!root || !cellXfs) {
            *error = QStringLiteral("the styles part has no cell formats");
            return false;
        }
        const QString prefix = root->prefix();
        int dateFmt = -1;
        int maxFmt = 163;
        const XmlElement* numFmts = styles.first(QStringLiteral("numFmts"));
        if (numFmts) {
            for (const auto* fmt : styles.children(*numFmts)) {
                const int id = fmt->attribute(QStringLiteral("numFmtId")).toInt();
                maxFmt = std::max(maxFmt, id);
                if (fmt->attribute(QStringLiteral("formatCode")) == DateFormatCode && dateFmt < 0)
                    dateFmt = id;
            }
        }
        if (dateFmt < 0) {
            dateFmt = maxFmt + 1;
            const QString fmt = QStringLiteral("<%1 numFmtId=\"%2\" formatCode=\"m/yyyy\"/>")
                                    .arg(qualified(prefix, "numFmt"), QString::number(dateFmt));
            if (numFmts) {
                styles.appendChild(*numFmts, fmt);
                styles.setAttribute(*numFmts, QStringLiteral("count"),
                    QString::number(styles.children(*numFmts).size() + 1));
            } else {
                styles.insert(root->startTagEnd,
                    QStringLiteral("<%1 count=\"1\">%2</%1>")
                        .arg(qualified(prefix, "numFmts"), fmt));
            }
        }
        const auto xfs = styles.children(*cellXfs);
        QString wanted[3] = { headerXf(), dateXf(dateFmt), generalXf() };
        int index[3] = { -1, -1, -1 };
        int next = static_cast<int>(xfs.size());
        QString added;
        for (int k = 0; k < 3; ++k) {
            QString text = wanted[k];
            if (!prefix.isEmpty())
                text.replace(QRegularExpression(QStringLiteral("<(/?)(xf|alignment)\\b")),
                    QStringLiteral("<\\1") + prefix + QStringLiteral(":\\2"));
            for (size_t x = 0; x < xfs.size() && index[k] < 0; ++x)
                if (styles.text().midRef(xfs[x]->start, xfs[x]->end - xfs[x]->start) == text)
                    index[k] = static_cast<int>(x);
            if (index[k] < 0) {
                index[k] = next++;
                added += text;
            }
        }
        if (!added.isEmpty()) {
            styles.appendChild(*cellXfs, added);
            styles.setAttribute(*cellXfs, QStringLiteral("count"), QString::number(next));
        }
        cellStyles.header = index[0];
        cellStyles.date = index[1];
        cellStyles.number = index[2];
        cellStyles.missing = index[2];
    }
    return true;
}

bool XlsxBook::save(
    const std::vector<NewSheet>& newSheets, const std::atomic_bool* cancel, QString* error)
{
    const int oldCount = static_cast<int>(_sheets.size());
    // Where each existing sheet ends up: replaced ones are represented by their replacement.
    std::vector<int> newIndex(static_cast<size_t>(oldCount), -1);
    std::vector<bool> removed(static_cast<size_t>(oldCount), false);
    for (const auto& sheet : newSheets)
        if (sheet.replaces >= 0 && sheet.replaces < oldCount)
            removed[static_cast<size_t>(sheet.replaces)] = true;
    int kept = 0;
    for (int i = 0; i < oldCount; ++i)
        if (!removed[static_cast<size_t>(i)])
            newIndex[static_cast<size_t>(i)] = kept++;
    for (size_t n = 0; n < newSheets.size(); ++n)
        if (newSheets[n].replaces >= 0 && newSheets[n].replaces < oldCount)
            newIndex[static_cast<size_t>(newSheets[n].replaces)] = kept + static_cast<int>(n);
    const int newCount = kept + static_cast<int>(newSheets.size());
    const bool anyRemoved = kept < oldCount;

    // Parts owned only by the removed sheets go with them: follow their relationships, and
    // drop a target no remaining relationship part points at.
    QStringList allParts = partNames();
    QSet<QString> deleted; // keys
    QStringList deletedNames;
    auto markDeleted = [&](const QString& part) {
        const QString actual = actualName(part);
        if (actual.isEmpty() || deleted.contains(partKey(actual)))
            return false;
        deleted.insert(partKey(actual));
        deletedNames.append(actual);
        return true;
    };
    QSet<QString> removedRelIds;
    for (int i = 0; i < oldCount; ++i) {
        if (!removed[static_cast<size_t>(i)])
            continue;
        removedRelIds.insert(_sheets[static_cast<size_t>(i)].relId);
        if (!_sheets[static_cast<size_t>(i)].part.isEmpty())
            markDeleted(_sheets[static_cast<size_t>(i)].part);
    }
    // The calculation chain names cells by sheet id; Excel rebuilds it when it is missing, but
    // repairs the file when it refers to a sheet that is gone.
    for (const auto& rel : _workbookRels)
        if (anyRemoved && typeIs(rel.type, "calcChain")) {
            removedRelIds.insert(rel.id);
            markDeleted(rel.target);
        }
    for (bool grew = true; grew;) {
        grew = false;
        QSet<QString> referenced;
        std::vector<QString> candidates;
        for (const auto& part : allParts) {
            if (!part.endsWith(QLatin1String(".rels"), Qt::CaseInsensitive))
                continue;
            const int marker = part.lastIndexOf(QLatin1String("_rels/"));
            const QString source = part.left(marker) + part.mid(marker + 6).chopped(5);
            std::vector<Relationship> rels;
            if (!readRelationships(part, source, &rels, error))
                return false;
            const bool sourceGone = deleted.contains(partKey(source));
            for (const auto& rel : rels) {
                if (rel.external)
                    continue;
                if (sourceGone)
                    candidates.push_back(rel.target);
                else if (!(part == _workbookRelsPart && removedRelIds.contains(rel.id)))
                    referenced.insert(partKey(rel.target));
            }
            if (sourceGone)
                grew |= markDeleted(part);
        }
        for (const auto& candidate : candidates)
            if (!referenced.contains(partKey(candidate)))
                grew |= markDeleted(candidate);
    }

    QMap<QString, QByteArray> changed;

    // Styles: reuse or add the number format "m/yyyy" and the cell formats.
    QString stylesPart;
    bool newStylesPart = false;
    XmlPart styles;
    XlsxCellStyles cellStyles;
    if (!editStyles(&styles, &stylesPart, &newStylesPart, &cellStyles, error))
        return false;
    if (styles.modified() || newStylesPart)
        changed.insert(stylesPart, styles.result());

    // New sheet parts, relationship ids and sheet ids.
    QSet<QString> usedRelIds;
    for (const auto& rel : _workbookRels)
        usedRelIds.insert(rel.id);
    int maxSheetId = 0;
    for (const auto& sheet : _sheets)
        maxSheetId = std::max(maxSheetId, sheet.sheetId);
    int maxSheetNumber = 0;
    const QRegularExpression sheetFile(
        QStringLiteral("sheet(\\d+)\\.xml$"), QRegularExpression::CaseInsensitiveOption);
    for (const auto& part : allParts) {
        const auto m = sheetFile.match(part);
        if (m.hasMatch())
            maxSheetNumber = std::max(maxSheetNumber, m.captured(1).toInt());
    }
    const QString sheetDir = Opc::resolve(_workbookPart, QStringLiteral("worksheets/x")).chopped(1);
    struct Added {
        QString part, relId;
        int sheetId;
    };
    std::vector<Added> added;
    int relNumber = static_cast<int>(_workbookRels.size());
    for (size_t n = 0; n < newSheets.size(); ++n) {
        Added a;
        do
            a.part = sheetDir + QStringLiteral("sheet%1.xml").arg(++maxSheetNumber);
        while (hasPart(a.part));
        do
            a.relId = QStringLiteral("rId%1").arg(++relNumber);
        while (usedRelIds.contains(a.relId));
        usedRelIds.insert(a.relId);
        a.sheetId = ++maxSheetId;
        added.push_back(a);
    }

    // Workbook part.
    int activeAfterSave = 0;
    XmlPart workbook;
    {
        QByteArray data;
        if (!readPart(_workbookPart, &data, error) || !workbook.parse(data, error))
            return false;
        const XmlElement* sheetsElement = workbook.first(QStringLiteral("sheets"));
        if (!sheetsElement) {
            *error = QStringLiteral("the workbook part lists no sheets");
            return false;
        }
        const auto sheetElements = workbook.children(*sheetsElement);
        for (int i = 0; i < oldCount && i < static_cast<int>(sheetElements.size()); ++i)
            if (removed[static_cast<size_t>(i)])
                workbook.remove(*sheetElements[static_cast<size_t>(i)]);
        // The relationships prefix as the workbook declares it; if it doesn't, declare it here.
        const QRegularExpression declRe(
            QStringLiteral("xmlns:([A-Za-z_][\\w.-]*)\\s*=\\s*[\"']%1[\"']")
                .arg(QRegularExpression::escape(RelNs)));
        const XmlElement* root = workbook.first(QStringLiteral("workbook"));
        const auto declMatch = declRe.match(workbook.text().midRef(
            root ? root->start : 0, root ? root->startTagEnd - root->start : 0));
        QString sheetsXml;
        const QString sheetName = qualified(sheetsElement->prefix(), "sheet");
        int activeTab = 0;
        if (const XmlElement* view = workbook.first(QStringLiteral("workbookView")))
            activeTab = view->attribute(QStringLiteral("activeTab")).toInt();
        int newActive
            = activeTab >= 0 && activeTab < oldCount ? newIndex[static_cast<size_t>(activeTab)] : 0;
        if (newActive < 0 || newActive >= newCount)
            newActive = 0;
        for (size_t n = 0; n < newSheets.size(); ++n) {
            const QString idAttr = declMatch.hasMatch()
                ? QString(declMatch.captured(1) + QStringLiteral(":id=\""))
                : QString(QStringLiteral("xmlns:r=\"") + RelNs + QStringLiteral("\" r:id=\""));
            // One pass: a sheet name may hold "%3" itself.
            sheetsXml += QStringLiteral("<%1 name=\"%2\" sheetId=\"%3\" %4%5\"/>")
                             .arg(sheetName, XmlPart::escape(newSheets[n].data->name()),
                                 QString::number(added[n].sheetId), idAttr, added[n].relId);
        }
        workbook.appendChild(*sheetsElement, sheetsXml);

        // Positions: local names and the view follow their sheet to its new place.
        for (const auto* name : workbook.find(QStringLiteral("definedName"))) {
            if (!name->attributes.hasAttribute(QStringLiteral("localSheetId")))
                continue;
            const int local = name->attribute(QStringLiteral("localSheetId")).toInt();
            if (local >= 0 && local < oldCount && newIndex[static_cast<size_t>(local)] != local)
                workbook.setAttribute(*name, QStringLiteral("localSheetId"),
                    QString::number(newIndex[static_cast<size_t>(local)]));
        }
        for (const auto* view : workbook.find(QStringLiteral("workbookView"))) {
            if (view->attributes.hasAttribute(QStringLiteral("activeTab"))
                && newActive != activeTab)
                workbook.setAttribute(
                    *view, QStringLiteral("activeTab"), QString::number(newActive));
            if (view->attributes.hasAttribute(QStringLiteral("firstSheet"))) {
                const int first = view->attribute(QStringLiteral("firstSheet")).toInt();
                int mapped
                    = first >= 0 && first < oldCount ? newIndex[static_cast<size_t>(first)] : 0;
                mapped = std::min(std::max(mapped, 0), newCount - 1);
                if (mapped != first)
                    workbook.setAttribute(
                        *view, QStringLiteral("firstSheet"), QString::number(mapped));
            }
        }
        changed.insert(_workbookPart, workbook.result());
        activeAfterSave = newActive;
    }

    // Workbook relationships.
    {
        XmlPart rels;
        QByteArray data;
        if (!readPart(_workbookRelsPart, &data, error) || !rels.parse(data, error))
            return false;
        const XmlElement* root = rels.first(QStringLiteral("Relationships"));
        if (!root) {
            *error = QStringLiteral("the workbook relationships are malformed");
            return false;
        }
        for (const auto* rel : rels.find(QStringLiteral("Relationship")))
            if (removedRelIds.contains(rel->attribute(QStringLiteral("Id"))))
                rels.remove(*rel);
        QString xml;
        for (const auto& a : added)
            xml += QStringLiteral("<%1 Id=\"%2\" Type=\"%3\" Target=\"%4\"/>")
                       .arg(qualified(root->prefix(), "Relationship"), a.relId, WorksheetRelType,
                           XmlPart::escape(Opc::relativeTarget(_workbookPart, a.part)));
        if (newStylesPart)
            xml += QStringLiteral("<%1 Id=\"%2\" Type=\"%3\" Target=\"%4\"/>")
                       .arg(qualified(root->prefix(), "Relationship"),
                           QStringLiteral("rIdStyles%1").arg(relNumber + 1),
                           RelNs + QStringLiteral("/styles"),
                           Opc::relativeTarget(_workbookPart, stylesPart));
        rels.appendChild(*root, xml);
        changed.insert(_workbookRelsPart, rels.result());
    }

    // The app properties may list the sheet titles; they are brought up to date, or, when the
    // list can't be recognised, the part goes with its package relationship rather than stay
    // inconsistent (which Excel repairs by throwing the part away).
    {
        std::vector<Relationship> packageRels;
        if (!readRelationships(PackageRelsPart, QString(), &packageRels, error))
            return false;
        QStringList namesAfter;
        for (int i = 0; i < oldCount; ++i)
            if (!removed[static_cast<size_t>(i)])
                namesAfter.append(_sheets[static_cast<size_t>(i)].name);
        for (const auto& sheet : newSheets)
            namesAfter.append(sheet.data->name());
        for (const auto& rel : packageRels) {
            if (!typeIs(rel.type, "extended-properties") || !hasPart(rel.target))
                continue;
            QByteArray app;
            if (!readPart(rel.target, &app, error))
                return false;
            if (!app.contains("TitlesOfParts") && !app.contains("HeadingPairs"))
                continue;
            XmlPart appXml;
            if (appXml.parse(app, error) && updateSheetTitles(appXml, sheetNames(), namesAfter)) {
                changed.insert(actualName(rel.target), appXml.result());
                continue;
            }
            markDeleted(rel.target);
            QByteArray packageRelsData;
            XmlPart pkg;
            if (!readPart(PackageRelsPart, &packageRelsData, error)
                || !pkg.parse(packageRelsData, error))
                return false;
            for (const auto* element : pkg.find(QStringLiteral("Relationship")))
                if (element->attribute(QStringLiteral("Id")) == rel.id)
                    pkg.remove(*element);
            changed.insert(PackageRelsPart, pkg.result());
        }
    }

    // Content types.
    {
        XmlPart types;
        QByteArray data;
        if (!readPart(ContentTypesPart, &data, error) || !types.parse(data, error))
            return false;
        const XmlElement* root = types.first(QStringLiteral("Types"));
        if (!root) {
            *error = QStringLiteral("the content types are malformed");
            return false;
        }
        for (const auto* over : types.find(QStringLiteral("Override")))
            if (deleted.contains(partKey(over->attribute(QStringLiteral("PartName")).mid(1))))
                types.remove(*over);
        QString xml;
        for (const auto& a : added)
            xml += QStringLiteral("<%1 PartName=\"/%2\" ContentType=\"%3\"/>")
                       .arg(qualified(root->prefix(), "Override"), XmlPart::escape(a.part),
                           WorksheetType);
        if (newStylesPart && !_templateParts.contains(stylesPart))
            xml += QStringLiteral(
                "<%1 PartName=\"/%2\" ContentType=\"application/vnd.openxmlformats-"
                "officedocument.spreadsheetml.styles+xml\"/>")
                       .arg(qualified(root->prefix(), "Override"), stylesPart);
        types.appendChild(*root, xml);
        changed.insert(ContentTypesPart, types.result());
    }

    if (!applyPropertyChanges(changed, error))
        return false;

    std::vector<SheetPart> sheetParts;
    for (size_t n = 0; n < newSheets.size(); ++n)
        sheetParts.push_back(
            { added[n].part, newSheets[n].data, kept + static_cast<int>(n) == activeAfterSave });
    const bool written = compressSheets(newSheets, cellStyles, cancel, error)
        && writeArchive(changed, deletedNames, sheetParts, error);
    _deflater.reset();
    return written;
}

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

bool XlsxBook::applyPropertyChanges(QMap<QString, QByteArray>& changed, QString* error) const
{
    if (_propertyChanges.empty())
        return true;
    // A part as this save leaves it: edited already, or as it is in the book.
    auto current = [&](const QString& part, QByteArray* data) {
        for (auto it = changed.constBegin(); it != changed.constEnd(); ++it)
            if (it.key().compare(part, Qt::CaseInsensitive) == 0) {
                *data = it.value();
                return true;
            }
        return readPart(part, data, error);
    };

    std::vector<Relationship> packageRels;
    if (!readRelationships(PackageRelsPart, QString(), &packageRels, error))
        return false;
    QString part;
    for (const auto& rel : packageRels)
        if (!rel.external && typeIs(rel.type, "custom-properties"))
            part = rel.target;
    QByteArray existing;
    const bool hasExisting = !part.isEmpty() && hasPart(part);
    if (hasExisting && !current(actualName(part), &existing))
        return false;
    if (!hasExisting && _propertyChanges.added.empty())
        return true; // nothing to drop, nothing to add
    QByteArray updated;
    bool modified = false;
    if (!CustomXml::update(existing, _propertyChanges, &updated, &modified, error))
        return false;
    if (!modified)
        return true;

    if (part.isEmpty()) {
        // A new part, with its package relationship.
        part = CustomXml::DefaultPart;
        for (int n = 2; hasPart(part); ++n)
            part = QStringLiteral("docProps/custom%1.xml").arg(n);
        QByteArray relsData;
        XmlPart rels;
        if (!current(PackageRelsPart, &relsData) || !rels.parse(relsData, error))
            return false;
        const XmlElement* root = rels.first(QStringLiteral("Relationships"));
        if (!root) {
            *error = QStringLiteral("the package relationships are malformed");
            return false;
        }
        QSet<QString> ids;
        for (const auto* rel : rels.find(QStringLiteral("Relationship")))
            ids.insert(rel->attribute(QStringLiteral("Id")));
        QString id = QStringLiteral("rIdCustomProperties");
        for (int n = 2; ids.contains(id); ++n)
            id = QStringLiteral("rIdCustomProperties%1").arg(n);
        rels.appendChild(*root,
            QStringLiteral("<%1 Id=\"%2\" Type=\"%3\" Target=\"%4\"/>")
                .arg(qualified(root->prefix(), "Relationship"), id, CustomXml::RelationshipType,
                    part));
        changed.insert(PackageRelsPart, rels.result());
    }
    changed.insert(hasExisting ? actualName(part) : part, updated);

    // Its content type, unless the book declares one already.
    QByteArray typesData;
    XmlPart types;
    if (!current(ContentTypesPart, &typesData) || !types.parse(typesData, error))
        return false;
    const XmlElement* root = types.first(QStringLiteral("Types"));
    if (!root) {
        *error = QStringLiteral("the content types are malformed");
        return false;
    }
    for (const auto* over : types.find(QStringLiteral("Override")))
        if (over->attribute(QStringLiteral("PartName"))
                .compare(QLatin1Char('/') + part, Qt::CaseInsensitive)
            == 0)
            return true;
    types.appendChild(*root,
        QStringLiteral("<%1 PartName=\"/%2\" ContentType=\"%3\"/>")
            .arg(qualified(root->prefix(), "Override"), XmlPart::escape(part),
                CustomXml::ContentType));
    changed.insert(ContentTypesPart, types.result());
    return true;
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
