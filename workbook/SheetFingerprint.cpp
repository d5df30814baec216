#include "SheetFingerprint.h"

#include "CellFormat.h"
#include "Sha256.h"
#include "SheetData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace Workbook {

namespace Fingerprint {

const QString Prefix = QStringLiteral("Tarnhelm ");
const QString SheetHash = QStringLiteral("Sheet Hash");
const QString Project = QStringLiteral("Project");
const QString FirstYear = QStringLiteral("First Year");
const QString LastYear = QStringLiteral("Last Year");
const QString ExportTime = QStringLiteral("Export Time");
const QString ScenarioHash = QStringLiteral("Scenario Hash");
const QString SheetPart = QStringLiteral("Sheet Part");

QStringList propertyNames(const QString& sheet)
{
    QStringList names;
    for (const QString& what :
        { SheetHash, SheetPart, Project, FirstYear, LastYear, ExportTime, ScenarioHash })
        names.append(propertyName(what, sheet));
    return names;
}

QString partSignatureText(uint32_t crc, uint64_t size)
{
    return QStringLiteral("%1/%2").arg(
        QString::number(crc, 16).rightJustified(8, QLatin1Char('0')), QString::number(size));
}

void addPartSignature(PropertyChanges& changes, const QString& sheet, const QString& signature)
{
    const QString hash = propertyName(SheetHash, sheet);
    const bool hashed = std::any_of(changes.added.begin(), changes.added.end(),
        [&hash](const DocProperty& p) { return p.name.compare(hash, Qt::CaseInsensitive) == 0; });
    if (hashed && !signature.isEmpty())
        changes.added.push_back(
            DocProperty::textProperty(propertyName(SheetPart, sheet), signature));
}

QString propertyName(const QString& what, const QString& sheet)
{
    return Prefix + what + QStringLiteral(": ") + sheet;
}

QString sheetOf(const QString& name)
{
    if (!name.startsWith(Prefix, Qt::CaseInsensitive))
        return QString();
    const int colon = name.indexOf(QStringLiteral(": "), Prefix.size());
    return colon < 0 ? QString() : name.mid(colon + 2);
}

QHash<QString, QByteArray> sheetHashes(const DocProperties& properties)
{
    QHash<QString, QByteArray> hashes;
    const QString start = Prefix + SheetHash + QStringLiteral(": ");
    for (const auto& p : properties)
        if (p.kind == DocProperty::Text && p.name.startsWith(start, Qt::CaseInsensitive)
            && !p.text.isEmpty())
            hashes.insert(
                p.name.mid(start.size()).toLower(), p.text.trimmed().toLatin1().toLower());
    return hashes;
}

QHash<QString, QString> sheetProjects(const DocProperties& properties)
{
    QHash<QString, QString> projects;
    const QString start = Prefix + Project + QStringLiteral(": ");
    for (const auto& p : properties)
        if (p.kind == DocProperty::Text && p.name.startsWith(start, Qt::CaseInsensitive)
            && !p.text.isEmpty())
            projects.insert(p.name.mid(start.size()), p.text);
    return projects;
}

QHash<QString, QString> partSignatures(const DocProperties& properties)
{
    QHash<QString, QString> signatures;
    const QString start = Prefix + SheetPart + QStringLiteral(": ");
    for (const auto& p : properties)
        if (p.kind == DocProperty::Text && p.name.startsWith(start, Qt::CaseInsensitive))
            signatures.insert(p.name.mid(start.size()).toLower(), p.text.trimmed().toLower());
    return signatures;
}

namespace {

void appendEscaped(std::string& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

bool contentHash(const SheetData& sheet, QByteArray* hash, QString* error)
{
    Sha256 sha;
    std::string header;
    for (int c = 0; c < sheet.columnCount(); ++c) {
        if (c > 0)
            header += '\t';
        appendEscaped(header, sheet.header(c));
    }
    header += '\n';
    sha.addData(header.data(), header.size());

    // Rows are written into a buffer with room for the longest row ("YYYY-MM-DD", and per
    // column a tab and at most 24 characters of number) and hashed a megabyte at a time.
    const int rows = sheet.usedRows() - 1;
    const int columns = sheet.columnCount();
    const size_t rowRoom = 16 + static_cast<size_t>(columns) * 32;
    std::vector<char> buffer(std::max<size_t>(size_t(1) << 20, 2 * rowRoom));
    char* const begin = buffer.data();
    char* const flushAt = begin + buffer.size() - rowRoom;
    char* out = begin;
    SheetData::RowReader cursor(sheet);
    error->clear();
    for (int row = 0; row < rows; ++row) {
        if (!cursor.next(error))
            return false;
        const size_t r = static_cast<size_t>(row);
        if (r < sheet.dates().size() && sheet.dates()[r].isValid()) {
            const QDate& d = sheet.dates()[r];
            out += std::snprintf(out, 16, "%04d-%02d-%02d", d.year(), d.month(), d.day());
        }
        for (int c = 0; c < columns; ++c) {
            *out++ = '\t';
            if (!cursor.has(c))
                continue;
            const double v = cursor.value(c);
            if (std::isfinite(v)) {
                out += XlCell::formatNumber(v, out);
            } else {
                std::memcpy(out, "NaN", 3);
                out += 3;
            }
        }
        *out++ = '\n';
        if (out >= flushAt) {
            sha.addData(begin, static_cast<size_t>(out - begin));
            out = begin;
        }
    }
    sha.addData(begin, static_cast<size_t>(out - begin));
    const QByteArray digest = sha.result();
    if (digest.isEmpty()) {
        *error = QStringLiteral("the sheet's content could not be hashed");
        return false;
    }
    *hash = digest.toHex();
    return true;
}

} // namespace Fingerprint

DocProperties SheetFingerprint::properties() const
{
    using namespace Fingerprint;
    DocProperties list;
    list.push_back(DocProperty::textProperty(
        propertyName(SheetHash, sheet), QString::fromLatin1(contentHash)));
    list.push_back(DocProperty::textProperty(propertyName(Project, sheet), project));
    list.push_back(DocProperty::integerProperty(propertyName(FirstYear, sheet), firstYear));
    list.push_back(DocProperty::integerProperty(propertyName(LastYear, sheet), lastYear));
    list.push_back(DocProperty::timeProperty(propertyName(ExportTime, sheet), exportTime));
    if (!scenarioHash.isEmpty())
        list.push_back(DocProperty::textProperty(
            propertyName(ScenarioHash, sheet), QString::fromLatin1(scenarioHash)));
    list.insert(list.end(), extra.begin(), extra.end());
    return list;
}

} // namespace Workbook
