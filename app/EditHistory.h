#pragma once

#include "calc/BaselineChangeLog.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>

class QAction;
class QUndoStack;
class QWidget;
class SavedStep;

// The window's history of saved steps: every commit that changed input rows (a dialog's Apply
// or OK, an import, a copy or deletion from a tab) becomes an entry that Undo takes back and
// Redo makes again, each in a transaction of its own, after which the results are recomputed
// for what the step touched. The history lives in memory and ends with the project.
//
// Moving several steps at once (the History list) stops at the first step that is refused (a
// row changed since by another program, the baseline password not given): the steps before it
// stay done, and the list shows where the project really is.
class EditHistory : public QObject {
    Q_OBJECT

public:
    // gate asks for the baseline password where one is set; lines receives the diagnostics.
    EditHistory(
        QWidget* window, std::function<bool()> gate, std::function<void(const QString&)> lines);
    ~EditHistory() override;

    // The oldest steps beyond this many are forgotten.
    static constexpr int MaxSteps = 200;
    // The Undo and Redo menu items name a step in at most about this many characters.
    static constexpr int MenuTextLength = 60;
    static QString menuText(const QString& name);

    QUndoStack* stack() const { return _stack; }
    QAction* undoAction() const { return _undo; }
    QAction* redoAction() const { return _redo; }
    // Forgets every step (another project was opened).
    void clear();
    // The refusal of the last move, empty when it went through.
    QString lastRefusal() const { return _lastRefusal; }

signals:
    // Steps were undone or redone: lists that show project rows should read them again.
    void projectChanged();

private:
    friend class SavedStep;
    void record(const QByteArray& changeset);
    // Applies one step's changes (forward or back); false when it was refused.
    void take(SavedStep* step, bool undoing);
    // Runs once the stack has moved: puts the stack where the project is, recomputes.
    void settle();
    void refuse(const QString& text, int realIndex);
    void recompute();

    QWidget* _window;
    std::function<bool()> _gate;
    std::function<void(const QString&)> _lines;
    QUndoStack* _stack;
    QAction* _undo;
    QAction* _redo;

    // The state of one move of the stack, which may take several steps.
    bool _settling = false;
    bool _halted = false;
    int _realIndex = 0;
    bool _passwordGiven = false;
    bool _undoing = true;
    QString _refusal;
    QString _lastRefusal;
    QStringList _taken;
    BaselineChangeLog _pendingBaseline;
    QList<int> _pendingScenarios;
};
