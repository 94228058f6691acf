// Speed of the engine alone: 48 kHz, in place, blocks of 256, flush-to-zero on,
// 60 s of stereo noise, for the default and the "active" setting; then the
// processor's guard against non-finite input on the same noise, as a share of
// the engine's time.
//
//     corvantide_bench                 ns per stereo sample and real-time factor, median of 5
//     corvantide_bench --callgrind [default|active]
//                                      one short pass for counting instructions:
//                                      bench/count-instructions.sh runs it under callgrind

#include "engine/PlimbradeDSP.h"
#include "processor/SilenceNonFinite.h"

#include <faust/gui/MapUI.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
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
using Stereo = std::array<std::vector<float>, 2>;

// A fresh engine at 48 kHz with its controls at the defaults, or at the "active" setting.
std::unique_ptr<PlimbradeDSP> makeEngine (const std::string& setting)
{
    auto engine = std::make_unique<PlimbradeDSP>();
    engine->init (sampleRate);
    MapUI zones;
    engine->buildUserInterface (&zones);
    if (setting == "active")
        for (const auto& [id, value] : { std::pair { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "pitchstage", 1.0f }, { "diffusion", 50.0f }, { "driftdepth", 50.0f }, { "lowfeed", 70.0f }, { "highfeed", 70.0f } })
            zones.setParamValue (id, value);
    return engine;
}

Stereo noise (size_t seconds, std::uint32_t seed)
{
    Stereo s { std::vector<float> (seconds * sampleRate), std::vector<float> (seconds * sampleRate) };
    for (size_t i = 0; i < 2 * s[0].size(); ++i)
        s[i % 2][i / 2] = static_cast<float> (static_cast<std::int32_t> (seed = seed * 1664525u + 1013904223u)) * 2.0e-10f;
    return s;
}

// In place, in blocks of 256 as a host would call it.
void process (PlimbradeDSP& engine, Stereo& s)
{
    for (size_t start = 0; start < s[0].size(); start += 256)
    {
        float* channels[2] = { s[0].data() + start, s[1].data() + start };
        engine.compute (static_cast<int> (std::min<size_t> (256, s[0].size() - start)), channels, channels);
    }
}
} // namespace

int main (int argc, char** argv)
{
#if defined(__SSE__)
    _mm_setcsr (_mm_getcsr() | 0x8040); // FTZ and DAZ, as the plug-in's no-denormals guard
#endif
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--callgrind")
    {
        // Settles for 1 s, then processes 2 s with instruction collection switched
        // on (when run under callgrind with --collect-atstart=no).
        const std::string setting = argc > 2 ? argv[2] : "active";
        auto engine = makeEngine (setting);
        auto settle = noise (1, 1), measured = noise (2, 3);
        process (*engine, settle);
        CALLGRIND_TOGGLE_COLLECT;
        process (*engine, measured);
        CALLGRIND_TOGGLE_COLLECT;
        std::printf ("measured stereo samples: %zu (setting %s)\n", measured[0].size(), setting.c_str());
        return 0;
    }
    if (! mode.empty())
    {
        std::fprintf (stderr, "usage: %s [--callgrind [default|active]]\n", argv[0]);
        return 2;
    }

    const auto input = noise (60, 1);
    std::printf ("engine alone, %d Hz, blocks of 256, %zu stereo samples (60 s), median of 5\n", sampleRate, input[0].size());
    double defaultSeconds = 0.0;
    for (const std::string setting : { "default", "active", "guard" })
    {
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run)
        {
            auto engine = makeEngine (setting);
            auto s = input;
            const auto start = std::chrono::steady_clock::now();
            if (setting == "guard")
                for (size_t first = 0; first < s[0].size(); first += 256)
                    for (auto& channel : s)
                        silenceNonFinite (channel.data() + first, static_cast<int> (std::min<size_t> (256, s[0].size() - first)));
            else
                process (*engine, s);
            runs.push_back (std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count());
            volatile float sink = s[0][s[0].size() / 2]; // keeps the work from being dropped
            (void) sink;
        }
        std::sort (runs.begin(), runs.end());
        defaultSeconds = setting == "default" ? runs[2] : defaultSeconds;
        std::printf ("%-8s %8.1f ns per stereo sample   ", setting.c_str(), runs[2] * 1.0e9 / static_cast<double> (input[0].size()));
        if (setting == "guard")
            std::printf ("%.2f %% of the default engine\n", 100.0 * runs[2] / defaultSeconds);
        else
            std::printf ("real-time factor %7.1f\n", 60.0 / runs[2]);
    }
    return 0;
}
