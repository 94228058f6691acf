#include "gui/KnobNameLabel.h"

namespace qnmr::gui
{
KnobNameLabel::KnobNameLabel (const juce::String& text)
    : juce::Label (juce::String(), juce::String())
{
    setText (text, juce::dontSendNotification);
    setFont (juce::Font (12.0f, juce::Font::plain));
    setJustificationType (juce::Justification::centred);
}
} // namespace qnmr::gui
