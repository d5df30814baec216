#pragma once

#include "calc/ProjectValidator.h"

#include <QDialog>

#include <memory>

class QSortFilterProxyModel;
class QStandardItemModel;

namespace Ui {
class CheckReportWidgets;
}

// The findings of a project check in a window of their own: a table (severity, rule, scenario,
// site, water user, year, message) that sorts by any column and filters by severity, a line of
// totals, and Copy for the whole report as text. When results are missing or out of date it
// offers Recalculate.
class CheckReportDlg : public QDialog {
    Q_OBJECT

public:
    CheckReportDlg(
        const QString& file, const QList<ValidationFinding>& findings, QWidget* parent = nullptr);
    ~CheckReportDlg() override;

    enum Column {
        SeverityColumn,
        RuleColumn,
        ScenarioColumn,
        SiteColumn,
        WaterUserColumn,
        YearColumn,
        MessageColumn,
        ColumnCount
    };

    // The report as Copy puts it on the clipboard.
    QString reportText() const;

signals:
    // Recalculate was pressed; the dialog has closed.
    void recalculateRequested();

private:
    void severityChosen(int index);
    void copyClicked();

    std::unique_ptr<Ui::CheckReportWidgets> _ui;
    QString _file;
    QList<ValidationFinding> _findings;
    QStandardItemModel* _model;
    QSortFilterProxyModel* _proxy;
};
