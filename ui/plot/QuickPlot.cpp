#include "ui/plot/QuickPlot.h"

#include "ui/plot/AggDivPlotDlg.h"
#include "ui/plot/WaterUserPlotDlg.h"

namespace QuickPlot {

AggDivPlotDlg* openAggDivPlot(
    TarnDlg* siteDialog, int aggDivID, const QString& title, const BaselineChangeLog* changeLog)
{
    siteDialog->applyChanges();
    auto* window = new AggDivPlotDlg(title, aggDivID, changeLog, siteDialog);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    window->show();
    return window;
}

WaterUserPlotDlg* openWaterUserPlot(TarnDlg* waterUserDialog, int waterUserID, const QString& title)
{
    // The window's construction re-reads the shared site and water user models, which would
    // drop the dialog's pending edits; they are saved first.
    waterUserDialog->applyChanges();
    auto* window = new WaterUserPlotDlg(title, waterUserID, waterUserDialog);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    QObject::connect(
        window, &PlotDisplayDlg::preGenerate, waterUserDialog,
        [waterUserDialog] { waterUserDialog->applyChanges(); }, Qt::DirectConnection);
    window->show();
    return window;
}

} // namespace QuickPlot
