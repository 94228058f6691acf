#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "processor/ParamBridge.h"

namespace
{
    using Metadata = std::map<std::string, std::string>;

    Metadata slider (const std::string& id, const std::string& init, const std::string& min, const std::string& max, const std::string& step)
    {
        return { { "uid", id }, { "init", init }, { "min", min }, { "max", max }, { "step", step } };
    }

    Metadata with (Metadata m, const std::string& key, const std::string& value)
    {
        m[key] = value;
        return m;
    }

    float zone = 0.0f;

    ParamInfo info (const Metadata& m) { return ParamInfo (&zone, m); }

    const auto onOff = slider ("mute", "1.000000", "0.000000", "1.000000", "1.000000");
} // namespace

TEST (ParamBridge, MenuZonesBecomeChoicesNeverBools)
{
    auto p = info (with (onOff, "style", "menu{'OFF':0;'ON':1}"));
    EXPECT_EQ (p.kind, ParamInfo::choiceKind);
    EXPECT_EQ (p.choices, juce::StringArray ({ "OFF", "ON" }));

    auto param = createParameter (p);
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (param.get());
    ASSERT_NE (choice, nullptr);
    EXPECT_EQ (choice->getIndex(), 1);
    EXPECT_EQ (choice->getLabel(), "");
}

TEST (ParamBridge, ZeroToOneStepOneWithoutStyleIsABool)
{
    for (auto [init, expectOn] : { std::pair { "0.500000", false }, std::pair { "0.510000", true } })
    {
        auto p = info (with (with (onOff, "init", init), "unit", "sw"));
        EXPECT_EQ (p.kind, ParamInfo::boolKind);
        auto param = createParameter (p);
        auto* b = dynamic_cast<juce::AudioParameterBool*> (param.get());
        ASSERT_NE (b, nullptr);
        EXPECT_EQ (b->get(), expectOn) << init;
        EXPECT_EQ (b->getLabel(), "sw");
    }

    // A style that is no menu keeps even a 0..1 step-1 zone a number.
    EXPECT_EQ (info (with (onOff, "style", "knob")).kind, ParamInfo::floatKind);
}

TEST (ParamBridge, ReadsRangeSkewNameUnitAndDefaults)
{
    auto p = info (with (with (with (slider ("cutoff", "1000.000000", "60.000000", "11000.000000", "1.000000"), "scale", "log"), "uiname", "Cutoff"), "unit", "Hz"));
    EXPECT_EQ (p.id, "cutoff");
    EXPECT_EQ (p.range.start, 60.0f);
    EXPECT_EQ (p.range.end, 11000.0f);
    EXPECT_EQ (p.range.interval, 1.0f);
    EXPECT_EQ (p.range.skew, 0.5f);
    EXPECT_FALSE (p.range.symmetricSkew);
    EXPECT_EQ (p.defaultValue, 1000.0f);
    EXPECT_EQ (p.name, "Cutoff");
    EXPECT_EQ (p.unit, "Hz");
    EXPECT_EQ (p.versionHint, 1);
    EXPECT_FALSE (p.hidden);
    EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (createParameter (p).get()), nullptr);

    const auto base = slider ("a", "0", "0", "10", "1");
    EXPECT_EQ (info (with (base, "scale", "exp")).range.skew, 1.5f);
    EXPECT_EQ (info (with (base, "scale", "LOG")).range.skew, 1.0f);
    EXPECT_EQ (info (with (base, "scale", "")).range.skew, 1.0f);
    EXPECT_EQ (info (base).name, "a");
    EXPECT_EQ (info (base).unit, "");

    // Missing numbers take the documented fallbacks.
    auto bare = info ({ { "uid", "bare" } });
    EXPECT_EQ (bare.range.start, 0.0f);
    EXPECT_EQ (bare.range.end, 1.0f);
    EXPECT_FLOAT_EQ (bare.range.interval, 0.01f);
    EXPECT_EQ (bare.defaultValue, 0.0f);
    EXPECT_EQ (bare.kind, ParamInfo::floatKind);
}

TEST (ParamBridge, HiddenAndVersionKeys)
{
    const auto base = slider ("bpm", "120", "1", "999", "1");
    EXPECT_FALSE (info (with (base, "hidden", "0")).hidden);
    EXPECT_FALSE (info (with (base, "hidden", "")).hidden);
    EXPECT_TRUE (info (with (base, "hidden", "1")).hidden);
    EXPECT_TRUE (info (with (base, "hidden", "-7")).hidden);

    EXPECT_EQ (info (with (base, "version", "2")).versionHint, 2);
    EXPECT_EQ (info (with (base, "version", "")).versionHint, 1);
    EXPECT_EQ (createParameter (info (with (base, "version", "2")))->getVersionHint(), 2);
}

TEST (ParamBridge, UnparsableNumbersCountAsAbsent)
{
    // std::stof/std::stoi would throw here and abort the processor's construction.
    Metadata m { { "uid", "odd" }, { "min", "low" }, { "max", "1e99" }, { "step", "?" }, { "init", "x1" }, { "hidden", "yes" }, { "version", "99999999999" } };
    ParamInfo p (&zone, m);
    EXPECT_EQ (p.range.start, 0.0f);
    EXPECT_EQ (p.range.end, 1.0f);
    EXPECT_FLOAT_EQ (p.range.interval, 0.01f);
    EXPECT_EQ (p.defaultValue, 0.0f);
    EXPECT_FALSE (p.hidden);
    EXPECT_EQ (p.versionHint, 1);

    // Leading numbers still parse as the standard conversions read them.
    auto q = info (slider ("q", " 3.5dB", "-2x", "10", "0.5"));
    EXPECT_EQ (q.defaultValue, 3.5f);
    EXPECT_EQ (q.range.start, -2.0f);
}

