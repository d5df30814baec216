#pragma once

#include <QByteArray>
#include <QString>

// The baseline keeps only the SHA3-512 digest of its password's UTF-8 bytes; an empty digest
// means no password is required.
namespace Password {

QByteArray digest(const QString& text);
bool matches(const QString& text, const QByteArray& storedDigest);

} // namespace Password
