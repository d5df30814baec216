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
    TARN::okstat deleteAggDiv(const AggDiv& aggDiv);
    TARN::okstat getAggDivAttrs(int aggDivId, QList<AggDivAttr>& attrs);
    TARN::okstat saveAggDivAttrs(QList<AggDivAttr>& attrs);
    // Gives every site of the site model an assignment of a new site attribute.
    TARN::okstat assignDefaultValue(const Attribute& attribute, int attrValidValId);

private:
    TarnRelationalTableModel* _aggDivModel;
    TarnRelationalTableModel* _aggDivAttrModel;
};
