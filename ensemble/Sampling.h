#pragma once

#include <cstdint>
#include <vector>

// The ensembles' random numbers, written out here rather than taken from the standard library,
// whose distributions and shuffles differ between implementations: the same seed gives the same
// plan on any machine and compiler.
namespace Sampling {

// xoshiro256** (Blackman and Vigna), its state filled by SplitMix64 from the seed.
class Generator {
public:
    explicit Generator(std::uint64_t seed);
    std::uint64_t next();
    // [0, 1): the top 53 bits of the next number.
    double uniform();
    // [0, bound) without bias (rejection of the uneven remainder); bound > 0.
    std::uint64_t below(std::uint64_t bound);

private:
    std::uint64_t _s[4];
};

enum class Method { LatinHypercube, Uniform };

// members x dimensions numbers in [0, 1). Latin hypercube: for each dimension in turn a
// Fisher-Yates permutation of the members' strata (from the last member down, each swapped with
// one below(i + 1)), then one uniform offset per member; member i's number is
// (stratum + offset) / members. Uniform: member by member, one uniform() per dimension.
std::vector<std::vector<double>> sample(
    Method method, int members, int dimensions, std::uint64_t seed);

// min + u (max - min), kept below max where rounding would reach it.
double scale(double u, double min, double max);

} // namespace Sampling
