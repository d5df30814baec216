#include "Sha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define TARN_SHA_X86 1
#endif

namespace Workbook {

namespace {

const uint32_t K[64] = { 0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1,
    0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa,
    0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147,
    0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb,
    0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624,
    0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb,
    0xbef9a3f7, 0xc67178f2 };

inline uint32_t rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void portableBlocks(uint32_t state[8], const unsigned char* data, size_t count)
{
    for (; count > 0; --count, data += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = uint32_t(data[4 * t]) << 24 | uint32_t(data[4 * t + 1]) << 16
                | uint32_t(data[4 * t + 2]) << 8 | uint32_t(data[4 * t + 3]);
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                 g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
            const uint32_t ch = (e & f) ^ (~e & g);
            const uint32_t t1 = h + s1 + ch + K[t] + w[t];
            const uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
            const uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
            const uint32_t t2 = s0 + maj;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef TARN_SHA_X86
// Four rounds at a time with SHA256RNDS2; the message schedule with SHA256MSG1/MSG2.
__attribute__((target("sha,sse4.1,ssse3"))) void shaBlocks(
    uint32_t state[8], const unsigned char* data, size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1); // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B); // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0); // CDGH

    for (; count > 0; --count, data += 64) {
        const __m128i abefSaved = state0;
        const __m128i cdghSaved = state1;
        __m128i m[4];
        for (int k = 0; k < 4; ++k)
            m[k] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k)), byteSwap);
        for (int k = 0; k < 16; ++k) {
            __m128i& cur = m[k % 4];
            __m128i msg
                = _mm_add_epi32(cur, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&K[4 * k])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            if (k >= 3 && k <= 14) {
                __m128i& next = m[(k + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(cur, m[(k + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, cur);
            }
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
            if (k >= 1 && k <= 12) {
                __m128i& previous = m[(k + 3) % 4];
                previous = _mm_sha256msg1_epu32(previous, cur);
            }
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B); // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1); // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0); // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8); // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}
#endif

} // namespace

bool Sha256::hardwareSupported()
{
#ifdef TARN_SHA_X86
    // Asked of the processor itself: not every compiler knows "sha" as a feature name.
    static const bool supported = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d))
            return false;
        const bool ssse3 = c & (1u << 9);
        const bool sse41 = c & (1u << 19);
        if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
            return false;
        const bool sha = b & (1u << 29);
        return sha && sse41 && ssse3;
    }();
    return supported;
#else
    return false;
#endif
}

Sha256::Sha256(bool accelerated)
    : _state { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
        0x5be0cd19 }
    , _accelerated(accelerated && hardwareSupported())
{
}

void Sha256::blocks(const unsigned char* data, size_t count)
{
#ifdef TARN_SHA_X86
    if (_accelerated) {
        shaBlocks(_state, data, count);
        return;
    }
#endif
    portableBlocks(_state, data, count);
}

void Sha256::addData(const char* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    _length += size;
    if (_buffered > 0) {
        const size_t take = std::min(size, size_t(64) - _buffered);
        std::memcpy(_buffer + _buffered, bytes, take);
        _buffered += take;
        bytes += take;
        size -= take;
        if (_buffered < 64)
            return;
        blocks(_buffer, 1);
        _buffered = 0;
    }
    if (size >= 64) {
        blocks(bytes, size / 64);
        bytes += size / 64 * 64;
        size %= 64;
    }
    std::memcpy(_buffer, bytes, size);
    _buffered = size;
}

QByteArray Sha256::result()
{
    const uint64_t bits = _length * 8;
    unsigned char pad[72] = { 0x80 };
    const size_t padLength = (_buffered < 56 ? 56 : 120) - _buffered;
    for (int i = 0; i < 8; ++i)
        pad[padLength + static_cast<size_t>(i)] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    addData(reinterpret_cast<const char*>(pad), padLength + 8);
    QByteArray digest(32, '\0');
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k)
            digest[4 * i + k] = static_cast<char>(_state[i] >> (24 - 8 * k));
    return digest;
}

} // namespace Workbook
