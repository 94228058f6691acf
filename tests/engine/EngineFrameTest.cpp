#include <gtest/gtest.h>

#include "EngineHarness.h"

#include <map>

namespace
{
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

TEST (EngineFrame, CloneIsAllZerosAndAResetOfTheControlsKeepsTheState)
{
    TestEngine e (48000, { { "drywet", 7.0f } });
    std::unique_ptr<dsp> clone (e->clone());
    const auto* bytes = reinterpret_cast<const unsigned char*> (clone.get());
    EXPECT_TRUE (std::all_of (bytes + sizeof (dsp), bytes + sizeof (PlimbradeDSP), [] (unsigned char b) { return b == 0; })) << "every field after the virtual table pointer is 0";

    // The render checks show that init and clear restore every state and that
    // clear keeps the controls; the other two steps keep the state.
    Access::writeIndex (*e) = 1;
    e->instanceResetUserInterface();
    e->instanceConstants (96000);
    EXPECT_EQ (*e.ui.getLabelMap().at ("drywet"), 50.0f);
    EXPECT_EQ (e->getSampleRate(), 96000);
    EXPECT_EQ (Access::writeIndex (*e), 1);
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
    // per key add up to all 60.
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
    EXPECT_TRUE (d == ui.declares.end());
    EXPECT_EQ (perKey, (std::map<std::string, int> { { "hidden", 1 }, { "scale", 7 }, { "style", 8 }, { "uiname", 29 }, { "unit", 15 } }));
    const std::string onOff = "menu{'OFF':0;'ON':1}", synced = "menu{'1 BAR':0;'1/2D':1;'1/2':2;'1/4D':3;'1/2T':4;'1/4':5;'1/8D':6;'1/4T':7;'1/8':8;"
                                                              "'1/16D':9;'1/8T':10;'1/16':11;'1/32D':12;'1/16T':13;'1/32':14;'1/64D':15;'1/32T':16;'1/64':17}";
    EXPECT_EQ (styles, (std::map<std::string, std::string> { { "delaymode", "menu{'REPITCH':0;'SMOOTH':1}" }, { "highmute", onOff }, { "highsyncedtime", synced }, { "hightimesync", onOff }, { "lowmute", onOff }, { "lowsyncedtime", synced }, { "lowtimesync", onOff }, { "pitchstage", "menu{'INACTIVE':0;'PRE':1;'POST':2}" } }));
}
