#include "presets/StateTree.h"

namespace qnmr
{
    void addMissingParameters (const juce::AudioProcessorValueTreeState& state, juce::ValueTree& tree)
    {
        static const juce::Identifier paramType ("PARAM"), idKey ("id"), valueKey ("value");

        juce::StringArray named;
        for (const auto& child : tree)
            named.add (child[idKey].toString());

        for (auto* parameter : state.processor.getParameters())
        {
            auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);
            if (ranged == nullptr || named.contains (ranged->paramID))
                continue;

            juce::ValueTree child (paramType);
            child.setProperty (idKey, ranged->paramID, nullptr);
            child.setProperty (valueKey, ranged->convertFrom0to1 (ranged->getValue()), nullptr);
            tree.appendChild (child, nullptr);
        }
    }
} // namespace qnmr
