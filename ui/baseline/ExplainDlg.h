#pragma once

#include "calc/ValueKind.h"

#include <QDialog>
#include <QString>

namespace Ui {
class ExplainWidgets;
}

// Read-only window that shows how one of a water user's yearly values came to be what it is,
// in the baseline and in each scenario that holds the water user (one section each, under the
// run's name), as the calculators compute it from what is stored in the project. Each run's
// one-site computation works on a thread of its own behind the calculation status dialog, so
// the connection is never used by two threads at once.
class ExplainDlg : public QDialog {
    Q_OBJECT

public:
    // kind: the value first shown. unsavedEdits: the opener holds
    // edits of the water user that are not applied, which the explanation cannot see.
    ExplainDlg(QWidget* parent, int waterUserID, int year, ValueKind kind, bool unsavedEdits);
    ~ExplainDlg() override;

    // Explains the chosen value in every run; called once the window is built and again when
    // another value is chosen.
    void explain();
    QString text() const;
    // The runs' headings, in their order.
    QStringList sections() const { return _sections; }

public slots:
    void copyClicked();
    void valueChangedHandler(int index);

private:
    // The explanation of one run, the status dialog shown while its calculator works.
    QString explainRun(int scenarioID, ValueKind kind);

    Ui::ExplainWidgets* _ui;
    int _waterUserID;
    int _year;
    QStringList _sections;
};
