#pragma once
#include <cstdint>
#include <random>

namespace quarnel {

// One seed per process for every hash table keyed by file content (ids,
// texts). A fixed hash lets a file be written whose keys all land in one
// probe chain, which turns a linear pass into a quadratic one.
inline std::uint64_t hash_seed() {
    static const std::uint64_t seed = [] {
        std::uint64_t s = reinterpret_cast<std::uintptr_t>(&seed) * 0x9E3779B97F4A7C15ULL;
        try {
            std::random_device device;
            s ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
        } catch (...) {
            // No entropy source: the address of the seed still varies between runs.
        }
        return s | 1;
    }();
    return seed;
}

// The slot hash of an instance id under `seed`: every bit of the id reaches
// every bit of the result.
inline std::uint64_t mix_id(std::uint64_t id, std::uint64_t seed) {
    std::uint64_t z = id ^ seed;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace quarnel
