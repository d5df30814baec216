#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Diagnostic lines handed on in batches. A calculation sends a line for every site it skips,
// hundreds within a few milliseconds, and adding them one by one to a text view holds up the
// window (a tenth of a millisecond each, a third of a second for one edited site of a large
// basin). The lines go on joined by newlines, at most every 50 ms while an event loop runs, and
// all that are left at flush() or when the batch ends.
class LineBatch : public QObject {
public:
    using Sink = std::function<void(const QString&)>;

    explicit LineBatch(Sink sink, QObject* parent = nullptr);
    ~LineBatch() override;

    void add(const QString& line);
    // Hands on the waiting lines now.
    void flush();
    // A line handler that adds to this batch; empty when the batch has no sink, so that a
    // caller that wants no lines is not handed them.
    Sink handler();

private:
    Sink _sink;
    QStringList _pending;
    QTimer _timer;
};
