#include "editor/OutputView.h"

#include "editor/PanelLayout.h"

namespace plb
{
OutputView::OutputView()
    : qnmr::gui::GenericPanelView ("GLOBAL")
{
    for (auto* child : { (juce::Component*) &diffusionKnob, (juce::Component*) &ampKnob, (juce::Component*) &dryWetKnob,
                         (juce::Component*) &driftKnob, (juce::Component*) &rateKnob, (juce::Component*) &delayTypeBox,
                         (juce::Component*) &pitchRoutingBox, (juce::Component*) &diffusionLabel, (juce::Component*) &ampLabel,
                         (juce::Component*) &dryWetLabel, (juce::Component*) &delayTypeLabel, (juce::Component*) &pitchRoutingLabel,
                         (juce::Component*) &driftLabel, (juce::Component*) &rateLabel, (juce::Component*) &linkDecoration })
        addAndMakeVisible (child);
}

OutputView::~OutputView() = default;

void OutputView::resized()
{
    qnmr::gui::GenericPanelView::resized();

    const int top = juce::jmin (getHeight(), headerHeight);
    auto content = juce::Rectangle<int> (0, top, getWidth(), getHeight() - top);
    const auto row1 = content.removeFromTop (content.getHeight() / 3);
    const auto row2 = content.removeFromTop (content.getHeight() / 2);
    const auto row3 = content;
    auto row1Bottom = row1;
    const auto row1Top = row1Bottom.removeFromTop (row1.getHeight() / 2);

    using namespace layout;
    constexpr int knob = 50;
    constexpr int boxWidth = 90;
    constexpr int boxHeight = 18;
    constexpr int boxDrop = 20;
    constexpr int boxCaptionGap = 4;

    // The combo boxes' captions sit above them, as wide as the box.
    const auto placeBox = [&] (juce::ComboBox& box, qnmr::gui::KnobNameLabel& caption, juce::Rectangle<int> cell) {
        box.setBounds (centred (cell, boxWidth, boxHeight).translated (0, boxDrop));
        caption.setBounds (box.getBounds().translated (0, -box.getHeight() - boxCaptionGap));
    };

    diffusionKnob.setBounds (centred (leftCell (row1), knob, knob));
    diffusionLabel.setBounds (captionUnder (diffusionKnob));
    placeBox (delayTypeBox, delayTypeLabel, rightCell (row1Top));
    placeBox (pitchRoutingBox, pitchRoutingLabel, rightCell (row1Bottom));

    driftKnob.setBounds (centred (leftCell (row2), knob, knob));
    driftLabel.setBounds (captionUnder (driftKnob));
    rateKnob.setBounds (centred (rightCell (row2), knob, knob));
    rateLabel.setBounds (captionUnder (rateKnob));

    ampKnob.setBounds (centred (leftCell (row3), knob, knob));
    ampLabel.setBounds (captionUnder (ampKnob));
    dryWetKnob.setBounds (centred (rightCell (row3), knob, knob));
    dryWetLabel.setBounds (captionUnder (dryWetKnob));

    linkDecoration.setBounds (gapBetween (driftKnob, rateKnob));
    linkDecoration.toBack();
}
} // namespace plb
