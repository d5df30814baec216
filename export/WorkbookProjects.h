#pragma once

#include "db/okstat.h"

#include <QHash>
#include <QString>

namespace TARN {

// The project files whose exports the workbook at path holds, by the fingerprints the exports
// recorded: sheet name -> project file name (without its folder). A workbook that isn't there
// holds none.
okstat workbookProjects(const QString& path, QHash<QString, QString>* projects);

} // namespace TARN
