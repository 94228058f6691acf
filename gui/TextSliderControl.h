#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace qnmr::gui
{
/** A bare value box: clicking steps the value, dragging changes it, and the
    text cannot be typed into. The toolkit's look-and-feel hides the step
    buttons and stretches the text over the whole control. */
class TextSliderControl : public juce::Slider
{
public:
    TextSliderControl();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TextSliderControl)
};
} // namespace qnmr::gui
