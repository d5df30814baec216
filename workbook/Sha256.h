#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace Workbook {

// SHA-256 (FIPS 180-4), on the processor's SHA instructions where it has them: a sheet's
// fingerprint hashes hundreds of megabytes of text, several times faster so than with
// QCryptographicHash, which gives the same digests.
class Sha256 {
public:
    // accelerated false keeps to the portable code (for tests).
    explicit Sha256(bool accelerated = true);

    void addData(const char* data, size_t size);
    // The 32-byte digest; the object is spent afterwards.
    QByteArray result();

    static bool hardwareSupported();

private:
    void blocks(const unsigned char* data, size_t count);

    uint32_t _state[8];
    unsigned char _buffer[64];
    size_t _buffered = 0;
    uint64_t _length = 0;
    bool _accelerated;
};

} // namespace Workbook
