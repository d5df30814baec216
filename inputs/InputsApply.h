#pragma once

#include "inputs/ImportPlan.h"

#include "db/okstat.h"

#include <QStringList>

class BaselineChangeLog;

namespace Inputs {

struct ProjectInputs;

// Writes the plan through the data-access objects, inside the transaction the caller holds open
// (the command-line tool's own, or the baseline dialog's, whose Cancel then undoes it), and
// records the edits in log as the dialogs do: sites edited, water users added, edited or
// deleted, a changed time range as a full recalculation. The first failure ends it; the caller
// rolls back.
TARN::okstat applyPlan(
    const ImportPlan& plan, const ProjectInputs& project, BaselineChangeLog& log);

// The scenario part of the plan: scenarios, their own water users and demand changes
// (InputsApplyScenario.cpp); applyPlan runs it after the baseline part.
TARN::okstat applyScenarios(const ImportPlan& plan, const ProjectInputs& project);

// What the calculation that follows recomputes after the edits log holds: "Agg Diversion
// 007.North Canal was edited" lines, or that everything is.
QStringList recomputeLines(const BaselineChangeLog& log, const QStringList& touchedScenarios = {});

} // namespace Inputs
