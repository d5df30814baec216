#include "export/AttributeExporter.h"

#include "db/AggDivDAO.h"
#include "db/ApplicationTitle.h"
#include "db/AttributeDAO.h"
#include "db/ScenarioDAO.h"
#include "db/WaterUserDAO.h"
#include "workbook/XmlSplice.h"

#include <QDateTime>
#include <QHash>
#include <QSaveFile>
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

// The values of one owner kind grouped by owner id, in row order, named.
QHash<int, QList<Assignment>> byOwner(
    const QList<OwnerAttrValue>& values, const QHash<int, QString>& attrNames)
{
    QHash<int, QList<Assignment>> grouped;
    for (const OwnerAttrValue& value : values)
        grouped[value.ownerId].append({ attrNames.value(value.AttrID), value.AttrVal });
    return grouped;
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
        const TARN::okstat named = ScenarioDAO::readScenarioName(_db, scenarioId, info.target);
        if (named.failed())
            return named;
    }

    QHash<int, QString> attrNames;
    TARN::okstat loaded = AttributeDAO::readAttributeNames(_db, attrNames);
    if (loaded.failed())
        return loaded;
    QList<OwnerAttrValue> siteValues;
    QList<OwnerAttrValue> userValues;
    loaded = AttributeDAO::readSiteValues(_db, siteValues);
    if (loaded.isOk())
        loaded = AttributeDAO::readWaterUserValues(_db, userValues);
    if (loaded.failed())
        return loaded;
    const QHash<int, QList<Assignment>> siteAttrs = byOwner(siteValues, attrNames);
    const QHash<int, QList<Assignment>> userAttrs = byOwner(userValues, attrNames);

    QList<RiffleMember> users;
    loaded = WaterUserDAO::readRiffleMembers(_db, scenarioId != BaselineId ? scenarioId : 0, users);
    if (loaded.failed())
        return loaded;
    QHash<int, QList<RiffleMember>> usersBySite;
    for (const RiffleMember& user : qAsConst(users))
        usersBySite[user.AggDivID].append(user);

    QList<RiffleMember> siteList;
    loaded = AggDivDAO::readRiffleNames(_db, siteList);
    if (loaded.failed())
        return loaded;

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
    for (const RiffleMember& site : qAsConst(siteList)) {
        info.status = QStringLiteral("Exporting agg diversion attributes");
        info.aggDivName = site.RiffleName;
        emit exportStatus(info);
        writeOwner(xml, site.RiffleName, siteAttrs.value(site.id));

        const QList<RiffleMember> siteUsers = usersBySite.value(site.id);
        info.waterUserCount = siteUsers.size();
        for (const RiffleMember& user : siteUsers) {
            info.status = QStringLiteral("Exporting water user attributes");
            info.waterUserName = user.RiffleName;
            emit exportStatus(info);
            writeOwner(xml, QStringLiteral("%1:%2").arg(site.RiffleName, user.RiffleName),
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
