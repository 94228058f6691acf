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
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>
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

const Settings active = { { "lowtimesync", 0.0f }, { "hightimesync", 0.0f }, { "lowtime", 20.0f }, { "hightime", 35.0f }, { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "pitchstage", 1.0f }, { "diffusion", 50.0f }, { "driftdepth", 50.0f }, { "lowfeed", 70.0f }, { "highfeed", 70.0f } };

// The low band alone, straight through its delay: no shifter, diffusion, damping
// or feedback; a free time of 1 ms; the high band muted. Or the high band alone.
TestEngine isolated (const Settings& extra, bool low = true)
{
    const std::string band = low ? "low" : "high";
    return TestEngine (48000, Settings { { "pitchstage", 0.0f }, { "drywet", 100.0f }, { std::string (low ? "high" : "low") + "mute", 1.0f }, { "cutoff", low ? 11000.0f : 60.0f }, { band + "damp", 11000.0f }, { band + "feed", 0.0f }, { band + "timesync", 0.0f }, { band + "time", 1.0f } } + extra);
}

// Settles the smoothers on silence, then returns where the left answer to one
// impulse first passes the threshold.
long echoOnset (TestEngine& e, size_t length, size_t settle, float threshold = 0.02f)
{
    e.run (silence (settle));
    auto impulse = silence (length);
    impulse[0][0] = impulse[1][0] = 0.5f;
    const auto out = e.run (impulse)[0];
    const auto it = std::find_if (out.begin() + 1, out.end(), [=] (float x) { return std::fabs (x) > threshold; });
    return it == out.end() ? -1 : it - out.begin();
}

// Records, in call order, the boxes, sliders, declares and metadata the engine describes.
struct RecordingUI : MapUI, Meta
{
    struct Call
    {
        float* zone;
        std::string name, value; // slider: label; declare and metadata: key, value
    };
    std::vector<std::string> boxes; // "" closes a box
    std::vector<Call> sliders, declares, metadata;

