#include <gtest/gtest.h>

#include "processor/ParamBridge.h"

namespace
{
    using Metadata = std::map<std::string, std::string>;

    Metadata slider (const char* min, const char* max, const char* step, const char* init, Metadata extra = {})
    {
        extra.insert ({ { "uid", "p" }, { "min", min }, { "max", max }, { "step", step }, { "init", init } });
        return extra;
    }

    juce::String summary (const ParamInfo& p)
    {
        const char* kinds[] { "float", "bool", "choice" };
        return juce::String (kinds[p.kind]) + " " + juce::String (p.range.start) + ".." + juce::String (p.range.end) + " step " + juce::String (p.range.interval)
               + " skew " + juce::String (p.range.skew) + " init " + juce::String (p.defaultValue) + (p.hidden ? " hidden" : "")
               + (p.versionHint != 1 ? " version" : "") + (p.choices.isEmpty() ? "" : " " + p.choices.joinIntoString (","));
    }
} // namespace

TEST (ParamBridge, MetadataToParameters)
{
    const std::pair<Metadata, const char*> cases[] {
        { slider ("60", "11000", "1", "1000", { { "scale", "log" } }), "float 60..11000 step 1 skew 0.5 init 1000" },
        { slider ("0", "1", "1", "1"), "bool 0..1 step 1 skew 1 init 1" },
        { slider ("0", "1", "1", "1", { { "style", "knob" } }), "float 0..1 step 1 skew 1 init 1" },
        { slider ("0", "2", "1", "2.7", { { "style", "menu{'OFF':0;'ON':1;'X':2}" } }), "choice 0..2 step 1 skew 1 init 2.7 OFF,ON,X" },
        // std::stof/std::stoi would throw out of the processor's constructor on these.
        { slider ("low", "1e99", "?", "x1", { { "hidden", "yes" }, { "version", "99999999999" } }), "float 0..1 step 0.01 skew 1 init 0" },
        { slider ("-2x", "10", "0.5", " 3.5dB"), "float -2..10 step 0.5 skew 1 init 3.5" },
        // Empty items are skipped; a menu with none left stays a number.
        { slider ("0", "2", "1", "0", { { "style", "menu{'A':0;;'B':1;}" } }), "choice 0..2 step 1 skew 1 init 0 A,B" },
        { slider ("0", "1", "1", "0", { { "style", "menu{;}" } }), "float 0..1 step 1 skew 1 init 0" },
    };

    float zone = 0.0f;
    for (const auto& [metadata, expected] : cases)
    {
        const ParamInfo info (&zone, metadata);
        EXPECT_EQ (summary (info), expected);
        auto parameter = createParameter (info);
        EXPECT_EQ (dynamic_cast<juce::AudioParameterFloat*> (parameter.get()) != nullptr, info.kind == ParamInfo::floatKind) << expected;
        if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter.get()))
        {
            EXPECT_EQ (choice->getIndex(), (int) info.defaultValue) << "truncated toward zero";
        }
    }
}
