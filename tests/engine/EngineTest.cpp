#include "engine/PlimbradeDSP.h"

#include <faust/gui/MapUI.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Reaches the engine's private constants and state.
class PlimbradeDSPTestAccess
{
public:
    static std::vector<float> constants (const PlimbradeDSP& e) { return { e.percentSmoothCoef, e.smoothCoef, e.smoothPole, e.piOverFs, e.twoPiOverFs, e.maxDelay, e.maxDelayIndex, e.samplesPerMs, e.samplesPerMinute, e.driftTimeFactor }; }
    static int& writeIndex (PlimbradeDSP& e) { return e.writeIndex; }
};

namespace
{
// Left and right channel.
using Stereo = std::array<std::vector<float>, 2>;
Stereo silence (size_t n) { return { std::vector<float> (n), std::vector<float> (n) }; }

// Reproducible white noise, about -6 dBFS at its peaks.
Stereo noise (size_t n, std::uint32_t seed = 1)
{
    auto s = silence (n);
    for (size_t i = 0; i < 2 * n; ++i)
        s[i % 2][i / 2] = static_cast<float> (static_cast<std::int32_t> (seed = seed * 1664525u + 1013904223u)) * 2.3e-10f;
    return s;
}

using Settings = std::vector<std::pair<std::string, float>>;
Settings operator+ (Settings a, const Settings& b) { return a.insert (a.end(), b.begin(), b.end()), a; }

// The engine as the plug-in holds it, value-initialised on the heap, with its
// controls set by name through the zones it declares.
struct TestEngine : std::unique_ptr<PlimbradeDSP>
{
    MapUI ui;

    explicit TestEngine (int rate = 48000, const Settings& settings = {})
        : unique_ptr (std::make_unique<PlimbradeDSP>())
    {
        get()->buildUserInterface (&ui);
        get()->init (rate);
        set (settings);
    }
    void set (const Settings& settings)
    {
        std::for_each (settings.begin(), settings.end(), [this] (auto& s) { *ui.getLabelMap().at (s.first) = s.second; });
    }

    // Processes a copy in place, cycling through the block sizes (sizes of 0
    // and below must do nothing).
    Stereo run (Stereo s, const std::vector<int>& blocks = { 256 })
    {
        for (size_t start = 0, b = 0; start < s[0].size(); start += static_cast<size_t> (std::max (blocks[b++ % blocks.size()], 0)))
        {
            float* channels[2] = { s[0].data() + start, s[1].data() + start };
            get()->compute (std::min (blocks[b % blocks.size()], static_cast<int> (s[0].size() - start)), channels, channels);
        }
        return s;
    }
};

// Records the metadata keys in call order.
struct KeyRecorder : Meta
{
    std::vector<std::string> keys;
    void declare (const char* key, const char*) override { keys.push_back (key); }
};
} // namespace

TEST (EngineFrame, ConstantsFollowTheClampedRateAndMetadataKeysAscend)
{
    // Rates below 1 Hz count as 1 Hz, above 192 kHz as 192 kHz.
    for (const auto& [rate, as] : { std::pair { 0, 1 }, std::pair { -44100, 1 }, std::pair { 384000, 192000 } })
        EXPECT_EQ (PlimbradeDSPTestAccess::constants (*TestEngine (rate)), PlimbradeDSPTestAccess::constants (*TestEngine (as))) << rate;

    KeyRecorder m;
    TestEngine()->metadata (&m);
    EXPECT_EQ (m.keys.size(), 66u);
    EXPECT_TRUE (std::adjacent_find (m.keys.begin(), m.keys.end(), [] (auto& a, auto& b) { return a >= b; }) == m.keys.end());
}

// A stored render of a fixed setting, so that an accidental change of the
// sound fails the build. After an intended change, regenerate it with
//
//     CORVANTIDE_REGENERATE_GOLDEN=1 build/test/tests/corvantide_engine_tests --gtest_filter='EngineGolden*'
//
// and commit tests/engine/golden/render-48k.txt.
TEST (EngineGolden, FixedSettingRendersAsStored)
{
    // Three segments that between them run every stage: PRE shifting into the
    // repitching delay with diffusion and drift; POST shifting after the
    // crossfading delay; then no shifter, with panning, band gains and a mute.
    const Settings segments[] = {
        { { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "diffusion", 50.0f }, { "driftdepth", 50.0f }, { "driftrate", 3.0f }, { "lowfeed", 70.0f }, { "highfeed", 40.0f } },
        { { "pitchstage", 2.0f }, { "delaymode", 1.0f }, { "lowtime", 9.0f } },
        { { "pitchstage", 0.0f }, { "lowpan", -0.7f }, { "highpan", 0.4f }, { "lowamp", 6.0f }, { "highmute", 1.0f }, { "amp", -3.0f } },
    };
    // Noise with a click.
    auto signal = noise (3 * 2048, 12345);
    signal[0][10] = 0.9f;
    TestEngine e (48000, { { "lowtimesync", 0.0f }, { "lowtime", 5.0f }, { "highsyncedtime", 17.0f }, { "lowpitchwindow", 256.0f }, { "highpitchwindow", 480.0f }, { "res", 80.0f }, { "drywet", 70.0f } });
    for (size_t start = 0; start < signal[0].size(); start += 2048)
    {
        e.set (segments[start / 2048]);
        float* channels[2] = { signal[0].data() + start, signal[1].data() + start };
        e->compute (2048, channels, channels);
    }

    const std::string path = std::string (CORVANTIDE_ENGINE_GOLDEN_DIR) + "/render-48k.txt";
    if (const char* regenerate = std::getenv ("CORVANTIDE_REGENERATE_GOLDEN"); regenerate != nullptr && std::string (regenerate) == "1")
    {
        std::ofstream file (path);
        file.precision (9);
        for (size_t i = 0; i < signal[0].size(); ++i)
            file << signal[0][i] << ' ' << signal[1][i] << '\n';
        ASSERT_TRUE (file.good()) << path;
        GTEST_SKIP() << "regenerated " << path;
    }
    std::ifstream file (path);
    const std::vector<float> stored { std::istream_iterator<float> (file), std::istream_iterator<float>() };
    ASSERT_EQ (stored.size(), 2 * signal[0].size()) << path << " holds a different number of samples, or something else";
    for (size_t i = 0; i < stored.size(); ++i) // room for another libm's last-bit differences, far below any audible change
        ASSERT_NEAR (signal[i % 2][i / 2], stored[i], 1.0e-4f) << "sample " << i / 2 << (i % 2 ? " right" : " left");
}