    void openVerticalBox (const char* label) override { boxes.push_back (label), MapUI::openVerticalBox (label); }
    void closeBox() override { boxes.push_back (""), MapUI::closeBox(); }
    void declare (float* zone, const char* key, const char* value) override { declares.push_back ({ zone, key, value }); }
    void declare (const char* key, const char* value) override { metadata.push_back ({ nullptr, key, value }); }
    void addHorizontalSlider (const char* label, float* zone, float init, float min, float max, float step) override { sliders.push_back ({ zone, label, {} }), MapUI::addHorizontalSlider (label, zone, init, min, max, step); }
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

TEST (EngineFrame, ConstantsAndAllpassLengthsFollowTheClampedRateInFloat)
{
    // Computed in float: the double-precision product gives one sample less in several places.
    const std::pair<int, std::vector<int>> rows[] = {
        { 0, { 0, 0, 0, 0, 0, 0, 0, 0 } },
        { -44100, { 0, 0, 0, 0, 0, 0, 0, 0 } },
        { 44100, { 440, 748, 1057, 1366, 1674, 1983, 2292, 2600 } },
        { 48000, { 479, 815, 1151, 1487, 1823, 2159, 2495, 2831 } },
        { 96000, { 959, 1631, 2303, 2975, 3647, 4319, 4991, 5663 } },
        { 192000, { 1919, 3263, 4607, 5951, 7295, 8639, 9983, 11327 } },
        { 384000, { 1919, 3263, 4607, 5951, 7295, 8639, 9983, 11327 } },
    };
    for (const auto& [rate, allpassLengths] : rows)
    {
        const float fs = std::min (192000.0f, std::max (1.0f, static_cast<float> (rate)));
        TestEngine e (rate);
        EXPECT_EQ (e->getSampleRate(), rate);
        EXPECT_EQ (Access::allpassLengths (*e), allpassLengths) << rate;
        EXPECT_EQ (Access::constants (*e), (std::vector<float> { 0.441f / fs, 44.1f / fs, 1.0f - 44.1f / fs, 3.1415927f / fs, 6.2831855f / fs, fs + fs, fs + fs + 1.0f, fs * 0.001f, fs * 60.0f, fs * 0.0001f })) << rate;
        for (int k = 0; k < PlimbradeDSP::numAllpassStages; ++k) // even at the ceiling every line fits its ring
            EXPECT_LT (allpassLengths[static_cast<size_t> (k)], PlimbradeDSP::allpassRingSize (k));
        EXPECT_LT (fs + fs + 1.0f, static_cast<float> (PlimbradeDSP::delayRingSize));
    }
}

TEST (EngineFrame, CloneIsAllZeros)
{
    std::unique_ptr<dsp> clone (TestEngine()->clone());
    const auto* bytes = reinterpret_cast<const unsigned char*> (clone.get());
    EXPECT_TRUE (std::all_of (bytes + sizeof (dsp), bytes + sizeof (PlimbradeDSP), [] (unsigned char b) { return b == 0; })) << "every field after the virtual table pointer is 0";
}

TEST (EngineFrame, DescribesItsControlsAndMetadataInAscendingOrder)
{
    TestEngine e;
    RecordingUI ui;
    e->buildUserInterface (&ui);
    e->metadata (&ui);
    auto ascending = [] (auto begin, auto end) { return std::adjacent_find (begin, end, [] (auto& a, auto& b) { return a.name >= b.name; }) == end; };
    EXPECT_EQ (ui.boxes, (std::vector<std::string> { "Plimbrade", "" }));
    ASSERT_EQ (ui.sliders.size(), 30u);
    EXPECT_EQ (ui.metadata.size(), 66u);
    EXPECT_TRUE (ascending (ui.sliders.begin(), ui.sliders.end()));
    EXPECT_TRUE (ascending (ui.metadata.begin(), ui.metadata.end()));

    // Each slider's declares come right before it, keys ascending; the counts
    // per key add up to all 60, so none is left over.
    std::map<std::string, int> perKey;
    std::map<std::string, std::string> styles;
    auto d = ui.declares.begin();
    for (const auto& s : ui.sliders)
    {
        const auto end = std::find_if (d, ui.declares.end(), [&] (auto& c) { return c.zone != s.zone; });
        EXPECT_TRUE (d != end && ascending (d, end)) << s.name;
        for (; d != end; ++d)
            if (++perKey[d->name]; d->name == "style")
                styles[s.name] = d->value;
    }
    EXPECT_EQ (perKey, (std::map<std::string, int> { { "hidden", 1 }, { "scale", 7 }, { "style", 8 }, { "uiname", 29 }, { "unit", 15 } }));
    const std::string onOff = "menu{'OFF':0;'ON':1}", synced = "menu{'1 BAR':0;'1/2D':1;'1/2':2;'1/4D':3;'1/2T':4;'1/4':5;'1/8D':6;'1/4T':7;'1/8':8;"
                                                               "'1/16D':9;'1/8T':10;'1/16':11;'1/32D':12;'1/16T':13;'1/32':14;'1/64D':15;'1/32T':16;'1/64':17}";
    EXPECT_EQ (styles, (std::map<std::string, std::string> { { "delaymode", "menu{'REPITCH':0;'SMOOTH':1}" }, { "highmute", onOff }, { "highsyncedtime", synced }, { "hightimesync", onOff }, { "lowmute", onOff }, { "lowsyncedtime", synced }, { "lowtimesync", onOff }, { "pitchstage", "menu{'INACTIVE':0;'PRE':1;'POST':2}" } }));
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
    // Rate, setting, and a setting that must sound the same: a pitch stage of 1.5
    // is INACTIVE, a delay type of 0.9 is REPITCH, and with no wet signal the
    // wet path's setting makes no difference. Corners above half the rate
    // must not blow the filters up at low rates (16 kHz would); the default
    // free times with PRE into REPITCH and with POST after SMOOTH.
    const Settings extremeCorners = active + Settings { { "cutoff", 11000.0f }, { "lowdamp", 11000.0f }, { "highdamp", 11000.0f }, { "res", 100.0f } };
    const Settings freeTimes = { { "lowtimesync", 0.0f }, { "hightimesync", 0.0f }, { "lowpitch", 7.0f }, { "highpitch", -5.0f }, { "diffusion", 50.0f }, { "driftdepth", 50.0f } };
    const Settings freeCorners = freeTimes + Settings { { "cutoff", 11000.0f }, { "lowdamp", 11000.0f }, { "highdamp", 11000.0f }, { "res", 100.0f } };
    const std::tuple<int, Settings, Settings> rows[] = {
        { 48000, active + Settings { { "pitchstage", 0.0f } }, active + Settings { { "pitchstage", 1.5f } } },
        { 48000, active, active + Settings { { "delaymode", 0.9f } } },
        { 48000, active + Settings { { "pitchstage", 2.0f }, { "delaymode", 1.0f } }, {} },
        { 48000, active + Settings { { "drywet", 0.0f } }, Settings { { "drywet", 0.0f } } },
        { 8000, extremeCorners, {} },
        { 16000, extremeCorners, {} },
        { 22050, extremeCorners, {} },
        { 8000, freeCorners, {} },
        { 16000, freeCorners, {} },
        { 22050, freeCorners, {} },
        { 48000, freeTimes + Settings { { "pitchstage", 2.0f }, { "delaymode", 1.0f } }, {} },
    };
    const auto input = noise (6000);
    for (const auto& [rate, setting, sameSound] : rows)
    {
        SCOPED_TRACE (rate);
        TestEngine e (rate, setting);
        const auto expected = e.run (input, { 128 });
        EXPECT_TRUE (sameSound.empty() || TestEngine (rate, sameSound).run (input) == expected);
        EXPECT_TRUE (std::all_of (expected.begin(), expected.end(), [] (auto& c) { return std::all_of (c.begin(), c.end(), [] (float x) { return std::fabs (x) < 2.0f; }); })); // NaN fails too
        EXPECT_TRUE (expected != silence (input[0].size()));
        EXPECT_TRUE (TestEngine (rate, setting).run (input, { 1, 0, 255, -5, 64, 1000, 3 }) == expected);

        auto in = input, out = silence (input[0].size());
        float* buffers[4] = { in[0].data(), in[1].data(), out[0].data(), out[1].data() };
        TestEngine (rate, setting)->compute (6000, buffers, buffers + 2);
        EXPECT_TRUE (out == expected && in == input) << "separate buffers give the same, inputs untouched";

        // init and clear restore every state, the drift's noise sequence included,
        // and clear keeps the controls.
        e->init (rate);
        e.set (setting);
        EXPECT_TRUE (e.run (input) == expected);
        e->instanceClear();
        EXPECT_TRUE (e.run (input) == expected);

        // After 2^31 samples (12 h at 48 kHz) the counter wraps; ring indices do not notice.
        TestEngine late (rate, setting);
        Access::writeIndex (*late) = INT_MAX - 1000;
        EXPECT_TRUE (late.run (input) == expected);
        EXPECT_EQ (Access::writeIndex (*late), INT_MIN + 4999);

        const auto crossed = TestEngine (rate, setting).run ({ input[1], input[0] });
        EXPECT_TRUE (crossed[0] == expected[1] && crossed[1] == expected[0]) << "swapped inputs give swapped outputs";
    }
}

TEST (EngineCompute, SyncedEchoesLastTheirNoteAndAnUnusableTempoDoesNotLatch)
{
    auto e = isolated ({ { "lowtimesync", 1.0f } });
    auto onset = [&e] (const Settings& settings, size_t settle, size_t length) { return e.set (settings), echoOnset (e, length, settle); };

    // Tempo, synced-time index, delay in samples: "1/8" is half a beat; a fraction takes the entry below
    // ("1/4"); above the menu is "1/64", below it "1 BAR" (at the 2 s ceiling); a fast tempo is used as it
    // is. A tempo that is not a number of at least 1 counts as 1 bpm, which puts "1/8" beyond the ceiling;
    // none of them latches.
    const std::tuple<float, float, long> rows[] = {
        { 120.0f, 8.0f, 12000 },
        { 120.0f, 5.7f, 24000 },
        { 120.0f, 20.0f, 1500 },
        { 120.0f, -1.0f, 96000 },
        { 1500.0f, 8.0f, 960 },
        { 0.0f, 8.0f, 96000 },
        { -120.0f, 8.0f, 96000 },
        { std::numeric_limits<float>::quiet_NaN(), 8.0f, 96000 },
        { 0.5f, 8.0f, 96000 },
    };
    for (const auto& [bpm, index, samples] : rows)
    {
        // The smoother settles within a few float steps of its target: about one sample in 10,000.
        EXPECT_NEAR (onset ({ { "bpm", bpm }, { "lowsyncedtime", index } }, 200000, static_cast<size_t> (samples) + 1000), samples, samples / 10000 + 1) << bpm << " bpm, index " << index;
        EXPECT_NEAR (onset ({ { "bpm", 120.0f }, { "lowsyncedtime", 8.0f } }, 48000, 12100), 12000, 2) << "after " << bpm << " bpm";
    }

    // At 1500 bpm a beat lasts 1920 samples, a bar four beats. A fraction takes the entry below, values
    // beyond the menu its first or last entry; D adds half the length, T takes a third off.
    const std::string notes[] = { "1 BAR", "1/2D", "1/2", "1/4D", "1/2T", "1/4", "1/8D", "1/4T", "1/8", "1/16D", "1/8T", "1/16", "1/32D", "1/16T", "1/32", "1/64D", "1/32T", "1/64" };
    for (float value = -1.0f; value < 19.0f; value += 0.5f)
    {
        const std::string& note = notes[std::clamp (static_cast<int> (std::floor (value)), 0, 17)];
        const float beats = (note == "1 BAR" ? 4.0f : 4.0f / std::stof (note.substr (2))) * (note.back() == 'D' ? 1.5f : 1.0f) * (note.back() == 'T' ? 2.0f / 3.0f : 1.0f);
        EXPECT_NEAR (onset ({ { "bpm", 1500.0f }, { "lowsyncedtime", value } }, 30000, 9000), beats * 1920.0f, 1.0f) << value << ", " << note;
    }
}

TEST (EngineCompute, BandsSplitAtTheCutoffShiftsMoveOctavesAndDriftStaysWithinItsRange)
{
    auto tone = silence (48000);
    for (size_t i = 0; i < tone[0].size(); ++i)
        tone[0][i] = tone[1][i] = 0.1f * std::sin (0.05759587f * static_cast<float> (i)); // 440 Hz
    auto energy = [&] (float cutoff, bool low) {
        const auto out = isolated ({ { "cutoff", cutoff } }, low).run (tone)[0];
        return std::inner_product (out.begin() + 24000, out.end(), out.begin() + 24000, 0.0); // after the onset
    };
    EXPECT_GT (energy (60.0f, false), 900.0 * energy (60.0f, true));
    EXPECT_GT (energy (11000.0f, true), 900.0 * energy (11000.0f, false));

    for (float stage : { 1.0f, 2.0f })
        for (float semitones : { 12.0f, -12.0f })
        {
            const auto out = isolated ({ { "pitchstage", stage }, { "lowpitch", semitones } }).run (tone)[0];
            // Zero crossings in the last half second: one per hertz.
            const int crossings = std::inner_product (out.begin() + 24000, out.end() - 1, out.begin() + 24001, 0, std::plus<>(), [] (float a, float b) { return (a < 0.0f) != (b < 0.0f) ? 1 : 0; });
            EXPECT_NEAR (crossings, semitones > 0 ? 880 : 220, semitones > 0 ? 53 : 13) << "stage " << stage << ", " << semitones << " semitones";
        }

    // One unit of drift is a semitone, and 10 ms of delay time at full depth.
    auto e = isolated ({ { "driftdepth", 100.0f }, { "driftrate", 5.0f }, { "lowtime", 100.0f } });
    float largest = 0.0f;
    for (int block = 0; block < 4000; ++block)
        e.run (silence (240)), largest = std::max (largest, std::fabs (Access::drift (*e)));
    EXPECT_LE (largest, 1.0f);
    EXPECT_GT (largest, 0.5f);
    for (int i = 0; i < 40; ++i)
        EXPECT_NEAR (echoOnset (e, 9600, 0, 0.01f), 4800, 481) << i;
}

TEST (EngineCompute, SmoothFadesLast1024SamplesAndAMovingTimeStartsOneEvery1025)
{
    TestEngine e (48000, { { "delaymode", 1.0f }, { "lowtimesync", 0.0f }, { "lowtime", 500.0f } });
    std::vector<decltype (Access::band (*e, 0))> f;
    for (int i = 0; i < 4000; ++i)
        e.run (silence (1)), f.push_back (Access::band (*e, 0));

    // After a clear the first sample starts a fade to the current time; the taps hold meanwhile.
    EXPECT_EQ (f[0].xfadeStep, 1.0f / 1024.0f);
    EXPECT_EQ (f[1023].xfadePos, 1.0f);
    EXPECT_EQ (f[1023].tapB, f[0].tapB);

    // The time is still gliding up, so fades follow each other one sample apart.
    std::vector<size_t> starts;
    for (size_t i = 1; i < f.size(); ++i)
        if (f[i].xfadeStep != 0.0f && f[i - 1].xfadeStep == 0.0f)
            starts.push_back (i);
    EXPECT_EQ (starts, (std::vector<size_t> { 1025, 2050, 3075 }));
}

TEST (EngineCompute, ZeroDryWetGivesTheDcBlockedSaturationOfTheInputAlone)
{
    auto input = noise (4000, 11);
    for (auto& x : input[0])
        x = 3.0f * x + 0.25f; // drive the saturation, with an offset to block
    const auto out = TestEngine (48000, active + Settings { { "drywet", 0.0f } }).run (input);

    // Reference: y = tanh (x), then the DC blocker z = 0.995 z' + y - y'.
    float satPrev = 0.0f, dcOut = 0.0f;
    for (size_t i = 0; i < input[0].size(); ++i)
    {
        const float y = std::tanh (input[0][i]);
        dcOut = 0.995f * dcOut + y - satPrev;
        satPrev = y;
        ASSERT_EQ (out[0][i], dcOut) << i;
    }
}
