// AttributeExporter: the river model's XML file of the attributes of every site and water user.

#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QObject>
#include <QSqlDatabase>

// Writes the attribute values of every site and water user of the baseline (or of the baseline
// plus one scenario's own water users) as the XML file the river model reads. Runs on a pool
// thread on the connection it is handed; the file replaces the old one only when complete.
class AttributeExporter : public QObject {
    Q_OBJECT

public:
    static constexpr int BaselineId = -1;

    AttributeExporter(QObject* parent, const QSqlDatabase& db, const QString& databaseFileName);

    // Runs the export and emits exportFinished with the result, which it also returns.
    TARN::okstat exportAttributes(const QString& fileName, int scenarioId);

signals:
    void exportStatus(CalcStatusInfo info);
    void exportFinished(TARN::okstat status);

private:
    TARN::okstat write(const QString& fileName, int scenarioId, CalcStatusInfo& info);

    QSqlDatabase _db;
    QString _databaseFileName;
};
