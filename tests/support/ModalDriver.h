#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

// The named child of a dialog or widget; a test that lost one cannot go on.
template<typename T>
T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("missing child %s", name);
    return found;
}

// Works through modal dialogs as they come up: each step waits until a modal widget of its kind
// is active, then acts on it; steps may open further modal dialogs for the next steps. Message
// boxes that no step expects are answered with OK and their texts kept, so that an unexpected
// warning shows up in a comparison instead of blocking the test.
class ModalDriver : public QObject {
public:
    using Action = std::function<void(QWidget*)>;

    ModalDriver()
    {
        connect(&_timer, &QTimer::timeout, this, &ModalDriver::tick);
        _timer.start(10);
    }

    template<typename T>
    void expect(const std::function<void(T*)>& action)
    {
        _steps.append({ [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
            [action](QWidget* w) { action(qobject_cast<T*>(w)); } });
    }
    // A message box answered with button; its text is kept.
    void answer(QMessageBox::StandardButton button)
    {
        expect<QMessageBox>([this, button](QMessageBox* box) {
            texts << box->text();
            box->button(button)->click();
        });
    }
    bool done() const { return _steps.isEmpty() && !_pending; }

    QStringList texts;
    QStringList unexpected;

private:
    struct Step {
        std::function<bool(QWidget*)> matches;
        Action action;
    };

    void tick()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (_pending)
            return;
        if (!_steps.isEmpty() && _steps.first().matches(modal)) {
            // Queued, not called: an action that opens a nested modal dialog must not hold up
            // this timer, which Qt does not fire again while its handler runs.
            const Step step = _steps.takeFirst();
            _pending = true;
            QPointer<QWidget> target(modal);
            QMetaObject::invokeMethod(
                this,
                [this, step, target] {
                    _pending = false;
                    if (target)
                        step.action(target);
                },
                Qt::QueuedConnection);
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            unexpected << box->text();
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        }
    }

    QList<Step> _steps;
    QTimer _timer;
    bool _pending = false;
};
