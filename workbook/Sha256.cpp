#include "Sha256.h"

#include <openssl/evp.h>

namespace Workbook {

Sha256::Sha256()
    : _context(EVP_MD_CTX_new())
    , _ok(_context && EVP_DigestInit_ex(_context, EVP_sha256(), nullptr) == 1)
{
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(_context);
}

void Sha256::addData(const char* data, size_t size)
{
    if (_ok && size > 0)
        _ok = EVP_DigestUpdate(_context, data, size) == 1;
}

QByteArray Sha256::result()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!_ok || EVP_DigestFinal_ex(_context, digest, &length) != 1)
        return QByteArray();
    _ok = false;
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(length));
}

QByteArray Sha256::hexDigest(const QByteArray& data)
{
    Sha256 sha;
    sha.addData(data.constData(), static_cast<size_t>(data.size()));
    return sha.result().toHex();
}

} // namespace Workbook