TEST (EngineCompute, OutputDependsOnlyOnTheInputStreamAndStaysBounded)
{
    // Every stage: at low rates PRE shifting into REPITCH, with corners above half the rate that must not
    // blow the filters up (16 kHz would); at 48 kHz POST shifting after SMOOTH.
    const Settings active = { { "lowtimesync", 0.0f }, { "hightimesync", 0.0f }, { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "diffusion", 50.0f }, { "driftdepth", 50.0f } };
    const Settings corners = active + Settings { { "cutoff", 11000.0f }, { "lowdamp", 11000.0f }, { "highdamp", 11000.0f }, { "res", 100.0f } };
    for (int rate : { 8000, 16000, 22050, 48000 })
    {
        TestEngine e (rate, rate < 48000 ? corners : active + Settings { { "pitchstage", 2.0f }, { "delaymode", 1.0f } });
        const auto input = noise (6000), expected = e.run (input, { 1, 0, 255, -5, 64, 1000, 3 });
        EXPECT_TRUE (std::all_of (expected.begin(), expected.end(), [] (auto& c) { return std::all_of (c.begin(), c.end(), [] (float x) { return std::fabs (x) < 2.0f; }); })) << rate; // NaN fails too
        EXPECT_TRUE (expected != silence (6000)) << rate;

        // Clear restores every state, the drift's noise sequence included, and keeps the controls;
        // after 2^31 samples (12 h at 48 kHz) the counter wraps, which ring indices do not notice.
        e->instanceClear();
        PlimbradeDSPTestAccess::writeIndex (*e) = INT_MAX - 1000;
        EXPECT_TRUE (e.run (input) == expected) << rate;
    }
}

TEST (EngineCompute, SyncedEchoesLastTheirNoteAndAnUnusableTempoDoesNotLatch)
{
    // The low band alone, straight through its delay: no shifter, diffusion, damping or feedback.
    TestEngine e (48000, { { "pitchstage", 0.0f }, { "drywet", 100.0f }, { "highmute", 1.0f }, { "cutoff", 11000.0f }, { "lowdamp", 11000.0f }, { "lowfeed", 0.0f } });
    // Sets the controls and settles the smoothers on silence, then returns where the answer to one impulse first passes 0.02.
    auto echoOnset = [&e] (const Settings& settings, size_t settle, size_t length) {
        e.set (settings);
        auto impulse = silence (settle + length);
        impulse[0][settle] = 0.5f;
        const auto out = e.run (impulse)[0];
        return std::find_if (out.begin() + static_cast<long> (settle) + 1, out.end(), [] (float x) { return std::fabs (x) > 0.02f; }) - out.begin() - static_cast<long> (settle);
    };

    // A tempo that is not a number of at least 1 counts as 1 bpm, which puts "1/8" beyond the 2 s ceiling;
    // the notes below show that it does not latch.
    for (float bpm : { 0.0f, -120.0f, NAN })
        EXPECT_NEAR (echoOnset ({ { "bpm", bpm }, { "lowsyncedtime", 8.0f } }, 200000, 97000), 96000, 10) << bpm << " bpm";

    // At 1500 bpm a beat lasts 1920 samples, a bar four beats. A fraction takes the entry below, values
    // beyond the menu its first or last entry; D adds half the length, T takes a third off.
    const std::string notes[] = { "1 BAR", "1/2D", "1/2", "1/4D", "1/2T", "1/4", "1/8D", "1/4T", "1/8", "1/16D", "1/8T", "1/16", "1/32D", "1/16T", "1/32", "1/64D", "1/32T", "1/64" };
    for (float value = -1.0f; value < 19.0f; value += 0.5f)
    {
        const std::string& note = notes[std::clamp (static_cast<int> (std::floor (value)), 0, 17)];
        const float beats = (note == "1 BAR" ? 4.0f : 4.0f / std::stof (note.substr (2))) * (note.back() == 'D' ? 1.5f : 1.0f) * (note.back() == 'T' ? 2.0f / 3.0f : 1.0f);
        EXPECT_NEAR (echoOnset ({ { "bpm", 1500.0f }, { "lowsyncedtime", value } }, 30000, 9000), beats * 1920.0f, 1.0f) << value << ", " << note;
    }
}
