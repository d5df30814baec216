#pragma once

#include <QByteArray>

#include <cstddef>

struct evp_md_ctx_st;

namespace Workbook {

// SHA-256 through OpenSSL's EVP interface (libcrypto), which runs on the processor's SHA
// instructions where it has them: a sheet's fingerprint hashes hundreds of megabytes of text.
// Both fingerprints, of a sheet's content and of a scenario's definition, are worked out here.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void addData(const char* data, size_t size);
    // The 32-byte digest; the object is spent afterwards. Empty when libcrypto failed (it
    // could not even allocate its context).
    QByteArray result();

    // The digest of data in lower-case hex; empty when libcrypto failed.
    static QByteArray hexDigest(const QByteArray& data);

private:
    evp_md_ctx_st* _context;
    bool _ok;
};

} // namespace Workbook
