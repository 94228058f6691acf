#include "gui/KnobControl.h"

namespace qnmr::gui
{
KnobControl::KnobControl (bool bipolar)
{
    setSliderStyle (juce::Slider::RotaryVerticalDrag);
    setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);

    // No parent exists yet, so the bubble opens as a desktop window of its own.
    setPopupDisplayEnabled (true, false, nullptr, 2000);

    getProperties().set ("bipolar", bipolar ? 1 : 0);
}
} // namespace qnmr::gui
