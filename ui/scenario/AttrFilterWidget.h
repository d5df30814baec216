#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QTableWidgetItem;

namespace Ui {
class AttrFilterWidget;
}

// A filter panel over the attributes of one kind (sites or water users): the attribute table
// summarises each attribute's chosen values, the value table lets the user pick the values of the
// attribute clicked. chosenValues() gives the choice as AttributeDAO's filters take it: the owners
// that have one of the chosen values for every attribute.
class AttrFilterWidget : public QWidget {
    Q_OBJECT

public:
    enum PanelType { SitePanel = 0, WaterUserPanel = 1 };

    // Item data roles: the attribute id on both tables, the value id on the value table.
    static constexpr int AttrIdRole = Qt::UserRole;
    static constexpr int ValueIdRole = Qt::UserRole + 1;

    explicit AttrFilterWidget(QWidget* parent = nullptr);
    ~AttrFilterWidget() override;

    // Sets the kind of attribute and fills the panel; on error the panel stays empty.
    TARN::okstat setFilterType(int type);
    // The chosen value ids, one group per attribute; empty when nothing can match.
    QList<QList<int>> chosenValues() const;
    AttrSelectionList selectedFilters() const;

signals:
    void filterChanged();

public slots:
    void filtSelectionHandler(QTableWidgetItem* item);
    void attrSelectionHandler();

private:
    struct ValueEntry {
        int id = 0;
        QString text;
        QTableWidgetItem* item = nullptr; // created on first display
        bool selected = true;
    };

    void clearPanel();
    QString summaryText(int attrId) const;
    void updateSummary();

    Ui::AttrFilterWidget* _ui;
    int _type = SitePanel;
    QString _typeText;
    QMap<int, QString> _attrNames;
    QMap<int, QList<ValueEntry>> _values; // by attribute id
    int _currentAttr = 0;
    int _currentRow = -1;
};
