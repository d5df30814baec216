#pragma once

#include <QString>

#include <stdexcept>

// The one exception type: thrown only inside calculation runs and turned into a failing
// TARN::okstat ("Unable to compute: %1") at the top of the run.
class TarnException : public std::runtime_error {
public:
    explicit TarnException(const QString& message)
        : std::runtime_error(message.toUtf8().toStdString())
    {
    }

    QString message() const { return QString::fromUtf8(what()); }
};
