#pragma once

#include "calc/ProjectValidator.h"
#include "db/okstat.h"

#include <QList>
#include <functional>

class QWidget;

// The window's side of the project check and of recalculating before an export: the work runs
// on a thread of its own under a modal status dialog while the GUI waits, as every calculation
// does, and failures are shown in a warning with the parent's title.
namespace ProjectCheckRunner {

// Runs the check; false when it could not be made (the reason has been shown).
bool check(
    QWidget* parent, const ProjectValidator::Options& options, QList<ValidationFinding>& findings);

// Recalculates the baseline and then every scenario (each is computed from the baseline, so a
// scenario left out would no longer follow it), every site and water user, writing only what
// changed. Diagnostic lines go to diag. Returns the first failure of the baseline or of a
// scenario in runs (IDs; -1 stands for the baseline; empty: every run); the other scenarios'
// failures are shown and do not stop it.
TARN::okstat recalculate(
    QWidget* parent, const QList<int>& runs, const std::function<void(const QString&)>& diag);

// Computes every result of one scenario from the stored baseline; the failure is returned, not
// shown.
TARN::okstat recalculateScenario(
    QWidget* parent, int scenarioId, const std::function<void(const QString&)>& diag);

} // namespace ProjectCheckRunner
