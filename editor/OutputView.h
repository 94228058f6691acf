#pragma once

#include "editor/ParameterLinkDecoration.h"
#include "gui/GenericPanelView.h"
#include "gui/KnobControl.h"
#include "gui/KnobNameLabel.h"

namespace plb
{
/** The "GLOBAL" panel: diffusion, drift, delay type, pitch routing and the
    output stage. */
class OutputView : public qnmr::gui::GenericPanelView
{
public:
    OutputView();
    ~OutputView() override;

    void resized() override;

    qnmr::gui::KnobControl diffusionKnob { false };
    qnmr::gui::KnobControl ampKnob { false };
    qnmr::gui::KnobControl dryWetKnob { true };
    qnmr::gui::KnobControl driftKnob { false };
    qnmr::gui::KnobControl rateKnob { false };
    juce::ComboBox delayTypeBox;
    juce::ComboBox pitchRoutingBox;
    qnmr::gui::KnobNameLabel diffusionLabel { "DIFFUSION" };
    qnmr::gui::KnobNameLabel ampLabel { "AMP" };
    qnmr::gui::KnobNameLabel dryWetLabel { "DRY/WET" };
    qnmr::gui::KnobNameLabel delayTypeLabel { "DELAY TYPE" };
    qnmr::gui::KnobNameLabel pitchRoutingLabel { "PITCH ROUTING" };
    qnmr::gui::KnobNameLabel driftLabel { "DRIFT" };
    qnmr::gui::KnobNameLabel rateLabel { "RATE" };
    ParameterLinkDecoration linkDecoration;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OutputView)
};
} // namespace plb
