#include "db/okstat.h"

namespace TARN {

okstat::okstat(const QString& message)
    : _message(std::make_unique<QString>(message))
{
}

okstat::okstat(const char* message)
    : _message(std::make_unique<QString>(QString::fromUtf8(message)))
{
}

okstat::okstat(const okstat& other)
    : _message(other._message ? std::make_unique<QString>(*other._message) : nullptr)
{
}

okstat& okstat::operator=(const okstat& other)
{
    if (this != &other)
        _message = other._message ? std::make_unique<QString>(*other._message) : nullptr;
    return *this;
}

QString okstat::text() const
{
    return _message ? *_message : QStringLiteral("OK");
}

} // namespace TARN
