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
    constexpr int boxWidth = 90;
    constexpr int boxHeight = 18;
    constexpr int boxDrop = 20;
    constexpr int boxCaptionGap = 4;

    // The combo boxes' captions sit above them, as wide as the box.
    const auto placeBox = [&] (juce::ComboBox& box, qnmr::gui::KnobNameLabel& caption, juce::Rectangle<int> cell) {
        box.setBounds (centred (cell, boxWidth, boxHeight).translated (0, boxDrop));
        caption.setBounds (box.getBounds().translated (0, -box.getHeight() - boxCaptionGap));
    };

    placeKnob (diffusionKnob, diffusionLabel, leftCell (row1));
    placeBox (delayTypeBox, delayTypeLabel, rightCell (row1Top));
    placeBox (pitchRoutingBox, pitchRoutingLabel, rightCell (row1Bottom));

    placeKnob (driftKnob, driftLabel, leftCell (row2));
    placeKnob (rateKnob, rateLabel, rightCell (row2));

    placeKnob (ampKnob, ampLabel, leftCell (row3));
    placeKnob (dryWetKnob, dryWetLabel, rightCell (row3));

    linkDecoration.setBounds (gapBetween (driftKnob, rateKnob));
    linkDecoration.toBack();
}
} // namespace plb
