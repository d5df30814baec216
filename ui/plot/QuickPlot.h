#pragma once

#include <QString>

class AggDivPlotDlg;
class BaselineChangeLog;
class TarnDlg;
class WaterUserPlotDlg;

// The "Quick Plot" buttons of the site and water user dialogs: each saves the dialog's edits
// and opens a chart window over it that lives until closed, without blocking the dialog.
namespace QuickPlot {

AggDivPlotDlg* openAggDivPlot(
    TarnDlg* siteDialog, int aggDivID, const QString& title, const BaselineChangeLog* changeLog);

// The window saves the dialog's edits again before every drawing.
WaterUserPlotDlg* openWaterUserPlot(
    TarnDlg* waterUserDialog, int waterUserID, const QString& title);

} // namespace QuickPlot
