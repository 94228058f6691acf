#pragma once

#include "engine/PlimbradeDSP.h"

#include <faust/gui/MapUI.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Reaches the engine's private constants and state.
class PlimbradeDSPTestAccess
{
public:
    static std::vector<float> constants (const PlimbradeDSP& e) { return { e.percentSmoothCoef, e.smoothCoef, e.smoothPole, e.piOverFs, e.twoPiOverFs, e.maxDelay, e.maxDelayIndex, e.samplesPerMs, e.samplesPerMinute, e.driftTimeFactor }; }
    static std::vector<int> allpassLengths (const PlimbradeDSP& e) { return { std::begin (e.allpassLength), std::end (e.allpassLength) }; }
    static int& writeIndex (PlimbradeDSP& e) { return e.writeIndex; }
    static auto band (const PlimbradeDSP& e, int b) { return e.band[b]; }
    static float drift (const PlimbradeDSP& e) { return e.driftLp[4]; }
};
using Access = PlimbradeDSPTestAccess;

// Left and right channel.
using Stereo = std::array<std::vector<float>, 2>;
inline Stereo silence (size_t n) { return { std::vector<float> (n), std::vector<float> (n) }; }

// Reproducible white noise, about -6 dBFS at its peaks, interleaved from one generator.
inline Stereo noise (size_t n, std::uint32_t seed = 1)
{
    auto s = silence (n);
    for (size_t i = 0; i < 2 * n; ++i)
        s[i % 2][i / 2] = static_cast<float> (static_cast<std::int32_t> (seed = seed * 1664525u + 1013904223u)) * 2.3e-10f;
    return s;
}

using Settings = std::vector<std::pair<std::string, float>>;
inline Settings operator+ (Settings a, const Settings& b) { return a.insert (a.end(), b.begin(), b.end()), a; }

// The engine as the plug-in holds it, value-initialised on the heap, with its
// controls set by name through the zones it declares.
struct TestEngine : std::unique_ptr<PlimbradeDSP>
{
    MapUI ui;

    explicit TestEngine (int rate = 48000, const Settings& settings = {}) : unique_ptr (std::make_unique<PlimbradeDSP>())
    {
        get()->buildUserInterface (&ui);
        get()->init (rate);
        set (settings);
    }
    void set (const Settings& settings)
    {
        for (auto& [id, value] : settings)
            *ui.getLabelMap().at (id) = value;
    }

    // Processes a copy in place, cycling through the block sizes (sizes of 0
    // and below must do nothing).
    Stereo run (Stereo s, const std::vector<int>& blocks = { 256 })
    {
        for (size_t start = 0, b = 0; start < s[0].size(); ++b)
        {
            const int n = std::min (blocks[b % blocks.size()], static_cast<int> (s[0].size() - start));
            float* channels[2] = { s[0].data() + start, s[1].data() + start };
            get()->compute (n, channels, channels);
            start += static_cast<size_t> (std::max (n, 0));
        }
        return s;
    }
};
