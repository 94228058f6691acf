#include <gtest/gtest.h>

#include "EngineHarness.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
struct RateCase
{
    int rate;
    float fs;
    std::vector<int> lengths;
};

void expectConstantsFor (const PlimbradeDSP& engine, float fs)
{
    const auto c = PlimbradeDSPTestAccess::constants (engine);
    EXPECT_EQ (c.percentSmoothCoef, 0.441f / fs);
    EXPECT_EQ (c.smoothCoef, 44.1f / fs);
    EXPECT_EQ (c.smoothPole, 1.0f - 44.1f / fs);
    EXPECT_EQ (c.piOverFs, 3.1415927f / fs);
    EXPECT_EQ (c.twoPiOverFs, 6.2831855f / fs);
    EXPECT_EQ (c.maxDelay, fs + fs);
    EXPECT_EQ (c.maxDelayIndex, fs + fs + 1.0f);
    EXPECT_EQ (c.samplesPerMs, fs * 0.001f);
    EXPECT_EQ (c.samplesPerMinute, fs * 60.0f);
    EXPECT_EQ (c.driftTimeFactor, fs * 0.0001f);
}
} // namespace

TEST (EngineFrame, RateConstantsAndAllpassLengthsUseTheClampedRateInFloat)
{
    const std::vector<RateCase> cases = {
        { 0, 1.0f, { 0, 0, 0, 0, 0, 0, 0, 0 } },
        { -44100, 1.0f, { 0, 0, 0, 0, 0, 0, 0, 0 } },
        { 44100, 44100.0f, { 440, 748, 1057, 1366, 1674, 1983, 2292, 2600 } },
        { 48000, 48000.0f, { 479, 815, 1151, 1487, 1823, 2159, 2495, 2831 } },
        { 96000, 96000.0f, { 959, 1631, 2303, 2975, 3647, 4319, 4991, 5663 } },
        { 192000, 192000.0f, { 1919, 3263, 4607, 5951, 7295, 8639, 9983, 11327 } },
        { 384000, 192000.0f, { 1919, 3263, 4607, 5951, 7295, 8639, 9983, 11327 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.rate);
        TestEngine engine (0);
        engine->init (c.rate);
        EXPECT_EQ (engine->getSampleRate(), c.rate);
        EXPECT_EQ (PlimbradeDSPTestAccess::constants (*engine).allpassLength, c.lengths);
        expectConstantsFor (*engine, c.fs);
    }

    TestEngine slow (0);
    slow->init (0);
    const auto atZero = PlimbradeDSPTestAccess::constants (*slow);
    EXPECT_EQ (atZero.maxDelay, 2.0f);
    EXPECT_EQ (atZero.maxDelayIndex, 3.0f);
    EXPECT_EQ (atZero.samplesPerMs, 0.001f);
    EXPECT_EQ (atZero.samplesPerMinute, 60.0f);

    TestEngine cd (44100);
    const auto at44 = PlimbradeDSPTestAccess::constants (*cd);
    EXPECT_EQ (at44.maxDelay, 88200.0f);
    EXPECT_EQ (at44.samplesPerMs, 44.100002f);
    EXPECT_EQ (at44.samplesPerMinute, 2646000.0f);
}

TEST (EngineFrame, LongestAllpassAndDelayFitTheirRingsAtTheRateCeiling)
{
    TestEngine engine (192000);
    const auto c = PlimbradeDSPTestAccess::constants (*engine);
    for (int stage = 0; stage < PlimbradeDSP::numAllpassStages; ++stage)
        EXPECT_LT (c.allpassLength[static_cast<size_t> (stage)], PlimbradeDSP::allpassRingSize (stage));
    EXPECT_LT (c.maxDelayIndex, static_cast<float> (PlimbradeDSP::delayRingSize));
}

TEST (EngineFrame, CreationZeroesEverythingAndCloneIsAFreshEngine)
{
    TestEngine original (0);
    EXPECT_EQ (original->getSampleRate(), 0);
    EXPECT_EQ (original->getNumInputs(), 2);
    EXPECT_EQ (original->getNumOutputs(), 2);

    original->init (48000);
    original["drywet"] = 77.0f;

    std::unique_ptr<dsp> copy (original->clone());
    ASSERT_NE (dynamic_cast<PlimbradeDSP*> (copy.get()), nullptr);
    EXPECT_EQ (copy->getSampleRate(), 0);
    EXPECT_EQ (copy->getNumInputs(), 2);
    EXPECT_EQ (copy->getNumOutputs(), 2);

    RecordingUI ui;
    copy->buildUserInterface (&ui);
    ASSERT_EQ (ui.sliders.size(), 30u);
    for (const auto& s : ui.sliders)
        EXPECT_EQ (*s.zone, 0.0f) << s.label;

    auto& cloned = dynamic_cast<PlimbradeDSP&> (*copy);
    const auto c = PlimbradeDSPTestAccess::constants (cloned);
    EXPECT_EQ (c.smoothCoef, 0.0f);
    EXPECT_EQ (c.maxDelay, 0.0f);
    EXPECT_EQ (c.allpassLength, std::vector<int> (8, 0));
    const float* rings = PlimbradeDSPTestAccess::rings (cloned);
    EXPECT_TRUE (std::all_of (rings, rings + PlimbradeDSP::ringFloats, [] (float x) { return x == 0.0f; }));
}

TEST (EngineFrame, InitResetsZonesWhileClearAndConstantsLeaveThemAlone)
{
    TestEngine engine (48000);
    RecordingUI ui;
    engine->buildUserInterface (&ui);

    auto writeOddValues = [&] {
        for (auto& s : ui.sliders)
            *s.zone = s.init + 3.0f;
    };
    auto expectZones = [&] (float offset) {
        for (auto& s : ui.sliders)
            EXPECT_EQ (*s.zone, s.init + offset) << s.label;
    };

    writeOddValues();
    float* rings = PlimbradeDSPTestAccess::rings (*engine);
    rings[0] = 1.0f;
    rings[PlimbradeDSP::ringFloats - 1] = 1.0f;

    engine->instanceClear();
    expectZones (3.0f);
    EXPECT_EQ (rings[0], 0.0f);
    EXPECT_EQ (rings[PlimbradeDSP::ringFloats - 1], 0.0f);

    rings[12345] = 1.0f;
    engine->instanceConstants (96000);
    expectZones (3.0f);
    EXPECT_EQ (rings[12345], 1.0f);
    EXPECT_EQ (engine->getSampleRate(), 96000);

    engine->instanceResetUserInterface();
    expectZones (0.0f);
    EXPECT_EQ (rings[12345], 1.0f);
    EXPECT_EQ (engine->getSampleRate(), 96000);

    writeOddValues();
    engine->init (44100);
    expectZones (0.0f);
    EXPECT_EQ (rings[12345], 0.0f);
    EXPECT_EQ (engine->getSampleRate(), 44100);
    EXPECT_EQ (PlimbradeDSPTestAccess::writeIndex (*engine), 0);
}

TEST (EngineFrame, DescribesThirtySlidersInOneBoxInIdOrder)
{
    TestEngine engine;
    RecordingUI ui;
    engine->buildUserInterface (&ui);

    EXPECT_EQ (ui.boxes, std::vector<std::string> { "Plimbrade" });
    EXPECT_EQ (ui.closedBoxes, 1);
    EXPECT_EQ (ui.otherWidgets, 0);
    ASSERT_EQ (ui.sliders.size(), 30u);
    EXPECT_EQ (ui.declares.size(), 60u);

    for (size_t i = 1; i < ui.sliders.size(); ++i)
        EXPECT_LT (ui.sliders[i - 1].label, ui.sliders[i].label);

    // The zones lie in the host parameter order, which is not the id order.
    const std::vector<std::string> fieldOrder = {
        "drywet", "amp", "lowamp", "lowmute", "lowpan", "pitchstage", "lowpitch", "driftdepth",
        "driftrate", "lowpitchwindow", "delaymode", "lowfeed", "diffusion", "lowdamp", "cutoff", "res",
        "lowtimesync", "lowtime", "bpm", "lowsyncedtime", "highamp", "highmute", "highpan", "highpitch",
        "highpitchwindow", "highfeed", "highdamp", "hightimesync", "hightime", "highsyncedtime"
    };
    std::map<std::string, float*> zoneOf;
    for (auto& s : ui.sliders)
        zoneOf[s.label] = s.zone;
    for (size_t i = 1; i < fieldOrder.size(); ++i)
        EXPECT_LT (zoneOf[fieldOrder[i - 1]], zoneOf[fieldOrder[i]]) << fieldOrder[i];

    std::map<std::string, int> perKey;
    for (auto& d : ui.declares)
        ++perKey[d.key];
    EXPECT_EQ (perKey, (std::map<std::string, int> { { "hidden", 1 }, { "scale", 7 }, { "style", 8 }, { "uiname", 29 }, { "unit", 15 } }));

    // Each slider's declares come right before it, keys ascending.
    size_t d = 0;
    for (auto& s : ui.sliders)
    {
        std::string previousKey;
        while (d < ui.declares.size() && ui.declares[d].zone == s.zone)
        {
            EXPECT_LT (previousKey, ui.declares[d].key) << s.label;
            previousKey = ui.declares[d++].key;
        }
        EXPECT_FALSE (previousKey.empty()) << s.label;
    }
    EXPECT_EQ (d, ui.declares.size());
}

TEST (EngineFrame, SliderRangesAndMenus)
{
    TestEngine engine;
    RecordingUI ui;
    engine->buildUserInterface (&ui);

    std::map<std::string, RecordingUI::Slider> slider;
    std::map<std::string, std::map<std::string, std::string>> meta;
    for (auto& s : ui.sliders)
        slider[s.label] = s;
    for (auto& d : ui.declares)
        for (auto& s : ui.sliders)
            if (s.zone == d.zone)
                meta[s.label][d.key] = d.value;

    struct Row
    {
        const char* id;
        float init, min, max, step;
    };
    const Row rows[] = {
        { "amp", 0, -70, 6, 0.001f }, { "bpm", 120, 1, 999, 1 }, { "cutoff", 1000, 60, 11000, 1 },
        { "delaymode", 0, 0, 1, 1 }, { "diffusion", 0, 0, 100, 1 }, { "driftdepth", 0, 0, 100, 1 },
        { "driftrate", 0.5f, 0.001f, 5, 0.001f }, { "drywet", 50, 0, 100, 1 }, { "highamp", 0, -12, 12, 0.001f },
        { "highdamp", 6000, 60, 11000, 1 }, { "highfeed", 60, 0, 100, 1 }, { "highmute", 0, 0, 1, 1 },
        { "highpan", 0, -1, 1, 0.001f }, { "highpitch", 0, -24, 24, 1 }, { "highpitchwindow", 1024, 32, 4096, 32 },
        { "highsyncedtime", 8, 0, 17, 1 }, { "hightime", 120, 1, 1000, 1 }, { "hightimesync", 1, 0, 1, 1 },
        { "lowamp", 0, -12, 12, 0.001f }, { "lowdamp", 6000, 60, 11000, 1 }, { "lowfeed", 60, 0, 100, 1 },
        { "lowmute", 0, 0, 1, 1 }, { "lowpan", 0, -1, 1, 0.001f }, { "lowpitch", 0, -24, 24, 1 },
        { "lowpitchwindow", 1024, 32, 4096, 32 }, { "lowsyncedtime", 6, 0, 17, 1 }, { "lowtime", 60, 1, 1000, 1 },
        { "lowtimesync", 1, 0, 1, 1 }, { "pitchstage", 1, 0, 2, 1 }, { "res", 40, 0, 100, 1 },
    };
    for (const auto& r : rows)
    {
        SCOPED_TRACE (r.id);
        const auto& s = slider.at (r.id);
        EXPECT_EQ (s.init, r.init);
        EXPECT_EQ (s.min, r.min);
        EXPECT_EQ (s.max, r.max);
        EXPECT_EQ (s.step, r.step);
    }

    const std::string syncedMenu =
        "menu{'1 BAR':0;'1/2D':1;'1/2':2;'1/4D':3;'1/2T':4;'1/4':5;'1/8D':6;'1/4T':7;'1/8':8;"
        "'1/16D':9;'1/8T':10;'1/16':11;'1/32D':12;'1/16T':13;'1/32':14;'1/64D':15;'1/32T':16;'1/64':17}";
    EXPECT_EQ (meta["lowsyncedtime"]["style"], syncedMenu);
    EXPECT_EQ (meta["highsyncedtime"]["style"], syncedMenu);
    EXPECT_EQ (meta["delaymode"]["style"], "menu{'REPITCH':0;'SMOOTH':1}");
    EXPECT_EQ (meta["pitchstage"]["style"], "menu{'INACTIVE':0;'PRE':1;'POST':2}");
    for (const char* id : { "lowmute", "highmute", "lowtimesync", "hightimesync" })
        EXPECT_EQ (meta[id]["style"], "menu{'OFF':0;'ON':1}") << id;
    EXPECT_EQ (meta["bpm"], (std::map<std::string, std::string> { { "hidden", "1" } }));
    EXPECT_EQ (meta["amp"], (std::map<std::string, std::string> { { "scale", "exp" }, { "uiname", "Output Amp" }, { "unit", "dB" } }));
    EXPECT_EQ (meta["highdamp"]["uiname"], "High Damp Frequency");
    EXPECT_EQ (meta["lowtime"]["unit"], "ms");
    EXPECT_EQ (meta["drywet"]["uiname"], "Dry/Wet");

    // Describing reads no zone and writes none.
    engine["drywet"] = 12.0f;
    RecordingUI again;
    engine->buildUserInterface (&again);
    EXPECT_EQ (engine["drywet"], 12.0f);
    EXPECT_EQ (again.sliders[7].init, 50.0f);
}

TEST (EngineFrame, MetadataHasSixtySixPairsInAscendingKeyOrder)
{
    struct RecordingMeta : Meta
    {
        std::vector<std::pair<std::string, std::string>> pairs;
        void declare (const char* key, const char* value) override { pairs.emplace_back (key, value); }
    } meta;

    TestEngine engine;
    engine->metadata (&meta);
    ASSERT_EQ (meta.pairs.size(), 66u);
    for (size_t i = 1; i < meta.pairs.size(); ++i)
        EXPECT_LT (meta.pairs[i - 1].first, meta.pairs[i].first);

    std::map<std::string, std::string> byKey (meta.pairs.begin(), meta.pairs.end());
    EXPECT_EQ (byKey["name"], "Plimbrade");
    EXPECT_EQ (byKey["filename"], "Plimbrade.dsp");
    const std::string fixedTail = " -i -cn PlimbradeDSP -es 1 -mcd 16 -single -ftz 0";
    const auto& options = byKey["compile_options"];
    ASSERT_GT (options.size(), fixedTail.size());
    EXPECT_EQ (options.substr (options.size() - fixedTail.size()), fixedTail);
    EXPECT_EQ (byKey["basics.lib/version"], "0.8");
    EXPECT_EQ (byKey["signals.lib/name"], "Faust Signal Routing Library");
    EXPECT_EQ (byKey["maths.lib/version"], "2.5");

    auto endsWith = [] (const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.compare (text.size() - tail.size(), tail.size(), tail) == 0;
    };
    int libraryNamesAndVersions = 0;
    for (auto& pair : byKey)
        if (endsWith (pair.first, ".lib/name") || endsWith (pair.first, ".lib/version"))
            ++libraryNamesAndVersions;
    EXPECT_EQ (libraryNamesAndVersions, 20);
}
