#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace qnmr
{
    // Prepares a parameter tree read from a state blob or a preset file for
    // AudioProcessorValueTreeState::replaceState: every parameter that no child
    // names gets a child holding its current value, appended at the end.
    // Without it the framework appends an empty child and thereby resets such a
    // parameter to its default, where a partial state should leave it alone.
    void addMissingParameters (const juce::AudioProcessorValueTreeState& state, juce::ValueTree& tree);
} // namespace qnmr
