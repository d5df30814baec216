#include "export/AttributeExporter.h"

#include "db/ApplicationTitle.h"
#include "workbook/XmlSplice.h"

#include <QDateTime>
#include <QHash>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QXmlStreamWriter>

namespace {

struct Assignment {
    QString name;
    QString value;
};

// No name or value a project holds may make the file unreadable.
QString xmlText(const QString& text)
{
    return Workbook::XmlPart::legalText(text);
}

// A comment may hold neither "--" nor end in "-"; a file name may hold both.
QString xmlComment(const QString& text)
{
    QString out = xmlText(text);
    while (out.contains(QLatin1String("--")))
        out.replace(QLatin1String("--"), QLatin1String("- -"));
    if (out.endsWith(QLatin1Char('-')))
        out += QLatin1Char(' ');
    return out;
}

// Every assignment of one owner kind, grouped by owner id, in row order. One query per table
// instead of one per owner keeps large basins linear.
TARN::okstat loadAssignments(QSqlDatabase& db, const QString& table, const QString& ownerColumn,
    const QHash<int, QString>& attrNames, QHash<int, QList<Assignment>>& byOwner)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(
            QStringLiteral("SELECT t.%2, t.AttrID, v.AttrVal FROM %1 t "
                           "LEFT JOIN AttrValidVal v ON v.AttrValidValID = t.AttrValidValID "
                           "ORDER BY t.rowid")
                .arg(table, ownerColumn)))
        return query.lastError().text();
    while (query.next()) {
        byOwner[query.value(0).toInt()].append(
            { attrNames.value(query.value(1).toInt()), query.value(2).toString() });
    }
    return {};
}

void writeOwner(QXmlStreamWriter& xml, const QString& name, const QList<Assignment>& assignments)
{
    xml.writeStartElement(QStringLiteral("SimObjAttributes"));
    xml.writeAttribute(QStringLiteral("simObjName"), xmlText(name));
    for (const Assignment& assignment : assignments) {
        xml.writeEmptyElement(QStringLiteral("SimObjAttribute"));
        xml.writeAttribute(QStringLiteral("name"), xmlText(assignment.name));
        xml.writeAttribute(QStringLiteral("value"), xmlText(assignment.value));
    }
    xml.writeEndElement();
}

} // namespace

AttributeExporter::AttributeExporter(
    QObject* parent, const QSqlDatabase& db, const QString& databaseFileName)
    : QObject(parent)
    , _db(db)
    , _databaseFileName(databaseFileName)
{
}

TARN::okstat AttributeExporter::exportAttributes(const QString& fileName, int scenarioId)
{
    CalcStatusInfo info;
    info.status = QStringLiteral("Preparing attributes");
    emit exportStatus(info);
    const TARN::okstat status = write(fileName, scenarioId, info);
    emit exportFinished(status);
    return status;
}

