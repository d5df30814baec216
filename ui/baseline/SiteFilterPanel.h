#pragma once

#include "db/okstat.h"

#include <QGroupBox>
#include <QString>

class AggDivAttrViewModel;
class QSortFilterProxyModel;
class TarnRelationalTableModel;

namespace Ui {
class SiteFilterPanel;
}

// The water user's site: a combo box of the sites in their order, narrowed by a table of the
// site attributes, each set to the value the listed sites must hold. Only picking a site
// changes the choice; narrowing the list does not, even when it hides the chosen site (the
// combo box then shows none).
class SiteFilterPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit SiteFilterPanel(QWidget* parent = nullptr);
    ~SiteFilterPanel() override;

    // Reads the sites, on the program's connection; the first one's id (0 when there is none).
    int selectSites();
    // Lists the sites with aggDivID chosen, then offers the site attributes as a filter. The
    // site choice works even when the filter cannot be offered: that failure is returned.
    TARN::okstat load(int aggDivID);

    // The site last picked, whether or not the filter still lists it.
    int chosenSiteID() const { return _chosenSiteID; }
    bool hasSite(int aggDivID) const;
    // Empty for a site not listed.
    QString riffleName(int aggDivID) const;
    // Shows the site in the combo box when the filter lists it, else none.
    void selectSite(int aggDivID);

private:
    void filterChanged();

    Ui::SiteFilterPanel* _ui;
    TarnRelationalTableModel* _siteModel;
    QSortFilterProxyModel* _siteProxy;
    AggDivAttrViewModel* _filterModel;
    int _chosenSiteID = -1;
    bool _narrowingSites = false;
};
