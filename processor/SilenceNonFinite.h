#pragma once

#include <cstdint>
#include <cstring>

// Sets every NaN and infinity among the samples to 0 and leaves every other
// sample's bits exactly as they were (subnormals and -0 included), so finite
// input reaches the engine unchanged. Works on the bits, not on float
// comparisons, so it holds under any rounding or flush-to-zero mode. No
// framework code: the benchmark measures it beside the engine.
namespace detail
{
inline void silenceIfNonFinite (float& sample) noexcept
{
    std::uint32_t bits;
    std::memcpy (&bits, &sample, sizeof bits);
    // All exponent bits set: an infinity or a NaN. Selected without a
    // branch, so that runs of these vectorise.
    bits = (bits & 0x7f800000u) == 0x7f800000u ? 0u : bits;
    std::memcpy (&sample, &bits, sizeof bits);
}
} // namespace detail

inline void silenceNonFinite (float* samples, int numSamples) noexcept
{
    // Runs of a fixed length vectorise at every optimisation level that
    // vectorises at all (GCC's -O2 does not for a loop of unknown length).
    constexpr int run = 8;
    int i = 0;
    for (; i + run <= numSamples; i += run)
        for (int j = 0; j < run; ++j)
            detail::silenceIfNonFinite (samples[i + j]);

    for (; i < numSamples; ++i)
        detail::silenceIfNonFinite (samples[i]);
}
