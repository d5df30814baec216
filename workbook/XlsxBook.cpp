#include "XlsxBook.h"

#include "SheetData.h"
#include "SheetFingerprint.h"
#include "SheetLayout.h"
#include "XlsxPackage.h"
#include "XlsxSheetDeflater.h"
#include "XlsxSheetStream.h"
#include "XmlSplice.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace Workbook {

using namespace XlsxPackage;

XlsxBook::XlsxBook() = default;

XlsxBook::~XlsxBook() = default;

void XlsxBook::create(const QString& path, bool macroEnabled)
{
    QMap<QString, QByteArray> parts;
    parts.insert(ContentTypesPart, templateContentTypes(macroEnabled));
    parts.insert(PackageRelsPart, TemplatePackageRels);
    parts.insert(QStringLiteral("xl/workbook.xml"), TemplateWorkbook);
    parts.insert(QStringLiteral("xl/_rels/workbook.xml.rels"), TemplateWorkbookRels);
    parts.insert(QStringLiteral("xl/styles.xml"), TemplateStyles);
    _package.create(linkTarget(path), parts);
    QString error;
    loadStructure(&error); // the template is known to be sound
}

bool XlsxBook::load(const QString& path, QString* error)
{
    // The archive is written next to the file it replaces and renamed over it: through a
    // symbolic link, that is the file the link points at, and the link stays.
    return _package.open(linkTarget(path), OpcPackage::ReadWrite, error) && loadStructure(error)
        && checkWorkbookType(error);
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

bool XlsxBook::loadStructure(QString* error)
{
    std::vector<Relationship> packageRels;
    if (!_package.readRelationships(PackageRelsPart, QString(), &packageRels, error))
        return false;
    for (const auto& rel : packageRels)
        if (typeIs(rel.type, "officeDocument"))
            _workbookPart = rel.target;
    if (_workbookPart.isEmpty() || !_package.hasPart(_workbookPart)) {
        *error = QStringLiteral("the package has no workbook part");
        return false;
    }
    _workbookPart = _package.actualName(_workbookPart);
    _workbookRelsPart = OpcPackage::relsPartOf(_workbookPart);
    if (!_package.readRelationships(_workbookRelsPart, _workbookPart, &_workbookRels, error))
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
    return namesOf(_sheets);
}

bool XlsxBook::save(
    const std::vector<NewSheet>& newSheets, const std::atomic_bool* cancel, QString* error)
{
    const int oldCount = static_cast<int>(_sheets.size());
    const SheetLayout layout(oldCount, newSheets);
    const std::vector<bool>& removed = layout.removed;
    const int kept = layout.kept;
    const bool anyRemoved = kept < oldCount;

    // Parts owned only by the removed sheets go with them: follow their relationships, and
    // drop a target no remaining relationship part points at.
    QStringList allParts = _package.partNames();
    QSet<QString> deleted; // keys
    QStringList deletedNames;
    auto markDeleted = [&](const QString& part) {
        const QString actual = _package.actualName(part);
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
            if (!_package.readRelationships(part, source, &rels, error))
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
    const QString sheetDir
        = OpcPackage::resolve(_workbookPart, QStringLiteral("worksheets/x")).chopped(1);
    std::vector<AddedSheet> added;
    int relNumber = static_cast<int>(_workbookRels.size());
    for (size_t n = 0; n < newSheets.size(); ++n) {
        AddedSheet a;
        do
            a.part = sheetDir + QStringLiteral("sheet%1.xml").arg(++maxSheetNumber);
        while (_package.hasPart(a.part));
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

    const QString newStyles = newStylesPart ? stylesPart : QString();
    if (!editWorkbookRelationships(removedRelIds, added, newStyles, relNumber, changed, error))
        return false;
    if (!editAppProperties(layout, newSheets, changed, error))
        return false;

    if (!editContentTypes(deleted, added, newStyles, changed, error))
        return false;

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

} // namespace Workbook