TARN::okstat AttributeExporter::write(const QString& fileName, int scenarioId, CalcStatusInfo& info)
{
    // The new file is written beside the old one and renamed over it at the end, so a failure
    // or a crash leaves the previous file as it was.
    QSaveFile file(fileName);
    // Unbuffered: the document is written below in one piece, and every short write must
    // show (QSaveFile's commit does not report a failure to write out a buffered rest).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered)) {
        return QStringLiteral("Cannot open the attributes file \"%1\" for writing: %2")
            .arg(fileName, file.errorString());
    }

    info.target = QStringLiteral("Baseline");
    if (scenarioId != BaselineId) {
        QSqlQuery scenario(_db);
        scenario.prepare(
            QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = :id"));
        scenario.bindValue(QStringLiteral(":id"), scenarioId);
        if (!scenario.exec())
            return scenario.lastError().text();
        if (scenario.next())
            info.target = scenario.value(0).toString();
    }

    QHash<int, QString> attrNames;
    {
        QSqlQuery attributes(_db);
        if (!attributes.exec(QStringLiteral("SELECT * FROM Attribute")))
            return attributes.lastError().text();
        while (attributes.next())
            attrNames.insert(attributes.value(0).toInt(), attributes.value(2).toString());
    }
    QHash<int, QList<Assignment>> siteAttrs;
    QHash<int, QList<Assignment>> userAttrs;
    TARN::okstat loaded = loadAssignments(
        _db, QStringLiteral("AggDivAttr"), QStringLiteral("AggDivID"), attrNames, siteAttrs);
    if (loaded.isOk())
        loaded = loadAssignments(_db, QStringLiteral("WaterUserAttr"),
            QStringLiteral("WaterUserID"), attrNames, userAttrs);
    if (loaded.failed())
        return loaded;

    struct Member {
        int id;
        QString riffleName;
    };
    QHash<int, QList<Member>> usersBySite;
    {
        QSqlQuery users(_db);
        users.setForwardOnly(true);
        QString sql = QStringLiteral("SELECT WaterUserID, AggDivID, RiffleName FROM WaterUser "
                                     "WHERE ScenarioID IS NULL");
        if (scenarioId != BaselineId)
            sql += QStringLiteral(" OR ScenarioID = %1").arg(scenarioId);
        if (!users.exec(sql + QStringLiteral(" ORDER BY rowid")))
            return users.lastError().text();
        while (users.next())
            usersBySite[users.value(1).toInt()].append(
                { users.value(0).toInt(), users.value(2).toString() });
    }

    QSqlQuery sites(_db);
    if (!sites.exec(QStringLiteral("SELECT AggDivID, RiffleName FROM AggDiv ORDER BY rowid")))
        return sites.lastError().text();
    QList<Member> siteList;
    while (sites.next())
        siteList.append({ sites.value(0).toInt(), sites.value(1).toString() });

    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeComment(
        xmlComment(QStringLiteral("\nTarnhelm project, water-demand input for the Riffle model\n"
                                  "%1\n%2\nThis document created %3\n")
                       .arg(applicationTitle(), _databaseFileName,
                           QDateTime::currentDateTime().toString(Qt::TextDate))));
    xml.writeStartElement(QStringLiteral("SimObjsAttributes"));

    info.aggDivCount = siteList.size();
    for (const Member& site : siteList) {
        info.status = QStringLiteral("Exporting agg diversion attributes");
        info.aggDivName = site.riffleName;
        emit exportStatus(info);
        writeOwner(xml, site.riffleName, siteAttrs.value(site.id));

        const QList<Member> users = usersBySite.value(site.id);
        info.waterUserCount = users.size();
        for (const Member& user : users) {
            info.status = QStringLiteral("Exporting water user attributes");
            info.waterUserName = user.riffleName;
            emit exportStatus(info);
            writeOwner(xml, QStringLiteral("%1:%2").arg(site.riffleName, user.riffleName),
                userAttrs.value(user.id));
            info.waterUserName.clear();
            ++info.waterUserDone;
            info.status.clear();
            emit exportStatus(info);
        }
        info.aggDivName.clear();
        ++info.aggDivDone;
        info.waterUserDone = 0;
        info.status.clear();
        emit exportStatus(info);
    }

    info = CalcStatusInfo();
    info.status = QStringLiteral("Cleaning up");
    emit exportStatus(info);
    xml.writeEndElement();
    xml.writeEndDocument();
    const auto writeFailure = [&fileName, &file] {
        return TARN::okstat(QStringLiteral("Unable to write the attributes file \"%1\": %2")
                                .arg(fileName, file.errorString()));
    };
    if (xml.hasError())
        return writeFailure();
    // A full disk may take part of a write before it refuses the rest with its reason.
    const char* data = document.constData();
    qint64 left = document.size();
    while (left > 0) {
        const qint64 written = file.write(data, left);
        if (written <= 0)
            return writeFailure();
        data += written;
        left -= written;
    }
    if (!file.commit())
        return writeFailure();
    return {};
}
