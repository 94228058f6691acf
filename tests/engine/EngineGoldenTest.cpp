#include <gtest/gtest.h>

#include "EngineHarness.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

/*  A stored render of a fixed setting, so that an accidental change of the
    sound fails the build. After an intended change, regenerate it with

        CORVANTIDE_REGENERATE_GOLDEN=1 build/test/tests/corvantide_engine_tests --gtest_filter='EngineGolden*'

    and commit tests/engine/golden/render-48k.txt.
*/

namespace
{
const std::string goldenPath = std::string (CORVANTIDE_ENGINE_GOLDEN_DIR) + "/render-48k.txt";
constexpr int segmentLength = 2048;

// Three segments that between them run every stage: PRE shifting into the
// repitching delay with diffusion and drift; POST shifting after the
// crossfading delay; then no shifter, with panning, band gains and a mute.
std::vector<float> renderFixedSetting()
{
    TestEngine e;
    e["lowpitch"] = 7.0f;
    e["highpitch"] = -5.0f;
    e["diffusion"] = 50.0f;
    e["driftdepth"] = 50.0f;
    e["driftrate"] = 3.0f;
    e["lowfeed"] = e["highfeed"] = 70.0f;
    e["lowtimesync"] = 0.0f;
    e["lowtime"] = 5.0f;
    e["highsyncedtime"] = 17.0f;
    e["lowpitchwindow"] = 256.0f;
    e["highpitchwindow"] = 480.0f;
    e["res"] = 80.0f;
    e["drywet"] = 70.0f;

    std::uint32_t seed = 12345;
    std::vector<float> left (3 * segmentLength), right (3 * segmentLength);
    for (size_t i = 0; i < left.size(); ++i)
    {
        seed = seed * 1664525u + 1013904223u;
        const float n = static_cast<float> (static_cast<std::int32_t> (seed)) * 1.0e-10f;
        left[i] = n + 0.3f * std::sin (0.031f * static_cast<float> (i));
        right[i] = 0.5f * n;
    }
    left[10] = 0.9f;

    for (int segment = 0; segment < 3; ++segment)
    {
        if (segment == 1)
        {
            e["pitchstage"] = 2.0f;
            e["delaymode"] = 1.0f;
            e["lowtime"] = 9.0f;
        }
        if (segment == 2)
        {
            e["pitchstage"] = 0.0f;
            e["lowpan"] = -0.7f;
            e["highpan"] = 0.4f;
            e["lowamp"] = 6.0f;
            e["highmute"] = 1.0f;
            e["amp"] = -3.0f;
        }
        for (int start = 0; start < segmentLength; start += 256)
        {
            const auto offset = static_cast<size_t> (segment * segmentLength + start);
            float* channels[2] = { left.data() + offset, right.data() + offset };
            e->compute (256, channels, channels);
        }
    }

    std::vector<float> interleaved;
    for (size_t i = 0; i < left.size(); ++i)
    {
        interleaved.push_back (left[i]);
        interleaved.push_back (right[i]);
    }
    return interleaved;
}
} // namespace

TEST (EngineGolden, FixedSettingRendersAsStored)
{
    const auto rendered = renderFixedSetting();

    if (const char* regenerate = std::getenv ("CORVANTIDE_REGENERATE_GOLDEN"); regenerate != nullptr && std::string (regenerate) == "1")
    {
        std::FILE* file = std::fopen (goldenPath.c_str(), "w");
        ASSERT_NE (file, nullptr) << goldenPath;
        for (size_t i = 0; i < rendered.size(); i += 2)
            std::fprintf (file, "%.9g %.9g\n", static_cast<double> (rendered[i]), static_cast<double> (rendered[i + 1]));
        std::fclose (file);
        GTEST_SKIP() << "regenerated " << goldenPath;
    }

    std::ifstream in (goldenPath);
    ASSERT_TRUE (in.good()) << "missing " << goldenPath;
    std::vector<float> stored;
    float value;
    while (in >> value)
        stored.push_back (value);
    ASSERT_EQ (stored.size(), rendered.size());

    // Room for another libm's last-bit differences, far below any audible change.
    size_t exact = 0;
    for (size_t i = 0; i < stored.size(); ++i)
    {
        ASSERT_NEAR (rendered[i], stored[i], 1.0e-4f) << "sample " << i / 2 << (i % 2 == 0 ? " left" : " right");
        if (rendered[i] == stored[i])
            ++exact;
    }
    RecordProperty ("bit_exact_samples", static_cast<int> (exact));
    std::printf ("golden render: %zu of %zu values bit-exact\n", exact, stored.size());
}
