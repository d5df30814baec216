#pragma once

#include "inputs/InputsLayout.h"

#include "db/InputsDAO.h"
#include "db/Records.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

namespace Inputs {

// One field of a row whose value the import changes.
struct FieldChange {
    QString field;
    QString before;
    QString after;
};

// What the import does to one row of a sheet (for the yearly data: to one water user's years).
struct PreviewItem {
    enum Kind { Added, Changed, NotInBook, Removed };
    QString sheet;
    Kind kind = Changed;
    QString key;
    QList<FieldChange> fields;
    QList<int> years; // Yearly Data: the years added, changed or removed

    static QString kindWord(Kind kind);
};

// A row the import leaves out, and why.
struct RejectedRow {
    QString sheet;
    int row = 0; // as the spreadsheet numbers it: the header is row 1
    QString column; // empty when the row as a whole is refused
    QString reason;
};

// A new attribute value (with its attribute when that is new too); an attribute filter entry.
struct ValuePlan {
    QString attribute;
    int typeId = 0;
    QString value;
};

// A site the import adds or changes: the record to write (id 0 for a new one) and the attribute
// values to give it, by attribute name.
struct SitePlan {
    AggDiv site;
    bool isNew = false;
    QHash<QString, QString> values;
};

// A water user the import adds or changes, with its site's Riffle name (the site may be new),
// its coefficients (empty: left as they are) and attribute values.
struct WaterUserPlan {
    WaterUser waterUser;
    QString siteRiffle;
    bool isNew = false;
    QVector<double> coefficients;
    QHash<QString, QString> values;
};

// The new yearly rows of one water user: they replace all its stored rows.
struct YearlyPlan {
    QString siteRiffle;
    QString riffleName;
    int waterUserId = 0; // 0 for a water user the import adds
    WaterUserDataList rows;
};

// A scenario the import adds or changes.
struct ScenarioPlan {
    ScenarioRow row;
    bool isNew = false;
};

// A demand change the import adds or changes: its row (the scenario by name, as it may be new),
// and the yearly changes, members (site and water user Riffle names) and filter entries that
// replace its own when the book's differ.
struct ChangePlan {
    QString scenario;
    DemandChgRow row;
    bool isNew = false;
    bool rowChanged = false;
    bool replaceValues = false;
    QList<ChangeValueRow> values;
    bool replaceMembers = false;
    QList<QPair<QString, QString>> members;
    bool replaceFilters = false;
    QList<ValuePlan> filters;
};

// A water user a scenario has of its own, added or changed, and its yearly rows when the book
// changes them (replaceYearly).
struct ScenarioWaterUserPlan {
    QString scenario;
    WaterUserPlan plan;
    bool writeUser = false;
    bool replaceYearly = false;
    WaterUserDataList rows;
};

// What an import of a book would do, found without writing anything: the preview (what changes,
// what the project has that the book has not, the rejected rows) and the writes that make it so.
struct ImportPlan {
    QList<PreviewItem> items;
    QList<RejectedRow> rejected;
    QStringList unmatchedStations; // series stations that name no water user

    bool baselineChanged = false;
    bool rangeChanged = false;
    Baseline baseline; // the row to write when changed
    QList<ValuePlan> newAttributes; // value: empty
    QList<ValuePlan> newValues;
    QList<SitePlan> sites;
    QList<WaterUserPlan> waterUsers;
    QList<YearlyPlan> yearly;
    QList<int> removedSites; // AggDivIDs (with --remove-missing)
    QList<WaterUser> removedWaterUsers;
    QList<ScenarioPlan> scenarios;
    QList<ChangePlan> changes;
    QList<ScenarioWaterUserPlan> scenarioWaterUsers;
    QStringList touchedScenarios; // by name, in the order first touched
    // Asked to remove what the book leaves out, but rows were rejected: nothing is removed.
    bool removalsHeldBack = false;

    // Whether applying it would write anything.
    bool hasWrites() const;
};

// Monthly series read from another system's file, summed to years: station -> year -> value
// (NaN for a year with a missing month).
struct SeriesInput {
    QString file;
    bool depletion = false; // else diversion
    QMap<QString, QMap<int, double>> yearly;
};

struct ImportOptions {
    bool removeMissing = false;
};

struct ProjectInputs;

// Compares the book (and the series) with the project's inputs.
void planImport(const Book& book, const QList<SeriesInput>& series, const ImportOptions& options,
    const ProjectInputs& project, ImportPlan& plan);

} // namespace Inputs
