#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <juce_audio_processors/juce_audio_processors.h>

// One engine control described as a host parameter, read from the texts that
// MetaUI collected for its zone.
struct ParamInfo
{
    static constexpr std::uint32_t floatKind = 0;
    static constexpr std::uint32_t boolKind = 1;
    static constexpr std::uint32_t choiceKind = 2;

    ParamInfo (float* zone, std::map<std::string, std::string> metadata);

    float* zone;
    juce::String id;
    juce::NormalisableRange<float> range;
    float defaultValue = 0.0f;
    juce::String name;
    juce::String unit;
    std::uint32_t kind = floatKind;
    int versionHint = 1;
    bool hidden = false;
    juce::StringArray choices;
};

// Turns the engine's control description into host parameters and remembers,
// per parameter, which zone it drives.
struct ParamBridge
{
    struct Entry
    {
        juce::String id;
        // The value-tree state's raw value (in the parameter's own range); set
        // by the processor once the state exists.
        std::atomic<float>* rawValue = nullptr;
        std::unique_ptr<ParamInfo> info;
    };

    using ZoneMetadata = std::map<float*, std::map<std::string, std::string>>;

    const ZoneMetadata* zoneMetadata = nullptr;
    std::vector<Entry> entries; // host parameter order
    std::vector<std::unique_ptr<ParamInfo>> hiddenZones; // zones the processor drives itself
};

juce::AudioProcessorValueTreeState::ParameterLayout buildParameterLayout (ParamBridge& bridge);
std::unique_ptr<juce::RangedAudioParameter> createParameter (const ParamInfo& info);
void parseMenu (ParamInfo& info, const std::string& style);

// What the engine's zone holds for a parameter's raw value: on/off and choices
// are whole numbers there.
float zoneValue (const ParamInfo& info, float value) noexcept;

// Runs on the audio thread for every parameter of every block: no allocation, no lock.
void writeZone (const ParamInfo& info, float value) noexcept;

ParamInfo* findHiddenZone (const ParamBridge& bridge, const juce::String& id);
