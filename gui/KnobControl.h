#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace qnmr::gui
{
/** A rotary knob turned by vertical drags, with its value shown in a pop-up
    bubble while dragging. A bipolar knob draws its value arc out of 12 o'clock;
    the flag travels as the component property "bipolar" so the look-and-feel
    can read it. */
class KnobControl : public juce::Slider
{
public:
    explicit KnobControl (bool bipolar);

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KnobControl)
};
} // namespace qnmr::gui
