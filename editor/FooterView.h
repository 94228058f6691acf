#pragma once

#include "gui/GenericPanelView.h"
#include "gui/IconButtonControl.h"

#include <memory>

namespace plb
{
/** The strip along the bottom of the editor: the product logo on the left,
    the maker's logo on the right and the preset controls between them. The
    buttons are public so the controller can wire them; the footer itself only
    builds, places and paints. */
class FooterView : public qnmr::gui::GenericPanelView
{
public:
    FooterView();
    ~FooterView() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    qnmr::gui::IconButtonControl menuButton;
    qnmr::gui::IconButtonControl previousButton;
    qnmr::gui::IconButtonControl nextButton;
    juce::TextButton presetNameButton;
    qnmr::gui::IconButtonControl randomButton;

private:
    std::unique_ptr<juce::Drawable> makerLogo;
    juce::Rectangle<float> makerLogoArea;
    std::unique_ptr<juce::Drawable> productLogo;
    juce::Rectangle<float> productLogoArea;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FooterView)
};
} // namespace plb
