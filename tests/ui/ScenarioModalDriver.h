#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

// Works through modal dialogs as they come up: each step waits until a modal widget of its kind
// is active, then acts on it; steps may open further modal dialogs for the next steps. Message
// boxes no step expects are answered with OK and their texts kept, so that an unexpected warning
// shows up in a comparison instead of blocking the test.
class ScenarioModalDriver : public QObject {
public:
    ScenarioModalDriver()
    {
        connect(&_timer, &QTimer::timeout, this, &ScenarioModalDriver::tick);
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
    bool done() const { return _steps.isEmpty(); }

    QStringList texts;
    QStringList unexpected;

private:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> action;
    };

    void tick()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (modal == _pending)
            return;
        if (!_steps.isEmpty() && _steps.first().matches(modal)) {
            const Step step = _steps.takeFirst();
            // Run from a timer of its own: an action that opens a nested dialog blocks until it
            // closes, and a running timer is not delivered again meanwhile.
            _pending = modal;
            QTimer::singleShot(0, modal, [this, step, modal] {
                _pending = nullptr;
                step.action(modal);
            });
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            unexpected << box->text();
            if (box->button(QMessageBox::Ok))
                box->button(QMessageBox::Ok)->click();
            else
                box->reject();
        }
    }

    QList<Step> _steps;
    QPointer<QWidget> _pending;
    QTimer _timer;
};

template<typename T>
T* childOf(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("missing child %s", name);
    return found;
}
