#pragma once

#include "gui/GenericPanelView.h"
#include "gui/KnobControl.h"
#include "gui/KnobNameLabel.h"

namespace plb
{
/** The "BAND SPLITTER" panel: the crossover's cutoff and resonance. */
class BandSplitterView : public qnmr::gui::GenericPanelView
{
public:
    BandSplitterView();
    ~BandSplitterView() override;

    void resized() override;

    qnmr::gui::KnobControl cutoffKnob { false };
    qnmr::gui::KnobControl resonanceKnob { false };
    qnmr::gui::KnobNameLabel cutoffLabel { "CUT" };
    qnmr::gui::KnobNameLabel resonanceLabel { "RES" };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BandSplitterView)
};
} // namespace plb
