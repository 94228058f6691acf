#include "editor/ParameterLinkDecoration.h"

namespace plb
{
ParameterLinkDecoration::ParameterLinkDecoration()
{
    setOpaque (false);
}

void ParameterLinkDecoration::paint (juce::Graphics& g)
{
    // A shade lighter than the window, so the mark shows in every theme.
    g.setColour (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId).brighter (0.2f));

    const int margin = getWidth() / 6;
    juce::Rectangle<float> area ((float) margin, 0.0f,
                                 (float) juce::jmax (0, getWidth() - 2 * margin), (float) getHeight());

    constexpr float ringSize = 4.0f;
    const auto leftSlice = area.removeFromLeft (juce::jmin (ringSize, area.getWidth()));
    g.drawEllipse (leftSlice.withSizeKeepingCentre (ringSize, ringSize), 2.0f);

    const auto rightSlice = area.removeFromRight (juce::jmin (ringSize, area.getWidth()));
    g.drawEllipse (rightSlice.withSizeKeepingCentre (ringSize, ringSize), 2.0f);

    g.fillRect (area.withSizeKeepingCentre (area.getWidth(), 2.0f));
}
} // namespace plb
