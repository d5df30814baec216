#include "ensemble/Sampling.h"

#include <cmath>
#include <utility>

namespace Sampling {

namespace {

std::uint64_t splitMix64(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k)
{
    return (x << k) | (x >> (64 - k));
}

} // namespace

Generator::Generator(std::uint64_t seed)
{
    std::uint64_t state = seed;
    for (std::uint64_t& word : _s)
        word = splitMix64(state);
}

std::uint64_t Generator::next()
{
    const std::uint64_t result = rotl(_s[1] * 5, 7) * 9;
    const std::uint64_t t = _s[1] << 17;
    _s[2] ^= _s[0];
    _s[3] ^= _s[1];
    _s[1] ^= _s[2];
    _s[0] ^= _s[3];
    _s[2] ^= t;
    _s[3] = rotl(_s[3], 45);
    return result;
}

double Generator::uniform()
{
    return double(next() >> 11) * 0x1.0p-53;
}

std::uint64_t Generator::below(std::uint64_t bound)
{
    // 2^64 mod bound numbers at the bottom would come up once more often than the rest.
    const std::uint64_t threshold = (0 - bound) % bound;
    for (;;) {
        const std::uint64_t x = next();
        if (x >= threshold)
            return x % bound;
    }
}

std::vector<std::vector<double>> sample(
    Method method, int members, int dimensions, std::uint64_t seed)
{
    std::vector<std::vector<double>> u(
        static_cast<size_t>(members), std::vector<double>(static_cast<size_t>(dimensions)));
    Generator generator(seed);
    if (method == Method::Uniform) {
        for (auto& member : u) {
            for (double& value : member)
                value = generator.uniform();
        }
        return u;
    }
    std::vector<std::uint64_t> strata(static_cast<size_t>(members));
    for (int d = 0; d < dimensions; ++d) {
        for (int i = 0; i < members; ++i)
            strata[size_t(i)] = std::uint64_t(i);
        for (int i = members - 1; i > 0; --i) {
            const std::uint64_t j = generator.below(std::uint64_t(i) + 1);
            std::swap(strata[size_t(i)], strata[size_t(j)]);
        }
        for (int i = 0; i < members; ++i) {
            const double offset = generator.uniform();
            u[size_t(i)][size_t(d)] = (double(strata[size_t(i)]) + offset) / double(members);
        }
    }
    return u;
}

double scale(double u, double min, double max)
{
    const double value = min + u * (max - min);
    return value < max || min == max ? value : std::nextafter(max, min);
}

} // namespace Sampling
