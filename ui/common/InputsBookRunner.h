#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class BaselineChangeLog;
class QWidget;

// Input books from the editing dialogs: the export asks for the file and writes it; the import
// asks for the book, shows what it would change in the preview window and, on Apply, writes it
// inside the dialog's open transaction, so that the dialog's Cancel still undoes it.
namespace InputsBookRunner {

// What one import did: whether it wrote anything, and the scenarios it touched.
struct Outcome {
    bool applied = false;
    QStringList touchedScenarios;
};

// scenarioId -1: the baseline's sheets; otherwise that scenario's (and the baseline's, which
// the scenario's rows name).
void exportBook(QWidget* parent, const QString& title, int scenarioId);
void exportTo(QWidget* parent, const QString& title, int scenarioId, const QString& path);

// scenarioName empty: the whole book; otherwise only the scenario sheets, their rows taken as
// that scenario's when the book holds one scenario, else only the rows that name it.
Outcome importBook(
    QWidget* parent, const QString& title, const QString& scenarioName, BaselineChangeLog& log);
Outcome importFrom(QWidget* parent, const QString& title, const QString& scenarioName,
    const QString& path, BaselineChangeLog& log);

} // namespace InputsBookRunner
