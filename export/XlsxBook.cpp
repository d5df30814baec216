#include "XlsxBook.h"

#include "SheetData.h"
#include "SheetFingerprint.h"
#include "XlsxPackage.h"
#include "XlsxSheetDeflater.h"
#include "XlsxSheetStream.h"
#include "XmlSplice.h"
#include "ZipEntry.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace TARN {

using namespace XlsxPackage;

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
    _path = linkTarget(path);
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
    // The archive is written next to the file it replaces and renamed over it: through a
    // symbolic link, that is the file the link points at, and the link stays.
    _path = linkTarget(path);
    int code = 0;
    _zip = zip_open(QFile::encodeName(_path).constData(), 0, &code);
    if (!_zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        *error = QString::fromLocal8Bit(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        return false;
    }
    return loadStructure(error) && checkWorkbookType(error);
}

bool XlsxBook::checkWorkbookType(QString* error) const
{
    // A workbook part without the content type of a workbook makes a package no spreadsheet
    // program opens: an export into it would write such a file again. (A macro-enabled book
    // named .xlsx, or the other way round, keeps the type it has.)
    QByteArray data;
    XmlPart types;
    if (!readPart(ContentTypesPart, &data, error) || !types.parse(data, error))
        return false;
    QString type;
    for (const auto* over : types.find(QStringLiteral("Override"))) {
        if (over->attribute(QStringLiteral("PartName"))
                .compare(QLatin1Char('/') + _workbookPart, Qt::CaseInsensitive)
            == 0)
            type = over->attribute(QStringLiteral("ContentType")).trimmed();
    }
    if (type.isEmpty()) {
        const QString extension
            = _workbookPart.mid(_workbookPart.lastIndexOf(QLatin1Char('.')) + 1);
        for (const auto* fallback : types.find(QStringLiteral("Default"))) {
            if (fallback->attribute(QStringLiteral("Extension"))
                    .compare(extension, Qt::CaseInsensitive)
                == 0)
                type = fallback->attribute(QStringLiteral("ContentType")).trimmed();
        }
    }
    if (type.isEmpty()) {
        *error = QStringLiteral("the workbook part %1 has no content type").arg(_workbookPart);
        return false;
    }
    if (type != XlsxMainType && type != XlsmMainType) {
        *error = QStringLiteral("the workbook part %1 has the content type %2, which is not that "
                                "of a workbook (%3 or %4)")
                     .arg(_workbookPart, type, XlsxMainType, XlsmMainType);
        return false;
    }
    return true;
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
    // The book reads only the small parts: relationships, content types, workbook, styles and
    // document properties.
    return ZipEntry::read(_zip, name, ZipEntry::SmallPart, data, error);
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
            if (rel.id == sheet.relId) {
                sheet.part = rel.target;
                sheet.chart = typeIs(rel.type, "chartsheet");
            }
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

bool XlsxBook::save(
    const std::vector<NewSheet>& newSheets, const std::atomic_bool* cancel, QString* error)
{
    const int oldCount = static_cast<int>(_sheets.size());
    // Where each existing sheet ends up: replaced ones are represented by their replacement.
    Layout layout;
    layout.newIndex.assign(static_cast<size_t>(oldCount), -1);
    layout.removed.assign(static_cast<size_t>(oldCount), false);
    std::vector<bool>& removed = layout.removed;
    for (const auto& sheet : newSheets)
        if (sheet.replaces >= 0 && sheet.replaces < oldCount)
            removed[static_cast<size_t>(sheet.replaces)] = true;
    int kept = 0;
    for (int i = 0; i < oldCount; ++i)
        if (!removed[static_cast<size_t>(i)])
            layout.newIndex[static_cast<size_t>(i)] = kept++;
    for (size_t n = 0; n < newSheets.size(); ++n)
        if (newSheets[n].replaces >= 0 && newSheets[n].replaces < oldCount)
            layout.newIndex[static_cast<size_t>(newSheets[n].replaces)]
                = kept + static_cast<int>(n);
    layout.kept = kept;
    layout.newCount = kept + static_cast<int>(newSheets.size());
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
    std::vector<AddedSheet> added;
    int relNumber = static_cast<int>(_workbookRels.size());
    for (size_t n = 0; n < newSheets.size(); ++n) {
        AddedSheet a;
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
    if (!editWorkbook(layout, newSheets, added, changed, &activeAfterSave, error))
        return false;

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

    if (!editAppProperties(layout, newSheets, changed, error))
        return false;

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

    std::vector<SheetPart> sheetParts;
    for (size_t n = 0; n < newSheets.size(); ++n)
        sheetParts.push_back(
            { added[n].part, newSheets[n].data, kept + static_cast<int>(n) == activeAfterSave });
    // The sheets are compressed first: their parts' CRCs and sizes are recorded beside their
    // content hashes, so that a later comparison can tell whether the part is still this one.
    bool written = compressSheets(newSheets, cellStyles, cancel, error);
    PropertyChanges properties = _propertyChanges;
    for (const auto& sheet : sheetParts) {
        uint32_t crc = 0;
        uint64_t size = 0;
        if (written && _deflater->partSignature(sheet.data, sheet.tabSelected, &crc, &size))
            Fingerprint::addPartSignature(
                properties, sheet.data->name(), Fingerprint::partSignatureText(crc, size));
    }
    written = written && applyPropertyChanges(properties, changed, error)
        && writeArchive(changed, deletedNames, sheetParts, error);
    _deflater.reset();
    return written;
}

} // namespace TARN
