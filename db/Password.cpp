#include "db/Password.h"

#include <QCryptographicHash>

namespace Password {

QByteArray digest(const QString& text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha3_512);
}

bool matches(const QString& text, const QByteArray& storedDigest)
{
    return digest(text) == storedDigest;
}

} // namespace Password
