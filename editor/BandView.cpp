#include "editor/BandView.h"

#include "BinaryData.h"
#include "editor/PanelLayout.h"

namespace plb
{
namespace
{
    std::unique_ptr<juce::Drawable> svg (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }
} // namespace

BandView::BandView (const juce::String& title)
    : qnmr::gui::GenericPanelView (title)
    , timeSyncButton (svg (BinaryData::sync_icon_svg, BinaryData::sync_icon_svgSize),
                      svg (BinaryData::sync_icon_svg, BinaryData::sync_icon_svgSize))
    , muteButton (svg (BinaryData::mute_off_icon_svg, BinaryData::mute_off_icon_svgSize),
                  svg (BinaryData::mute_icon_svg, BinaryData::mute_icon_svgSize))
{
    for (auto* control : { (juce::Component*) &timeKnob, (juce::Component*) &feedKnob, (juce::Component*) &dampKnob,
                           (juce::Component*) &shiftKnob, (juce::Component*) &windowSlider, (juce::Component*) &ampKnob,
                           (juce::Component*) &panKnob, (juce::Component*) &syncedTimeBox })
        addAndMakeVisible (control);

    timeSyncButton.setClickingTogglesState (true);
    addAndMakeVisible (timeSyncButton);
    muteButton.setClickingTogglesState (true);
    addAndMakeVisible (muteButton);

    for (auto* caption : { &timeLabel, &feedLabel, &dampLabel, &shiftLabel, &windowLabel, &ampLabel, &panLabel })
        addAndMakeVisible (caption);

    addAndMakeVisible (linkDecoration);
}

BandView::~BandView() = default;

void BandView::resized()
{
    qnmr::gui::GenericPanelView::resized();

    const int width = getWidth();
    const int top = juce::jmin (getHeight(), headerHeight);
    auto content = juce::Rectangle<int> (0, top, width, getHeight() - top);

    auto upper = content.removeFromTop (content.getHeight() / 2);
    const auto row1a = upper.removeFromTop (upper.getHeight() / 2);
    const auto row1b = upper;
    const auto row2 = content.removeFromTop (content.getHeight() / 2);
    const auto row3 = content;

    using namespace layout;
    constexpr int button = 26;

    timeSyncButton.setBounds (centred (row1a, button, button));
    // TIME's caption goes under the sync button, between the knob and the
    // synced-time box, since both time controls share it.
    placeKnob (timeKnob, timeLabel, leftCell (row1a));
    timeLabel.setBounds (timeLabel.getBounds().withX (timeSyncButton.getX() + timeSyncButton.getWidth() / 2 - timeLabel.getWidth() / 2));
    syncedTimeBox.setBounds (centred (rightCell (row1a), 70, 18));

    placeKnob (feedKnob, feedLabel, leftCell (row1b));
    placeKnob (dampKnob, dampLabel, rightCell (row1b));

    placeKnob (shiftKnob, shiftLabel, leftCell (row2));
    windowSlider.setBounds (centred (rightCell (row2), 60, 18));
    // The value box is shorter than a knob; its caption shares SHIFT's line.
    windowLabel.setBounds (captionUnder (windowSlider).withY (shiftLabel.getY()));

    placeKnob (ampKnob, ampLabel, leftCell (row3));
    muteButton.setBounds (centred (row3, button, button));
    placeKnob (panKnob, panLabel, rightCell (row3));

    linkDecoration.setBounds (gapBetween (shiftKnob, windowSlider));
    // Behind the header too, so the mark never covers anything.
    linkDecoration.toBack();
}
} // namespace plb
