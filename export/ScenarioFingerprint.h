#pragma once

#include "db/okstat.h"

#include <QByteArray>
#include <QSqlDatabase>

namespace ScenarioFingerprint {

// SHA-256 (lower-case hex) over a canonical text of what defines a scenario's results: its
// demand changes in the order they take precedence (newest first wins, so oldest first here),
// each with its calculation methods, whether it uses filters, its yearly depletion and efficiency
// changes, the water users it applies to and its attribute filter; then the scenario's own water
// users with their yearly data and monthly coefficients. Water users are named by their sites'
// and their own river-model names and filters by attribute and value, never by row keys, so a
// copy of the project file gives the same hash. Names, descriptions and dates are left out.
TARN::okstat definitionHash(QSqlDatabase& db, int scenarioId, QByteArray* hash);

} // namespace ScenarioFingerprint