TEST (ParamBridge, ParsesMenus)
{
    auto labels = [] (const std::string& style) {
        auto p = info (with (slider ("m", "0", "0", "17", "1"), "style", style));
        return std::make_pair (p.kind, p.choices);
    };

    EXPECT_EQ (labels ("menu{'INACTIVE':0;'PRE':1;'POST':2}").second, juce::StringArray ({ "INACTIVE", "PRE", "POST" }));
    EXPECT_EQ (labels ("menu{'1 BAR':0;'1/2D':1}").second, juce::StringArray ({ "1 BAR", "1/2D" }));
    EXPECT_EQ (labels ("menu{'a{b}':0;'c;d':1}").second, juce::StringArray ({ "ab", "c;d" }));
    EXPECT_EQ (labels ("Menu{'A':0}").first, ParamInfo::floatKind);

    // Empty items are skipped rather than becoming choices with no label.
    EXPECT_EQ (labels ("menu{'A':0;;'B':1;}").second, juce::StringArray ({ "A", "B" }));

    // A menu with nothing in it leaves a number parameter.
    const auto empty = labels ("menu{}");
    EXPECT_EQ (empty.first, ParamInfo::floatKind);
    EXPECT_TRUE (empty.second.isEmpty());
    EXPECT_EQ (labels ("menu{;}").first, ParamInfo::floatKind);
    auto* param = createParameter (info (with (onOff, "style", "menu{}"))).release();
    EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (param), nullptr);
    delete param;
}

TEST (ParamBridge, ChoiceDefaultIsTruncated)
{
    const auto menu = "menu{'0':0;'1':1;'2':2;'3':3;'4':4;'5':5;'6':6;'7':7}";
    for (auto [init, index] : { std::pair { "6.000000", 6 }, std::pair { "2.700000", 2 } })
    {
        auto param = createParameter (info (with (slider ("c", init, "0", "7", "1"), "style", menu)));
        EXPECT_EQ (dynamic_cast<juce::AudioParameterChoice&> (*param).getIndex(), index) << init;
    }
}

TEST (ParamBridge, WriteZoneConvertsByKind)
{
    ParamInfo p (&zone, {});
    const auto written = [&p] (std::uint32_t kind, float value) {
        p.kind = kind;
        zone = -123.0f;
        writeZone (p, value);
        return zone;
    };

    EXPECT_EQ (written (ParamInfo::choiceKind, 1.5f), 2.0f);
    EXPECT_EQ (written (ParamInfo::choiceKind, 2.5f), 2.0f);
    EXPECT_EQ (written (ParamInfo::choiceKind, 0.49f), 0.0f);
    EXPECT_EQ (written (ParamInfo::choiceKind, -0.5f), 0.0f);
    EXPECT_EQ (written (ParamInfo::choiceKind, 17.0f), 17.0f);

    EXPECT_EQ (written (ParamInfo::boolKind, 0.5f), 0.0f);
    EXPECT_EQ (written (ParamInfo::boolKind, 0.51f), 1.0f);
    EXPECT_EQ (written (ParamInfo::boolKind, std::numeric_limits<float>::quiet_NaN()), 0.0f);

    EXPECT_EQ (written (ParamInfo::floatKind, 1234.5f), 1234.5f);
    EXPECT_EQ (written (7, 1.0f), -123.0f);
}

TEST (ParamBridge, LayoutFollowsZoneAddressesAndHidesHiddenZones)
{
    // Described in alphabetical order, laid out in field order.
    float fields[4] {};
    ParamBridge::ZoneMetadata metadata;
    metadata[&fields[3]] = slider ("alpha", "0", "0", "10", "1");
    metadata[&fields[0]] = slider ("zulu", "0", "0", "10", "1");
    metadata[&fields[1]] = with (slider ("bpm", "120", "1", "999", "1"), "hidden", "1");
    metadata[&fields[2]] = with (slider ("mid", "0", "0", "10", "1"), "hidden", "0");
    metadata[nullptr] = { { "author", "x" } };

    ParamBridge bridge;
    bridge.zoneMetadata = &metadata;
    auto layout = buildParameterLayout (bridge);

    ASSERT_EQ (bridge.entries.size(), 3u);
    EXPECT_EQ (bridge.entries[0].id, "zulu");
    EXPECT_EQ (bridge.entries[1].id, "mid");
    EXPECT_EQ (bridge.entries[2].id, "alpha");
    EXPECT_EQ (bridge.entries[2].info->zone, &fields[3]);
    for (const auto& entry : bridge.entries)
        EXPECT_EQ (entry.rawValue, nullptr);

    ASSERT_EQ (bridge.hiddenZones.size(), 1u);
    EXPECT_EQ (findHiddenZone (bridge, "bpm"), bridge.hiddenZones[0].get());
    EXPECT_EQ (findHiddenZone (bridge, "BPM"), nullptr);
    EXPECT_EQ (findHiddenZone (bridge, "zulu"), nullptr);

    ParamBridge empty;
    buildParameterLayout (empty);
    EXPECT_TRUE (empty.entries.empty());
}
