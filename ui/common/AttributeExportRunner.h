#pragma once

#include <QString>

class QWidget;

// Asks for the attribute file's name and runs the attribute export on the global thread pool
// under a window-modal status dialog. A file that cannot be written is reported in a warning
// titled "Attributes File" once the export has ended.
namespace AttributeExportRunner {

void run(QWidget* parent, int scenarioId);

// Runs the export to path without asking for it.
void exportTo(QWidget* parent, int scenarioId, const QString& path);

} // namespace AttributeExportRunner
