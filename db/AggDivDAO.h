#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class AggDivDAO : public DaoBase {
    Q_OBJECT

public:
    AggDivDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* aggDivModel() const { return _aggDivModel; }
    TarnRelationalTableModel* aggDivAttrModel() const { return _aggDivAttrModel; }

    // An id without a row gives an empty record (id 0).
    TARN::okstat getAggDiv(int aggDivId, AggDiv& aggDiv);
    // The rows of the site model with its current filter, in model order.
    TARN::okstat getAggDivs(AggDivList& aggDivs);
    // The IDs of the sites whose ID, or else Riffle name, or else name equals text, in ID order.
    QList<int> findSites(const QString& text);
    TARN::okstat saveAggDivs(AggDivList& aggDivs);
    // Every site's ID (as id and AggDivID) and Riffle name in row order, and every site with its
    // baseline water users, in the order the database returns them, read
    // on the connection given (an exporter's) with two statements rather than one per site, so
    // a large basin costs the same per row. Columns are read by position.
    static TARN::okstat readRiffleNames(const QSqlDatabase& db, QList<RiffleMember>& sites);
    static TARN::okstat readSitesWithWaterUsers(
        const QSqlDatabase& db, QList<SiteWaterUsers>& sites);
    TARN::okstat deleteAggDiv(const AggDiv& aggDiv);
    TARN::okstat getAggDivAttrs(int aggDivId, QList<AggDivAttr>& attrs);
    TARN::okstat saveAggDivAttrs(QList<AggDivAttr>& attrs);
    // Gives every site of the site model an assignment of a new site attribute.
    TARN::okstat assignDefaultValue(const Attribute& attribute, int attrValidValId);

private:
    TarnRelationalTableModel* _aggDivModel;
    TarnRelationalTableModel* _aggDivAttrModel;
};
