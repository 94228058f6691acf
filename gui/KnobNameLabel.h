#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace qnmr::gui
{
/** The caption under a knob: centred, 12 px, in the look-and-feel's label colours. */
class KnobNameLabel : public juce::Label
{
public:
    explicit KnobNameLabel (const juce::String& text);

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KnobNameLabel)
};
} // namespace qnmr::gui
