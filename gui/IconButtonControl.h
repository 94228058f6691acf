#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace qnmr::gui
{
/** A button showing an icon on the look-and-feel's button body. The active
    icon (pressed or toggled on) has its white parts painted in the theme's
    accent, and follows every change of look-and-feel. */
class IconButtonControl : public juce::DrawableButton
{
public:
    /** A missing drawable leaves its states without an image. */
    IconButtonControl (std::unique_ptr<juce::Drawable> icon, std::unique_ptr<juce::Drawable> iconOn);
    ~IconButtonControl() override;

    void lookAndFeelChanged() override;

private:
    void showImages();

    std::unique_ptr<juce::Drawable> normalIcon;
    std::unique_ptr<juce::Drawable> activeIcon;
    // What the active icon's recoloured parts hold now; replacement is by
    // exact colour, so this is what the next theme change looks for.
    juce::Colour iconColour { 0x00000000 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IconButtonControl)
};
} // namespace qnmr::gui
