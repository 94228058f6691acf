#include <gtest/gtest.h>

#include "processor/ParamBridge.h"

namespace
{
    using Metadata = std::map<std::string, std::string>;
    float zone = 0.0f;

    Metadata slider (const char* min, const char* max, const char* step, const char* init, Metadata extra = {})
    {
        extra.insert ({ { "uid", "p" }, { "min", min }, { "max", max }, { "step", step }, { "init", init } });
        return extra;
    }
} // namespace

TEST (ParamBridge, MetadataToParameters)
{
    struct Case
    {
        Metadata metadata;
        std::uint32_t kind;
        float start, end, interval, skew, defaultValue;
        juce::StringArray choices;
    };
    const Case cases[] {
        { slider ("60", "11000", "1", "1000", { { "scale", "log" } }), ParamInfo::floatKind, 60, 11000, 1, 0.5f, 1000, {} },
        { slider ("-70", "6", "0.001", "0", { { "scale", "exp" } }), ParamInfo::floatKind, -70, 6, 0.001f, 1.5f, 0, {} },
        { slider ("0", "1", "1", "1"), ParamInfo::boolKind, 0, 1, 1, 1, 1, {} },
        { slider ("0", "1", "1", "1", { { "style", "knob" } }), ParamInfo::floatKind, 0, 1, 1, 1, 1, {} },
        { slider ("0", "2", "1", "2.7", { { "style", "menu{'OFF':0;'ON':1;'X':2}" } }), ParamInfo::choiceKind, 0, 2, 1, 1, 2.7f, { "OFF", "ON", "X" } },
        // std::stof/std::stoi would throw out of the processor's constructor on these.
        { slider ("low", "1e99", "?", "x1", { { "hidden", "yes" }, { "version", "99999999999" } }), ParamInfo::floatKind, 0, 1, 0.01f, 1, 0, {} },
        { slider ("-2x", "10", "0.5", " 3.5dB"), ParamInfo::floatKind, -2, 10, 0.5f, 1, 3.5f, {} },
        // Empty items are skipped; a menu with none left stays a number.
        { slider ("0", "2", "1", "0", { { "style", "menu{'A':0;;'B':1;}" } }), ParamInfo::choiceKind, 0, 2, 1, 1, 0, { "A", "B" } },
        { slider ("0", "1", "1", "0", { { "style", "menu{;}" } }), ParamInfo::floatKind, 0, 1, 1, 1, 0, {} },
    };

    for (const auto& c : cases)
    {
        const ParamInfo info (&zone, c.metadata);
        SCOPED_TRACE (c.metadata.at ("min") + " " + c.metadata.at ("init"));
        EXPECT_EQ (info.kind, c.kind);
        EXPECT_EQ (info.range.start, c.start);
        EXPECT_EQ (info.range.end, c.end);
        EXPECT_EQ (info.range.skew, c.skew);
        EXPECT_FLOAT_EQ (info.range.interval, c.interval);
        EXPECT_EQ (info.defaultValue, c.defaultValue);
        EXPECT_EQ (info.choices, c.choices);
        EXPECT_TRUE (! info.hidden && info.versionHint == 1);
        auto parameter = createParameter (info);
        EXPECT_EQ (dynamic_cast<juce::AudioParameterFloat*> (parameter.get()) != nullptr, c.kind == ParamInfo::floatKind);
        if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter.get()))
        {
            EXPECT_EQ (choice->getIndex(), (int) c.defaultValue); // truncated toward zero
        }
    }
}
