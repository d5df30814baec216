#pragma once

#include "calc/BaselineChangeLog.h"
#include "db/EditSteps.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

// What a saved step did, read from its changed rows: its name in the history, whether it edits
// the baseline (and so needs the baseline password to be taken back), and what has to be
// recomputed once it has been applied either way.
//
// Rows are read from the changeset first; what an update does not carry (the site of an edited
// water user, the scenario of a demand change) comes from the file as it is now.
struct EditStepEffect {
    // "Baseline: water user "Ditch 4" edited, site "North" added", "Scenario "Dry" added".
    QString text;
    bool touchesBaseline = false;
    // The baseline's share: its water users and sites, as the baseline dialog records them.
    BaselineChangeLog baseline;
    // Scenarios whose own rows changed: they are recomputed whole.
    QList<int> scenarios;

    static EditStepEffect of(const QList<EditSteps::RowChange>& rows, QSqlDatabase& db);
};
