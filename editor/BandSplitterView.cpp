#include "editor/BandSplitterView.h"

#include "editor/PanelLayout.h"

namespace plb
{
BandSplitterView::BandSplitterView()
    : qnmr::gui::GenericPanelView ("BAND SPLITTER")
{
    addAndMakeVisible (cutoffKnob);
    addAndMakeVisible (resonanceKnob);
    addAndMakeVisible (cutoffLabel);
    addAndMakeVisible (resonanceLabel);
}

BandSplitterView::~BandSplitterView() = default;

void BandSplitterView::resized()
{
    qnmr::gui::GenericPanelView::resized();

    const int width = getWidth();
    const int height = getHeight();
    constexpr int knob = 50;
    const int knobY = headerHeight + (height - juce::jmin (height, headerHeight) - knob) / 2;

    cutoffKnob.setBounds ((width / 2 - knob) / 2, knobY, knob, knob);
    cutoffLabel.setBounds (layout::captionUnder (cutoffKnob));
    resonanceKnob.setBounds (width / 2 + (width - width / 2 - knob) / 2, knobY, knob, knob);
    resonanceLabel.setBounds (layout::captionUnder (resonanceKnob));
}
} // namespace plb
