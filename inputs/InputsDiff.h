#pragma once

#include "inputs/ImportPlan.h"
#include "inputs/ProjectInputs.h"

#include <QSet>

namespace Inputs {

// Whether a value read from a book is the stored one. Spreadsheet programs keep 15 significant
// digits: a book saved by one gives 21.21795 for a stored 21.217950000000002, which is no
// change. Missing equals missing.
bool sameNumber(double stored, double read);

// Joins the names a key is made of (a scenario and a change, a key and a year): a control
// character no name in a book holds.
const QChar KeySep(0x1f);
// Two names joined into one key.
QString key2(const QString& a, const QString& b);
// A lookup's key by its name (without regard to case) or its number; 0 when there is none.
int lookupId(const QHash<int, QString>& names, const QString& text);

// The comparison of one book with the project, sheet by sheet (InputsDiff.cpp: the baseline,
// the attributes, the sites and the water users; InputsDiffYearly.cpp: the yearly data, the
// series and what the book leaves out).
class InputsDiff {
public:
    InputsDiff(const Book& book, const ImportOptions& options, const ProjectInputs& project,
        ImportPlan& plan);

    void baseline();
    void attributes();
    void sites();
    void waterUsers();
    void yearly(const QList<SeriesInput>& series);
    // The scenario sheets (InputsDiffScenario.cpp).
    void scenarios();
    void missing();

private:
    void scenarioRows();
    void changeRows();
    void changeContents();
    void scenarioWaterUsers();
    void touch(const QString& scenario);
    // The demand change of a scenario by name: its index in the project's list, -1 when the
    // project has none, -2 when the project has several of that name.
    int changeIndex(const QString& scenario, const QString& change) const;
    int scenarioId(const QString& name) const;

    void reject(const QString& sheet, int row, const QString& column, const QString& reason);
    // Whether what the book leaves out is removed. Never while rows are rejected: a rejected row
    // may be the very one that names a site, a water user or a year the planner keeps.
    bool removesMissing();
    // The sheet, or null after rejecting nothing (a book may leave a sheet out).
    const Sheet* sheet(const QString& name) const { return findSheet(_book, name); }
    // Reads a number cell: true with value set (NaN when empty and allowEmpty), else rejects.
    bool number(const Sheet& sheet, int row, int column, bool allowEmpty, double& value);
    bool integer(const Sheet& sheet, int row, int column, int& value);
    // Reads a year cell: true with year set when it is a whole number within the time range,
    // else rejects.
    bool yearInRange(const Sheet& sheet, int row, int column, int& year);
    // Whether the attribute (of the type) exists in the project or is added by the book, and
    // whether it has the value.
    bool knownAttribute(const QString& name, int typeId) const;
    bool knownValue(const QString& name, int typeId, const QString& value) const;
    // The attribute columns of a sheet from firstColumn on: checks each row's values.
    bool attributeValues(const Sheet& sheet, int row, int firstColumn, int typeId,
        const QHash<int, QString>& current, QHash<QString, QString>& values,
        QList<FieldChange>& changes);
    // Rejects the row when its key was seen before; remembers it otherwise.
    bool uniqueKey(QHash<QString, int>& seen, const QString& key, const Sheet& sheet, int row);

    const Book& _book;
    ImportOptions _options;
    const ProjectInputs& _project;
    ImportPlan& _plan;
    int _startYear = 0;
    int _endYear = 0;
    QSet<QString> _bookValues; // "type\x1fattribute\x1fvalue" added by the book
    QSet<QString> _bookAttributes; // "type\x1fattribute"
    QSet<QString> _sitesInBook; // Riffle names of the accepted rows
    QSet<QString> _newSites;
    QSet<QString> _waterUsersInBook; // waterUserKey of the accepted rows
    QSet<QString> _newWaterUsers;
    bool _hasYearlySheet = false;
    QSet<QString> _newScenarios;
    QHash<QString, int> _changePlans; // scenario + change -> index in _plan.changes
    QSet<QString> _knownChanges; // scenario + change of the project's and the book's accepted
    QSet<QString> _scenarioWaterUsers; // scenario + waterUserKey, project's and book's
};

} // namespace Inputs
