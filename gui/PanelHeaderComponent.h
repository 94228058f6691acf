#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace qnmr::gui
{
/** A panel's title strip: the title in white on a band darker than the
    window, over a light rule along the left two thirds of its bottom row. */
class PanelHeaderComponent : public juce::Component
{
public:
    explicit PanelHeaderComponent (const juce::String& title);
    ~PanelHeaderComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    juce::Label titleLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PanelHeaderComponent)
};
} // namespace qnmr::gui
