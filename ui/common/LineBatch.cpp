#include "ui/common/LineBatch.h"

LineBatch::LineBatch(Sink sink, QObject* parent)
    : QObject(parent)
    , _sink(std::move(sink))
{
    _timer.setSingleShot(true);
    _timer.setInterval(50);
    connect(&_timer, &QTimer::timeout, this, &LineBatch::flush);
}

LineBatch::~LineBatch()
{
    flush();
}

void LineBatch::add(const QString& line)
{
    _pending.append(line);
    if (!_timer.isActive())
        _timer.start();
}

void LineBatch::flush()
{
    _timer.stop();
    if (_pending.isEmpty())
        return;
    // Taken first: the sink may run an event loop that adds more.
    const QString lines = _pending.join(QLatin1Char('\n'));
    _pending.clear();
    if (_sink)
        _sink(lines);
}

LineBatch::Sink LineBatch::handler()
{
    if (!_sink)
        return {};
    return [this](const QString& line) { add(line); };
}
