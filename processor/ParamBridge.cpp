#include "processor/ParamBridge.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace
{
using Metadata = std::map<std::string, std::string>;

const std::string* findKey (const Metadata& metadata, const char* key)
{
    const auto it = metadata.find (key);
    return it != metadata.end() ? &it->second : nullptr;
}

std::string textOf (const Metadata& metadata, const char* key)
{
    const auto* value = findKey (metadata, key);
    return value != nullptr ? *value : std::string();
}

// Reads a number the way std::stof does (leading blanks skipped, trailing
// text ignored), but a text with no leading number or out of float range
// yields the fallback instead of throwing out of the processor's constructor.
float parseFloat (const std::string& text, float fallback)
{
    if (text.empty())
        return fallback;

    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof (begin, &end);

    if (end == begin || errno == ERANGE)
        return fallback;

    return value;
}

// As parseFloat, for std::stoi's texts.
int parseInt (const std::string& text, int fallback)
{
    if (text.empty())
        return fallback;

    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol (begin, &end, 10);

    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return fallback;

    return static_cast<int> (value);
}

float skewFor (const std::string* scale)
{
    if (scale != nullptr)
    {
        if (*scale == "log")
            return 0.5f;
        if (*scale == "exp")
            return 1.5f;
    }
    return 1.0f;
}
} // namespace

ParamInfo::ParamInfo (float* zoneToDrive, std::map<std::string, std::string> metadata)
    : zone (zoneToDrive)
{
    id = juce::String::fromUTF8 (textOf (metadata, "uid").c_str());

    const auto start = parseFloat (textOf (metadata, "min"), 0.0f);
    const auto end = parseFloat (textOf (metadata, "max"), 1.0f);
    const auto interval = parseFloat (textOf (metadata, "step"), 0.01f);
    const auto skew = skewFor (findKey (metadata, "scale"));
    range = juce::NormalisableRange<float> (start, end, interval, skew, false);

    defaultValue = parseFloat (textOf (metadata, "init"), 0.0f);

    const auto uiname = textOf (metadata, "uiname");
    name = uiname.empty() ? id : juce::String::fromUTF8 (uiname.c_str());

    if (const auto* unitText = findKey (metadata, "unit"))
        unit = juce::String::fromUTF8 (unitText->c_str());

    if (const auto* hiddenText = findKey (metadata, "hidden"))
        hidden = parseInt (*hiddenText, 0) != 0;

    if (const auto* versionText = findKey (metadata, "version"))
        versionHint = parseInt (*versionText, 1);

    if (const auto* style = findKey (metadata, "style"))
        parseMenu (*this, *style);
    else if (interval == 1.0f && start == 0.0f && end == 1.0f)
        kind = boolKind;
}

void parseMenu (ParamInfo& info, const std::string& style)
{
    auto text = juce::String::fromUTF8 (style.c_str());

    if (! text.startsWith ("menu"))
        return;

    text = text.trimCharactersAtStart ("menu").removeCharacters ("{}");

    juce::StringArray items;
    items.addTokens (text, ";", "'");

    juce::StringArray labels;
    for (const auto& item : items)
    {
        // "a;;b" or a ';' before the closing brace would otherwise add a
        // choice with no label.
        if (item.trim().isEmpty())
            continue;

        juce::StringArray parts;
        parts.addTokens (item, ":", "'");
        labels.add (parts[0].unquoted());
    }

    // A choice parameter with nothing to choose cannot be represented; the
    // zone stays a plain number.
    if (labels.isEmpty())
        return;

    info.choices.addArray (labels);
    info.kind = ParamInfo::choiceKind;
}

std::unique_ptr<juce::RangedAudioParameter> createParameter (const ParamInfo& info)
{
    const juce::ParameterID parameterId (info.id, info.versionHint);

    switch (info.kind)
    {
        case ParamInfo::boolKind:
            return std::make_unique<juce::AudioParameterBool> (parameterId, info.name, info.defaultValue > 0.5f, juce::AudioParameterBoolAttributes().withLabel (info.unit));

        case ParamInfo::choiceKind:
        {
            // Truncation toward zero; limited first so an absurd default cannot
            // overflow the conversion.
            const auto limited = juce::jlimit (-1.0e6f, 1.0e6f, info.defaultValue);
            const auto defaultIndex = static_cast<int> (std::isnan (limited) ? 0.0f : limited);
            return std::make_unique<juce::AudioParameterChoice> (parameterId, info.name, info.choices, defaultIndex, juce::AudioParameterChoiceAttributes());
        }

        default:
            return std::make_unique<juce::AudioParameterFloat> (parameterId, info.name, info.range, info.defaultValue, juce::AudioParameterFloatAttributes().withLabel (info.unit));
    }
}

juce::AudioProcessorValueTreeState::ParameterLayout buildParameterLayout (ParamBridge& bridge)
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    if (bridge.zoneMetadata == nullptr)
        return layout;

    for (const auto& [zone, metadata] : *bridge.zoneMetadata)
    {
        // A declaration made outside any control (a box-level one) has no
        // field behind it, so nothing could be written for it.
        if (zone == nullptr)
            continue;

        auto info = std::make_unique<ParamInfo> (zone, metadata);

        if (info->hidden)
        {
            bridge.hiddenZones.push_back (std::move (info));
            continue;
        }

        layout.add (createParameter (*info));
        auto id = info->id;
        bridge.entries.push_back ({ std::move (id), nullptr, std::move (info) });
    }

    return layout;
}

float zoneValue (const ParamInfo& info, float value) noexcept
{
    switch (info.kind)
    {
        case ParamInfo::boolKind:
            return value > 0.5f ? 1.0f : 0.0f;

        case ParamInfo::choiceKind:
            // Nearest whole number, ties to even (the 1.5 * 2^52 trick).
            return static_cast<float> (juce::roundToInt (value));

        default:
            return value;
    }
}

void writeZone (const ParamInfo& info, float value) noexcept
{
    if (info.kind == ParamInfo::floatKind || info.kind == ParamInfo::boolKind || info.kind == ParamInfo::choiceKind)
        *info.zone = zoneValue (info, value);
}

ParamInfo* findHiddenZone (const ParamBridge& bridge, const juce::String& id)
{
    for (const auto& info : bridge.hiddenZones)
        if (info->id == id)
            return info.get();

    return nullptr;
}
