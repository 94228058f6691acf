#include <gtest/gtest.h>

#include "EngineHarness.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

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
        { { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "diffusion", 50.0f }, { "driftdepth", 50.0f }, { "driftrate", 3.0f }, { "lowfeed", 70.0f }, { "highfeed", 70.0f },
          { "lowtimesync", 0.0f }, { "lowtime", 5.0f }, { "highsyncedtime", 17.0f }, { "lowpitchwindow", 256.0f }, { "highpitchwindow", 480.0f }, { "res", 80.0f }, { "drywet", 70.0f } },
        { { "pitchstage", 2.0f }, { "delaymode", 1.0f }, { "lowtime", 9.0f } },
        { { "pitchstage", 0.0f }, { "lowpan", -0.7f }, { "highpan", 0.4f }, { "lowamp", 6.0f }, { "highmute", 1.0f }, { "amp", -3.0f } },
    };
    TestEngine e;
    std::uint32_t seed = 12345;
    std::vector<float> rendered; // left and right interleaved
    for (size_t segment = 0; segment < 3; ++segment)
    {
        auto input = silence (2048);
        for (size_t k = 0, i = segment * 2048; k < 2048; ++k, ++i)
        {
            const float n = static_cast<float> (static_cast<std::int32_t> (seed = seed * 1664525u + 1013904223u)) * 1.0e-10f;
            input[0][k] = i == 10 ? 0.9f : n + 0.3f * std::sin (0.031f * static_cast<float> (i));
            input[1][k] = 0.5f * n;
        }
        e.set (segments[segment]);
        const auto out = e.run (input);
        for (size_t k = 0; k < 2048; ++k)
            rendered.insert (rendered.end(), { out[0][k], out[1][k] });
    }

    const std::string path = std::string (CORVANTIDE_ENGINE_GOLDEN_DIR) + "/render-48k.txt";
    if (const char* regenerate = std::getenv ("CORVANTIDE_REGENERATE_GOLDEN"); regenerate != nullptr && std::string (regenerate) == "1")
    {
        std::ofstream file (path);
        file.precision (9);
        for (size_t i = 0; i < rendered.size(); i += 2)
            file << rendered[i] << ' ' << rendered[i + 1] << '\n';
        ASSERT_TRUE (file.good()) << path;
        GTEST_SKIP() << "regenerated " << path;
    }
    std::ifstream file (path);
    std::vector<float> stored;
    for (float value; file >> value;)
        stored.push_back (value);
    ASSERT_EQ (stored.size(), rendered.size()) << path;
    // Room for another libm's last-bit differences, far below any audible change.
    for (size_t i = 0; i < stored.size(); ++i)
        ASSERT_NEAR (rendered[i], stored[i], 1.0e-4f) << "sample " << i / 2 << (i % 2 == 0 ? " left" : " right");
}
