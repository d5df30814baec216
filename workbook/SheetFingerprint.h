#pragma once

#include "DocProperties.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace Workbook {

class SheetData;

// What an export records about each sheet it writes, as custom document properties of the book
// named "Tarnhelm <what>: <sheet name>". Sheet names hold at most 31 characters and never a
// colon, so the longest name ("Tarnhelm Scenario Hash: " and 31 characters) stays far below the
// 255 characters Excel allows, and the sheet name is everything after the first ": ".
struct SheetFingerprint {
    QString sheet;
    QByteArray contentHash; // SHA-256 of the canonical content, lower-case hex
    QString project; // the project file's name, without its folder
    int firstYear = 0;
    int lastYear = 0;
    QDateTime exportTime; // UTC, whole seconds
    QByteArray scenarioHash; // SHA-256 of the scenario's definition; empty for the baseline
    // Further properties recorded with the sheet's (an ensemble member's plan and values).
    DocProperties extra;

    DocProperties properties() const;
};

namespace Fingerprint {

extern const QString Prefix; // "Tarnhelm "
extern const QString SheetHash;
extern const QString Project;
extern const QString FirstYear;
extern const QString LastYear;
extern const QString ExportTime;
extern const QString ScenarioHash;
extern const QString SheetPart;

// Every property name an export writes for a sheet.
QStringList propertyNames(const QString& sheet);

// "<CRC-32 in 8 hex digits>/<size>": the sheet's part (.xlsx) or substream (.xls) as it was
// written, recorded beside the content hash ("Tarnhelm Sheet Part: <sheet>"). A program that
// edits the sheet afterwards (and keeps the custom properties) changes it, and the content
// hash is then no longer trusted.
QString partSignatureText(uint32_t crc, uint64_t size);

// Adds the part signature of a sheet to the changes a save makes, when they record the
// sheet's content hash.
void addPartSignature(PropertyChanges& changes, const QString& sheet, const QString& signature);

// "Tarnhelm <what>: <sheet>".
QString propertyName(const QString& what, const QString& sheet);

// The sheet a property of this scheme describes (empty when the name isn't one of ours).
QString sheetOf(const QString& propertyName);

// The content hash recorded for each sheet, by sheet name in lower case.
QHash<QString, QByteArray> sheetHashes(const DocProperties& properties);
// The project file recorded for each sheet, by sheet name as recorded.
QHash<QString, QString> sheetProjects(const DocProperties& properties);
// The part signature recorded for each sheet, by sheet name in lower case.
QHash<QString, QString> partSignatures(const DocProperties& properties);

// SHA-256 (lower-case hex) over the canonical text of the sheet's content, in UTF-8: a line of
// the column names of columns 1 on, separated by tabs; then one line per data row: the row's date
// as YYYY-MM-DD (empty when it has none), and for each column a tab and its value: a number in
// its shortest round-trip form, "NaN" when it is missing, nothing when the column is shorter.
// Each line ends in a line feed; a backslash, tab, line feed or carriage return in a name is
// written as \\, \t, \n or \r.
bool contentHash(const SheetData& sheet, QByteArray* hash, QString* error);

} // namespace Fingerprint

} // namespace Workbook
