#include "gui/PanelHeaderComponent.h"

namespace qnmr::gui
{
PanelHeaderComponent::PanelHeaderComponent (const juce::String& title)
    : titleLabel (juce::String(), juce::String())
{
    titleLabel.setText (title, juce::dontSendNotification);
    titleLabel.setFont (juce::Font (14.0f, juce::Font::plain));

    // Set on the label itself: the title stays white whatever the theme.
    titleLabel.setColour (juce::Label::textColourId, juce::Colours::white);
    titleLabel.setColour (juce::Label::backgroundColourId, juce::Colours::transparentBlack);
    titleLabel.setOpaque (false);
    addAndMakeVisible (titleLabel);
}

PanelHeaderComponent::~PanelHeaderComponent() = default;

void PanelHeaderComponent::paint (juce::Graphics& g)
{
    const auto background = getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId);
    g.fillAll (background.darker (0.2f));

    g.setColour (background.brighter (0.6f));
    g.fillRect (0, getHeight() - 1, juce::jmax (0, 2 * (getWidth() / 3)), 1);
}

void PanelHeaderComponent::resized()
{
    // The label keeps clear of the rule in the bottom row.
    titleLabel.setBounds (2, 2, juce::jmax (0, getWidth() - 4), juce::jmax (0, getHeight() - 5));
}
} // namespace qnmr::gui
