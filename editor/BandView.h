#pragma once

#include "editor/ParameterLinkDecoration.h"
#include "gui/GenericPanelView.h"
#include "gui/IconButtonControl.h"
#include "gui/KnobControl.h"
#include "gui/KnobNameLabel.h"
#include "gui/TextSliderControl.h"

namespace plb
{
/** The panel of one delay band. It builds and places the band's controls;
    the controller binds them to the band's parameters. */
class BandView : public qnmr::gui::GenericPanelView
{
public:
    explicit BandView (const juce::String& title);
    ~BandView() override;

    void resized() override;

    qnmr::gui::KnobControl timeKnob { false };
    qnmr::gui::KnobControl feedKnob { false };
    qnmr::gui::KnobControl dampKnob { false };
    qnmr::gui::KnobControl shiftKnob { true };
    qnmr::gui::TextSliderControl windowSlider;
    qnmr::gui::KnobControl ampKnob { true };
    qnmr::gui::KnobControl panKnob { true };
    juce::ComboBox syncedTimeBox;
    qnmr::gui::IconButtonControl timeSyncButton;
    qnmr::gui::IconButtonControl muteButton;
    qnmr::gui::KnobNameLabel timeLabel { "TIME" };
    qnmr::gui::KnobNameLabel feedLabel { "FEED" };
    qnmr::gui::KnobNameLabel dampLabel { "DAMP" };
    qnmr::gui::KnobNameLabel shiftLabel { "SHIFT" };
    qnmr::gui::KnobNameLabel windowLabel { "WINDOW" };
    qnmr::gui::KnobNameLabel ampLabel { "AMP" };
    qnmr::gui::KnobNameLabel panLabel { "PAN" };
    ParameterLinkDecoration linkDecoration;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BandView)
};
} // namespace plb
