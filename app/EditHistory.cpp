#include "app/EditHistory.h"

#include "calc/EditStepEffect.h"
#include "calc/Recalculation.h"
#include "db/EditSteps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "ui/common/LineBatch.h"
#include "ui/common/ModalRunner.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QUndoCommand>
#include <QUndoStack>

// One saved step: the rows its commit changed, forward and back.
class SavedStep : public QUndoCommand {
public:
    SavedStep(EditHistory* history, QByteArray forward, QByteArray inverse, const QString& text,
        bool touchesBaseline)
        : QUndoCommand(text)
        , forward(std::move(forward))
        , inverse(std::move(inverse))
        , touchesBaseline(touchesBaseline)
        , _history(history)
    {
    }

    void undo() override { _history->take(this, true); }
    void redo() override
    {
        // Pushed after its commit: the first redo is the step itself, already in the file.
        if (_fresh) {
            _fresh = false;
            return;
        }
        _history->take(this, false);
    }

    const QByteArray forward;
    const QByteArray inverse;
    const bool touchesBaseline;

private:
    EditHistory* _history;
    bool _fresh = true;
};

EditHistory::EditHistory(
    QWidget* window, std::function<bool()> gate, std::function<void(const QString&)> lines)
    : QObject(window)
    , _window(window)
    , _gate(std::move(gate))
    , _lines(std::move(lines))
    , _stack(new QUndoStack(this))
{
    // A step holds its rows twice (forward and back); a session of a few hundred saves keeps
    // them all, a day of imports does not need to.
    _stack->setUndoLimit(MaxSteps);
    _undo = _stack->createUndoAction(this, QStringLiteral("&Undo"));
    _undo->setShortcut(QKeySequence::Undo);
    _redo = _stack->createRedoAction(this, QStringLiteral("&Redo"));
    _redo->setShortcuts(
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    connect(_stack, &QUndoStack::indexChanged, this, [this] { settle(); });

    TarnDbMgr* manager = TarnDbMgr::instance();
    connect(manager, &TarnDbMgr::stepCommitted, this, &EditHistory::record);
    manager->setRecordingSteps(true);
}

EditHistory::~EditHistory()
{
    if (TarnDbMgr* manager = TarnDbMgr::instance())
        manager->setRecordingSteps(false);
}

void EditHistory::clear()
{
    _stack->clear();
}

void EditHistory::record(const QByteArray& changeset)
{
    QByteArray inverse;
    QList<EditSteps::RowChange> rows;
    if (EditSteps::invert(changeset, inverse).failed()
        || EditSteps::readChanges(changeset, rows).failed()) {
        // A step that cannot be taken back ends the history: the ones before it could no
        // longer be undone past it.
        _lines(QStringLiteral("This change cannot be undone; the steps before it were forgotten."));
        _stack->clear();
        return;
    }
    const EditStepEffect effect = EditStepEffect::of(rows, TarnDbMgr::instance()->database());
    const QString text = effect.text.isEmpty() ? QStringLiteral("Saved changes") : effect.text;
    // The History lists the whole name; the menu, its beginning.
    _stack->push(new SavedStep(this, changeset, inverse, text + QLatin1Char('\n') + menuText(text),
        effect.touchesBaseline));
}

QString EditHistory::menuText(const QString& name)
{
    if (name.size() <= MenuTextLength)
        return name;
    // Cut between words, so that no name is broken in half.
    QString cut = name.left(MenuTextLength);
    const int space = cut.lastIndexOf(QLatin1Char(' '));
    if (space > MenuTextLength / 2)
        cut.truncate(space);
    while (cut.endsWith(QLatin1Char(',')) || cut.endsWith(QLatin1Char(';'))
        || cut.endsWith(QLatin1Char(':')))
        cut.chop(1);
    return cut + QChar(0x2026);
}

void EditHistory::take(SavedStep* step, bool undoing)
{
    // After a refusal the stack goes on through the other steps of the move; they stay as
    // they are, and settle() puts the stack back where the project is.
    if (_halted)
        return;
    _undoing = undoing;
    int index = 0;
    while (index < _stack->count() && _stack->command(index) != step)
        ++index;
    const int realIndex = undoing ? index + 1 : index;
    const QString verb = undoing ? QStringLiteral("undone") : QStringLiteral("redone");
    const QString what = QStringLiteral("\"%1\" was not %2").arg(step->text(), verb);

    TarnDbMgr* manager = TarnDbMgr::instance();
    if (QApplication::activeModalWidget() || manager->inTransaction()) {
        refuse(QStringLiteral("%1: close the open dialog first.").arg(what), realIndex);
        return;
    }
    if (step->touchesBaseline && !_passwordGiven) {
        if (!_gate()) {
            refuse(QStringLiteral("%1: the baseline password is needed.").arg(what), realIndex);
            return;
        }
        _passwordGiven = true;
    }
    const QByteArray& changes = undoing ? step->inverse : step->forward;
    const TARN::okstat applied = manager->applyStep(changes);
    if (applied.failed()) {
        refuse(QStringLiteral("%1, because %2.").arg(what, applied.text()), realIndex);
        return;
    }
    QList<EditSteps::RowChange> rows;
    EditSteps::readChanges(changes, rows);
    const EditStepEffect effect = EditStepEffect::of(rows, manager->database());
    _pendingBaseline.merge(effect.baseline);
    for (const int scenario : effect.scenarios) {
        if (!_pendingScenarios.contains(scenario))
            _pendingScenarios.append(scenario);
    }
    _taken.append(QStringLiteral("%1: %2").arg(
        undoing ? QStringLiteral("Undone") : QStringLiteral("Redone"), step->text()));
}

void EditHistory::refuse(const QString& text, int realIndex)
{
    _halted = true;
    _realIndex = realIndex;
    _refusal = text;
}

void EditHistory::settle()
{
    if (_settling)
        return;
    _settling = true;
    if (_halted)
        _stack->setIndex(_realIndex);
    for (const QString& line : qAsConst(_taken))
        _lines(line);
    recompute();
    const bool changed = !_taken.isEmpty();
    // A move of several steps may stop part of the way: say how far it went.
    if (!_refusal.isEmpty() && _taken.isEmpty()) {
        _refusal += QStringLiteral(" Nothing was changed.");
    } else if (!_refusal.isEmpty()) {
        const QString done = _undoing ? QStringLiteral("undone") : QStringLiteral("redone");
        const QString beyond = _undoing ? QStringLiteral("later") : QStringLiteral("earlier");
        const QString steps = _taken.size() == 1
            ? QStringLiteral("The %1 step was %2").arg(beyond, done)
            : QStringLiteral("The %1 %2 steps were %3")
                  .arg(QString::number(_taken.size()), beyond, done);
        _refusal += QStringLiteral(" %1; this one and those %2 it were left as they are.")
                        .arg(steps, _undoing ? QStringLiteral("before") : QStringLiteral("after"));
    }
    _lastRefusal = _refusal;
    _halted = false;
    _passwordGiven = false;
    _refusal.clear();
    _taken.clear();
    _pendingBaseline.clear();
    _pendingScenarios.clear();
    _settling = false;
    if (changed)
        emit projectChanged();
    if (!_lastRefusal.isEmpty()) {
        _lines(_lastRefusal);
        QMessageBox::warning(
            _window, _undoing ? QStringLiteral("Undo") : QStringLiteral("Redo"), _lastRefusal);
    }
}

void EditHistory::recompute()
{
    if (!_pendingBaseline.hasChanges() && _pendingScenarios.isEmpty())
        return;
    QList<QPair<int, QString>> scenarios;
    const TARN::okstat listed = TarnDbMgr::instance()->scenarioDAO()->getScenarioNames(scenarios);
    if (listed.failed()) {
        _lines(QStringLiteral("The results could not be recomputed: %1").arg(listed.text()));
        return;
    }
    // The baseline's edits reach every scenario; a scenario whose own rows changed is computed
    // whole afterwards, so the first run leaves it out.
    QList<int> followers;
    QList<int> whole;
    for (const auto& scenario : qAsConst(scenarios)) {
        if (_pendingScenarios.contains(scenario.first))
            whole.append(scenario.first);
        else
            followers.append(scenario.first);
    }
    // The calculators' lines go to the diagnostics in batches, a failure in its place among them.
    LineBatch lines(_lines);
    QStringList computed;
    const auto run = [this, &lines, &computed](Recalculation& recalculation) {
        recalculation.setExecutor([this](DemandCalculator& calculator) {
            return ModalRunner::runCalculator(_window, calculator);
        });
        recalculation.setLineHandler(lines.handler());
        QList<int> failedRuns;
        recalculation.setFailureHandler(
            [&lines, &failedRuns](const RecalcRun& failedRun, const TARN::okstat& failed) {
                lines.add(failed.text());
                failedRuns.append(failedRun.scenarioId);
                return true;
            });
        const TARN::okstat result = recalculation.run();
        if (result.failed() && !recalculation.failedInRun())
            lines.add(result.text());
        for (const RecalcRun& started : recalculation.started()) {
            if (!failedRuns.contains(started.scenarioId))
                computed.append(started.isBaseline() ? QStringLiteral("the baseline")
                                                     : QStringLiteral("\"%1\"").arg(started.name));
        }
    };
    if (_pendingBaseline.hasChanges()) {
        Recalculation recalculation(_pendingBaseline);
        // With every scenario computed whole below, the baseline runs alone.
        recalculation.setScenarios(followers);
        recalculation.setScenariosIncluded(!followers.isEmpty());
        run(recalculation);
    }
    if (!whole.isEmpty()) {
        BaselineChangeLog everything;
        everything.setFullRecalculation();
        Recalculation recalculation(everything);
        recalculation.setScenarios(whole);
        recalculation.setBaselineIncluded(false);
        run(recalculation);
    }
    // The last line says it all, below the calculators' thousands.
    lines.flush();
    _lines(QStringLiteral("%1 finished; results recomputed for %2.")
               .arg(_undoing ? QStringLiteral("Undo") : QStringLiteral("Redo"),
                   computed.isEmpty() ? QStringLiteral("nothing")
                                      : computed.join(QLatin1String(", "))));
}
