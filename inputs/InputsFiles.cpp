#include "inputs/InputsFiles.h"

#include "inputs/ProjectInputs.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace Inputs {

namespace {

QString number(double value)
{
    return Workbook::plainNumber(value);
}

QString typeName(int typeId)
{
    return typeId == TARN::AttrTypeAggDiv ? SiteType : WaterUserType;
}

Sheet baselineSheet(const Baseline& baseline)
{
    Sheet sheet { SheetName::Baseline, { Column::Field, Column::Value }, {}, { false, true } };
    sheet.rows = { { Column::Description, baseline.Description },
        { Column::StartYear, QString::number(baseline.StartYear) },
        { Column::EndYear, QString::number(baseline.EndYear) },
        { Column::OutputNaming, TARN::outputTypeName(baseline.outputTypeId) } };
    return sheet;
}

Sheet attributeSheet(const ProjectInputs& project)
{
    Sheet sheet { SheetName::Attributes, { Column::Attribute, Column::Type, Column::Value }, {},
        {} };
    for (const AttributeInfo& attribute : project.attributes)
        for (const AttrValidVal& value : attribute.values)
            sheet.rows.append({ attribute.name, typeName(attribute.typeId), value.AttrVal });
    return sheet;
}

Sheet siteSheet(const ProjectInputs& project)
{
    Sheet sheet { SheetName::Sites,
        { Column::RiffleName, Column::Name, Column::SalinityMethod, Column::Notes, Column::Order },
        {}, { false, false, false, false, true } };
    const QList<const AttributeInfo*> attributes = project.attributesOf(TARN::AttrTypeAggDiv);
    for (const AttributeInfo* attribute : attributes)
        sheet.header.append(attribute->name);
    for (const AggDiv& site : project.sites) {
        QStringList row { site.RiffleName, site.SiteName, site.salinityMethod.label, site.Notes,
            QString::number(site.Ord) };
        const QHash<int, QString> values = project.siteValues.value(site.AggDivID);
        for (const AttributeInfo* attribute : attributes)
            row.append(values.value(attribute->id));
        sheet.rows.append(row);
    }
    return sheet;
}

Sheet waterUserSheet(const ProjectInputs& project)
{
    Sheet sheet { SheetName::WaterUsers,
        { Column::Site, Column::RiffleName, Column::Name, Column::Notes, Column::Order }, {}, {} };
    const QList<const AttributeInfo*> attributes = addWaterUserColumns(sheet, project);
    for (const WaterUser& waterUser : project.waterUsers) {
        sheet.rows.append(
            QStringList { waterUser.aggDiv.RiffleName, waterUser.RiffleName,
                waterUser.WaterUserName, waterUser.Notes, QString::number(waterUser.Ord) }
            + waterUserCells(project, waterUser, attributes));
    }
    return sheet;
}

Sheet yearlySheet(const ProjectInputs& project)
{
    Sheet sheet { SheetName::YearlyData,
        { Column::Site, Column::WaterUser, Column::Year, Column::Diversion, Column::Depletion,
            Column::EfficiencyRatio, Column::SalinityPickup },
        {}, { false, false, true, true, true, true, true } };
    for (const WaterUser& waterUser : project.waterUsers) {
        const QMap<int, WaterUserData> rows = project.yearly.value(waterUser.WaterUserID);
        for (const WaterUserData& row : rows) {
            if (row.isEmpty())
                continue; // a year without data: no row
            sheet.rows.append({ waterUser.aggDiv.RiffleName, waterUser.RiffleName,
                QString::number(row.Year), number(row.DiversionReq), number(row.DepletionReq),
                number(row.EfficiencyRatio), number(row.SalinityPickup) });
        }
    }
    return sheet;
}

QString csvField(const QString& text)
{
    // A leading byte order mark is quoted: at the start of a file the reader would skip it.
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))
        && !text.startsWith(QChar(0xfeff)))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QList<const AttributeInfo*> addWaterUserColumns(Sheet& sheet, const ProjectInputs& project)
{
    const int textColumns = sheet.header.size() - 1;
    sheet.header += monthColumns();
    sheet.numeric = QVector<bool>(sheet.header.size(), true);
    for (int c = 0; c < textColumns; ++c)
        sheet.numeric[c] = false;
    const QList<const AttributeInfo*> attributes = project.attributesOf(TARN::AttrTypeWaterUser);
    for (const AttributeInfo* attribute : attributes)
        sheet.header.append(attribute->name);
    return attributes;
}

