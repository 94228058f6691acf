#pragma once

#include <map>

#include "processor/PluginProcessor.h"

// Every parameter's value as the audio thread reads it, by id: what a restore,
// a preset load or a refused input must (or must not) change.
using Values = std::map<juce::String, float>;

inline Values parameterValues (const AudioPluginAudioProcessor& processor)
{
    Values values;
    for (const auto& entry : processor.bridge->entries)
        values[entry.id] = entry.rawValue->load();
    return values;
}
