#pragma once

#include "editor/BandSplitterView.h"
#include "editor/BandView.h"
#include "editor/FooterView.h"
#include "editor/OutputView.h"

namespace plb
{
/** The root of everything the editor shows, always laid out at 800 x 520;
    the editor window scales it. It also holds this editor's share of the
    process-wide tooltip window. */
class MainView : public juce::Component
{
public:
    MainView();
    ~MainView() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    juce::SharedResourcePointer<juce::TooltipWindow> tooltipWindow;
    juce::OwnedArray<BandView> bandViews; // low, high
    BandSplitterView bandSplitterView;
    OutputView outputView;
    FooterView footerView;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainView)
};
} // namespace plb
