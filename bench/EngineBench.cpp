// Speed of the engine alone: 48 kHz, in place, blocks of 256, flush-to-zero on,
// 60 s of stereo noise, for the default and the "active" setting.
//
//     corvantide_bench                 ns per stereo sample and real-time factor, median of 5
//     corvantide_bench --callgrind [default|active]
//                                      one short pass for counting instructions:
//                                      bench/count-instructions.sh runs it under callgrind

#include "engine/PlimbradeDSP.h"

#include <faust/gui/MapUI.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#if defined(__SSE__)
    #include <xmmintrin.h>
#endif

#if __has_include(<valgrind/callgrind.h>)
    #include <valgrind/callgrind.h>
#else
    #define CALLGRIND_TOGGLE_COLLECT // without the header the pass still runs, but nothing is toggled
#endif

namespace
{
constexpr int sampleRate = 48000;
constexpr int blockSize = 256;

// A fresh engine at 48 kHz with its controls at the defaults, or at the "active" setting.
std::unique_ptr<PlimbradeDSP> makeEngine (const std::string& setting)
{
    const std::pair<const char*, float> active[] = { { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "pitchstage", 1.0f }, { "diffusion", 50.0f },
                                                     { "driftdepth", 50.0f }, { "lowfeed", 70.0f }, { "highfeed", 70.0f } };
    auto engine = std::make_unique<PlimbradeDSP>();
    engine->init (sampleRate);
    MapUI zones;
    engine->buildUserInterface (&zones);
    if (setting == "active")
        for (const auto& [id, value] : active)
            zones.setParamValue (id, value);
    return engine;
}

std::vector<float> noise (size_t n, std::uint32_t seed)
{
    std::vector<float> v (n);
    for (auto& x : v)
    {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float> (static_cast<std::int32_t> (seed)) * 2.0e-10f;
    }
    return v;
}

void enableFlushToZero()
{
#if defined(__SSE__)
    _mm_setcsr (_mm_getcsr() | 0x8040); // FTZ and DAZ, as the plug-in's no-denormals guard
#endif
}

void processAll (PlimbradeDSP& engine, std::vector<float>& left, std::vector<float>& right)
{
    const size_t total = left.size();
    for (size_t start = 0; start < total; start += blockSize)
    {
        const int n = static_cast<int> (std::min<size_t> (blockSize, total - start));
        float* channels[2] = { left.data() + start, right.data() + start };
        engine.compute (n, channels, channels);
    }
}

double secondsFor (const std::string& setting, const std::vector<float>& left, const std::vector<float>& right)
{
    auto engine = makeEngine (setting);
    auto l = left, r = right;
    const auto start = std::chrono::steady_clock::now();
    processAll (*engine, l, r);
    const auto stop = std::chrono::steady_clock::now();
    // Keep the result alive so the work cannot be dropped.
    volatile float sink = l[l.size() / 2] + r[r.size() / 3];
    (void) sink;
    return std::chrono::duration<double> (stop - start).count();
}

int runTimed()
{
    const size_t samples = static_cast<size_t> (sampleRate) * 60;
    const auto left = noise (samples, 1), right = noise (samples, 2);
    std::printf ("engine alone, %d Hz, blocks of %d, %zu stereo samples (60 s), median of 5\n", sampleRate, blockSize, samples);

    for (const std::string setting : { "default", "active" })
    {
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run)
            runs.push_back (secondsFor (setting, left, right));
        std::sort (runs.begin(), runs.end());
        const double median = runs[2];
        std::printf ("%-8s %8.1f ns per stereo sample   real-time factor %7.1f\n", setting.c_str(),
                     median * 1.0e9 / static_cast<double> (samples), 60.0 / median);
    }
    return 0;
}

// Settles for 1 s, then processes 2 s with instruction collection switched on
// (when run under callgrind with --collect-atstart=no).
int runForCallgrind (const std::string& setting)
{
    const size_t settle = static_cast<size_t> (sampleRate), measured = 2 * static_cast<size_t> (sampleRate);
    auto engine = makeEngine (setting);
    auto l = noise (settle, 1), r = noise (settle, 2);
    processAll (*engine, l, r);
    l = noise (measured, 3);
    r = noise (measured, 4);

    CALLGRIND_TOGGLE_COLLECT;
    processAll (*engine, l, r);
    CALLGRIND_TOGGLE_COLLECT;
    std::printf ("measured stereo samples: %zu (setting %s)\n", measured, setting.c_str());
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    enableFlushToZero();
    if (argc > 1 && std::strcmp (argv[1], "--callgrind") == 0)
        return runForCallgrind (argc > 2 ? argv[2] : "active");
    if (argc > 1)
    {
        std::fprintf (stderr, "usage: %s [--callgrind [default|active]]\n", argv[0]);
        return 2;
    }
    return runTimed();
}
