#pragma once

#include <QMetaType>
#include <QString>

#include <memory>

namespace TARN {

// The result of an operation that can fail: no message means success, a message is the text to
// show. Small enough to pass by value, also through queued signal connections.
class okstat {
public:
    okstat() = default;
    okstat(const QString& message);
    okstat(const char* message);
    okstat(const okstat& other);
    okstat(okstat&& other) noexcept = default;
    okstat& operator=(const okstat& other);
    okstat& operator=(okstat&& other) noexcept = default;
    ~okstat() = default;

    bool isOk() const { return !_message; }
    bool failed() const { return static_cast<bool>(_message); }
    explicit operator bool() const { return isOk(); }

    // The message, or "OK" on success.
    QString text() const;

private:
    std::unique_ptr<QString> _message;
};

} // namespace TARN

Q_DECLARE_METATYPE(TARN::okstat)
