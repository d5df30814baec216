#include "XlsxBook.h"

#include "CustomXml.h"
#include "SheetFingerprint.h"
#include "SheetLayout.h"
#include "XlsxPackage.h"
#include "XlsxSheetStream.h"
#include "XmlSplice.h"

#include <QRegularExpression>
#include <QSet>

// The parts a save edits beside the sheets: the workbook, its relationships, the content types,
// styles, custom and app properties.

namespace Workbook {

namespace {

using namespace XlsxPackage;

// Parses a part and finds its root element; null, with malformed as the reason, when it has
// none.
const XmlElement* parseRoot(XmlPart& xml, const QByteArray& data, const char* root,
    const QString& malformed, QString* error)
{
    if (!xml.parse(data, error))
        return nullptr;
    const XmlElement* element = xml.first(QLatin1String(root));
    if (!element)
        *error = malformed;
    return element;
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

// The element a new calcPr follows, in the workbook's schema order: the last of these present.
const XmlElement* calcPrAnchor(const XmlPart& workbook)
{
    const XmlElement* anchor = nullptr;
    for (const char* name : { "sheets", "functionGroups", "externalReferences", "definedNames" }) {
        if (const XmlElement* found = workbook.first(QLatin1String(name)))
            anchor = found;
    }
    return anchor;
}

} // namespace

bool XlsxBook::editWorkbook(const SheetLayout& layout, const std::vector<NewSheet>& newSheets,
    const std::vector<AddedSheet>& added, QMap<QString, QByteArray>& changed, int* activeAfterSave,
    QString* error) const
{
    const int oldCount = static_cast<int>(_sheets.size());
    const std::vector<bool>& removed = layout.removed;
    const std::vector<int>& newIndex = layout.newIndex;
    XmlPart workbook;
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
    const QRegularExpression declRe(QStringLiteral("xmlns:([A-Za-z_][\\w.-]*)\\s*=\\s*[\"']%1[\"']")
                                        .arg(QRegularExpression::escape(RelNs)));
    const XmlElement* root = workbook.first(QStringLiteral("workbook"));
    const auto declMatch = declRe.match(
        workbook.text().midRef(root ? root->start : 0, root ? root->startTagEnd - root->start : 0));
    QString sheetsXml;
    const QString sheetName = qualified(sheetsElement->prefix(), "sheet");
    int activeTab = 0;
    if (const XmlElement* view = workbook.first(QStringLiteral("workbookView")))
        activeTab = view->attribute(QStringLiteral("activeTab")).toInt();
    int newActive
        = activeTab >= 0 && activeTab < oldCount ? newIndex[static_cast<size_t>(activeTab)] : 0;
    if (newActive < 0 || newActive >= layout.newCount)
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

    // Positions: local names and the view follow their sheet to its new place. The built-in
    // names of a replaced sheet (its print area, its filter) belong to what it held and go
    // with it; the names a planner gave it stay with the new sheet of that name.
    bool anyRemoved = false;
    for (int i = 0; i < oldCount; ++i)
        anyRemoved = anyRemoved || removed[static_cast<size_t>(i)];
    const auto names = workbook.find(QStringLiteral("definedName"));
    int namesLeft = static_cast<int>(names.size());
    for (const auto* name : names) {
        if (!name->attributes.hasAttribute(QStringLiteral("localSheetId")))
            continue;
        const int local = name->attribute(QStringLiteral("localSheetId")).toInt();
        if (local < 0 || local >= oldCount)
            continue;
        if (removed[static_cast<size_t>(local)]
            && name->attribute(QStringLiteral("name")).startsWith(QLatin1String("_xlnm."))) {
            workbook.remove(*name);
            --namesLeft;
            continue;
        }
        if (newIndex[static_cast<size_t>(local)] != local)
            workbook.setAttribute(*name, QStringLiteral("localSheetId"),
                QString::number(newIndex[static_cast<size_t>(local)]));
    }
    if (namesLeft == 0) {
        // An empty definedNames is not allowed.
        if (const XmlElement* list = workbook.first(QStringLiteral("definedNames")))
            workbook.remove(*list);
    }
    for (const auto* view : workbook.find(QStringLiteral("workbookView"))) {
        if (view->attributes.hasAttribute(QStringLiteral("activeTab")) && newActive != activeTab)
            workbook.setAttribute(*view, QStringLiteral("activeTab"), QString::number(newActive));
        if (view->attributes.hasAttribute(QStringLiteral("firstSheet"))) {
            const int first = view->attribute(QStringLiteral("firstSheet")).toInt();
            int mapped = first >= 0 && first < oldCount ? newIndex[static_cast<size_t>(first)] : 0;
            mapped = std::min(std::max(mapped, 0), layout.newCount - 1);
            if (mapped != first)
                workbook.setAttribute(*view, QStringLiteral("firstSheet"), QString::number(mapped));
        }
    }
    // Formulas of other sheets that refer to a replaced sheet hold the values of the old one:
    // the book asks to be recalculated when it is opened.
    if (anyRemoved && layout.kept > 0) {
        if (const XmlElement* calcPr = workbook.first(QStringLiteral("calcPr"))) {
            if (calcPr->attribute(QStringLiteral("fullCalcOnLoad")) != QLatin1String("1"))
                workbook.setAttribute(
                    *calcPr, QStringLiteral("fullCalcOnLoad"), QStringLiteral("1"));
        } else if (const XmlElement* anchor = calcPrAnchor(workbook)) {
            workbook.insert(anchor->end,
                QStringLiteral("<%1 fullCalcOnLoad=\"1\"/>")
                    .arg(qualified(root ? root->prefix() : QString(), "calcPr")));
        }
    }
    changed.insert(_workbookPart, workbook.result());
    *activeAfterSave = newActive;
    return true;
}

bool XlsxBook::editAppProperties(const SheetLayout& layout, const std::vector<NewSheet>& newSheets,
    QMap<QString, QByteArray>& changed, QString* error) const
{
    // The titles of worksheets and of chartsheets are separate runs of the list.
    QStringList sheetsBefore;
    QStringList sheetsAfter;
    QStringList chartsBefore;
    QStringList chartsAfter;
    for (size_t i = 0; i < _sheets.size(); ++i) {
        const Sheet& sheet = _sheets[i];
        (sheet.chart ? chartsBefore : sheetsBefore).append(sheet.name);
        if (!layout.removed[i])
            (sheet.chart ? chartsAfter : sheetsAfter).append(sheet.name);
    }
    for (const auto& sheet : newSheets)
        sheetsAfter.append(sheet.data->name());

    std::vector<Relationship> packageRels;
    if (!_package.readRelationships(PackageRelsPart, QString(), &packageRels, error))
        return false;
    for (const auto& rel : packageRels) {
        if (!typeIs(rel.type, "extended-properties") || !_package.hasPart(rel.target))
            continue;
        QByteArray app;
        if (!readPart(rel.target, &app, error))
            return false;
        if (!app.contains("TitlesOfParts") && !app.contains("HeadingPairs"))
            continue;
        XmlPart appXml;
        if (!appXml.parse(app, error))
            return false;
        bool updated = updateSheetTitles(appXml, sheetsBefore, sheetsAfter);
        if (updated && chartsBefore != chartsAfter) {
            XmlPart again;
            updated = again.parse(appXml.result(), error)
                && updateSheetTitles(again, chartsBefore, chartsAfter);
            if (updated)
                appXml = again;
        }
        if (!updated) {
            // Lists it can't recognise go, rather than stay inconsistent (which Excel repairs
            // by throwing the whole part away): the company, the manager, the hyperlink base
            // and everything else of the part stay.
            if (!appXml.parse(app, error))
                return false;
            for (const char* name : { "HeadingPairs", "TitlesOfParts" }) {
                if (const XmlElement* element = appXml.first(QLatin1String(name)))
                    appXml.remove(*element);
            }
        }
        changed.insert(_package.actualName(rel.target), appXml.result());
    }
    return true;
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
    newStylesPart = stylesPart.isEmpty() || !_package.hasPart(stylesPart);
    XmlPart& styles = *stylesOut;
    {
        QByteArray data = newStylesPart ? QByteArray(TemplateStyles) : QByteArray();
        if (!newStylesPart && !readPart(stylesPart, &data, error))
            return false;
        if (newStylesPart)
            stylesPart = OpcPackage::resolve(_workbookPart, QStringLiteral("styles.xml"));
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

bool XlsxBook::editWorkbookRelationships(const QSet<QString>& removedRelIds,
    const std::vector<AddedSheet>& added, const QString& newStyles, int relNumber,
    QMap<QString, QByteArray>& changed, QString* error) const
{
    XmlPart rels;
    QByteArray data;
    const XmlElement* root = readPart(_workbookRelsPart, &data, error)
        ? parseRoot(rels, data, "Relationships",
            QStringLiteral("the workbook relationships are malformed"), error)
        : nullptr;
    if (!root)
        return false;
    for (const auto* rel : rels.find(QStringLiteral("Relationship")))
        if (removedRelIds.contains(rel->attribute(QStringLiteral("Id"))))
            rels.remove(*rel);
    QString xml;
    for (const auto& a : added)
        xml += QStringLiteral("<%1 Id=\"%2\" Type=\"%3\" Target=\"%4\"/>")
                   .arg(qualified(root->prefix(), "Relationship"), a.relId, WorksheetRelType,
                       XmlPart::escape(OpcPackage::relativeTarget(_workbookPart, a.part)));
    if (!newStyles.isEmpty())
        xml += QStringLiteral("<%1 Id=\"%2\" Type=\"%3\" Target=\"%4\"/>")
                   .arg(qualified(root->prefix(), "Relationship"),
                       QStringLiteral("rIdStyles%1").arg(relNumber + 1),
                       RelNs + QStringLiteral("/styles"),
                       OpcPackage::relativeTarget(_workbookPart, newStyles));
    rels.appendChild(*root, xml);
    changed.insert(_workbookRelsPart, rels.result());
    return true;
}

bool XlsxBook::editContentTypes(const QSet<QString>& deleted, const std::vector<AddedSheet>& added,
    const QString& newStyles, QMap<QString, QByteArray>& changed, QString* error) const
{
    XmlPart types;
    QByteArray data;
    const XmlElement* root = readPart(ContentTypesPart, &data, error)
        ? parseRoot(types, data, "Types", QStringLiteral("the content types are malformed"), error)
        : nullptr;
    if (!root)
        return false;
    for (const auto* over : types.find(QStringLiteral("Override")))
        if (deleted.contains(partKey(over->attribute(QStringLiteral("PartName")).mid(1))))
            types.remove(*over);
    QString xml;
    for (const auto& a : added)
        xml += QStringLiteral("<%1 PartName=\"/%2\" ContentType=\"%3\"/>")
                   .arg(qualified(root->prefix(), "Override"), XmlPart::escape(a.part),
                       WorksheetType);
    if (!newStyles.isEmpty())
        xml += QStringLiteral("<%1 PartName=\"/%2\" ContentType=\"application/vnd.openxmlformats-"
                              "officedocument.spreadsheetml.styles+xml\"/>")
                   .arg(qualified(root->prefix(), "Override"), newStyles);
    types.appendChild(*root, xml);
    changed.insert(ContentTypesPart, types.result());
    return true;
}

bool XlsxBook::applyPropertyChanges(
    const PropertyChanges& changes, QMap<QString, QByteArray>& changed, QString* error) const
{
    if (changes.empty())
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
    if (!_package.readRelationships(PackageRelsPart, QString(), &packageRels, error))
        return false;
    QString part;
    for (const auto& rel : packageRels)
        if (!rel.external && typeIs(rel.type, "custom-properties"))
            part = rel.target;
    QByteArray existing;
    const bool hasExisting = !part.isEmpty() && _package.hasPart(part);
    if (hasExisting && !current(_package.actualName(part), &existing))
        return false;
    if (!hasExisting && changes.added.empty())
        return true; // nothing to drop, nothing to add
    QByteArray updated;
    bool modified = false;
    if (!CustomXml::update(existing, changes, &updated, &modified, error))
        return false;
    if (!modified)
        return true;

    if (part.isEmpty()) {
        // A new part, with its package relationship.
        part = CustomXml::DefaultPart;
        for (int n = 2; _package.hasPart(part); ++n)
            part = QStringLiteral("docProps/custom%1.xml").arg(n);
        QByteArray relsData;
        XmlPart rels;
        const XmlElement* root = current(PackageRelsPart, &relsData)
            ? parseRoot(rels, relsData, "Relationships",
                QStringLiteral("the package relationships are malformed"), error)
            : nullptr;
        if (!root)
            return false;
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
    changed.insert(hasExisting ? _package.actualName(part) : part, updated);

    // Its content type, unless the book declares one already.
    QByteArray typesData;
    XmlPart types;
    const XmlElement* root = current(ContentTypesPart, &typesData) ? parseRoot(types, typesData,
                                 "Types", QStringLiteral("the content types are malformed"), error)
                                                                   : nullptr;
    if (!root)
        return false;
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

} // namespace Workbook