QStringList waterUserCells(const ProjectInputs& project, const WaterUser& waterUser,
    const QList<const AttributeInfo*>& attributes)
{
    QStringList cells;
    const QVector<double> months = project.coefficients.value(waterUser.WaterUserID);
    for (int m = 0; m < 12; ++m)
        cells.append(m < months.size() ? number(months.at(m)) : QString());
    const QHash<int, QString> values = project.waterUserValues.value(waterUser.WaterUserID);
    for (const AttributeInfo* attribute : attributes)
        cells.append(values.value(attribute->id));
    return cells;
}

Book makeBook(const ProjectInputs& project, const QList<int>& scenarioIds)
{
    return Book { baselineSheet(project.baseline), attributeSheet(project), siteSheet(project),
        waterUserSheet(project), yearlySheet(project) }
    + scenarioSheets(project, scenarioIds);
}

bool isCsvFolder(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix != QLatin1String("xlsx") && suffix != QLatin1String("xlsm")
        && suffix != QLatin1String("xls");
}

QByteArray toCsv(const Sheet& sheet)
{
    QString text;
    const auto line = [&text](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells)
            fields.append(csvField(cell));
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    line(sheet.header);
    for (const QStringList& row : sheet.rows)
        line(row);
    return text.toUtf8();
}

bool fromCsv(const QByteArray& data, Sheet& sheet, QString* error)
{
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    int line = 1;
    int quoteLine = 0;
    const auto endField = [&]() {
        row.append(field);
        field.clear();
        wasQuoted = false;
    };
    const auto endRow = [&]() {
        endField();
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
        rows.append(row);
        row.clear();
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (ch == QLatin1Char('\n'))
                    ++line;
                field += ch;
            }
        } else if (ch == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            quoteLine = line;
        } else if (ch == QLatin1Char(',')) {
            endField();
        } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size()
                && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRow();
            ++line;
        } else {
            field += ch;
        }
    }
    if (quoted) {
        *error = QStringLiteral("The quoted field that starts on line %1 is never closed.")
                     .arg(quoteLine);
        return false;
    }
    if (!field.isEmpty() || !row.isEmpty())
        endRow();
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    sheet.header = rows.isEmpty() ? QStringList() : rows.takeFirst();
    sheet.rows = rows;
    return true;
}

TARN::okstat writeBook(const Book& book, const QString& path)
{
    if (!isCsvFolder(path)) {
        QString error;
        if (!Workbook::writePlainBook(path, book, &error))
            return QStringLiteral("Unable to write %1: %2").arg(path, error);
        return {};
    }
    if (!QDir().mkpath(path))
        return QStringLiteral("Unable to make the folder %1: check that its parent folder exists "
                              "and may be written to.")
            .arg(path);
    for (const Sheet& sheet : book) {
        QSaveFile file(QDir(path).filePath(sheet.name + QStringLiteral(".csv")));
        if (!file.open(QIODevice::WriteOnly) || file.write(toCsv(sheet)) < 0 || !file.commit())
            return QStringLiteral("Unable to write %1: %2")
                .arg(file.fileName(), file.errorString());
    }
    return {};
}

TARN::okstat readBook(const QString& path, Book& book)
{
    book.clear();
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist.").arg(path);
    if (!info.isDir()) {
        QString error;
        if (!Workbook::readPlainBook(path, &book, &error))
            return QStringLiteral("Unable to read %1: %2").arg(path, error);
        return {};
    }
    const QFileInfoList files = QDir(path).entryInfoList(
        { QStringLiteral("*.csv"), QStringLiteral("*.CSV") }, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return QStringLiteral("The folder %1 holds no .csv file.").arg(path);
    for (const QFileInfo& fileInfo : files) {
        QFile file(fileInfo.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("Unable to read %1: %2").arg(file.fileName(), file.errorString());
        Sheet sheet;
        sheet.name = fileInfo.completeBaseName();
        QString error;
        if (!fromCsv(file.readAll(), sheet, &error))
            return QStringLiteral("Unable to read %1: %2").arg(file.fileName(), error);
        book.append(sheet);
    }
    return {};
}

} // namespace Inputs
