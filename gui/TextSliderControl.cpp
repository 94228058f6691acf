#include "gui/TextSliderControl.h"

namespace qnmr::gui
{
TextSliderControl::TextSliderControl()
{
    setSliderStyle (juce::Slider::IncDecButtons);
    setIncDecButtonsMode (juce::Slider::incDecButtonsDraggable_AutoDirection);
    setTextBoxStyle (juce::Slider::TextBoxAbove, true, 60, 16);
}
} // namespace qnmr::gui
