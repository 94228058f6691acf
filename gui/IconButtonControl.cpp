#include "gui/IconButtonControl.h"

namespace qnmr::gui
{
IconButtonControl::IconButtonControl (std::unique_ptr<juce::Drawable> icon,
                                      std::unique_ptr<juce::Drawable> iconOn)
    : juce::DrawableButton ("icon_button", juce::DrawableButton::ImageOnButtonBackground)
    , normalIcon (std::move (icon))
    , activeIcon (std::move (iconOn))
{
    iconColour = getLookAndFeel().findColour (juce::TextButton::textColourOnId);
    if (activeIcon != nullptr)
        activeIcon->replaceColour (juce::Colours::white, iconColour);
    showImages();
}

IconButtonControl::~IconButtonControl() = default;

void IconButtonControl::lookAndFeelChanged()
{
    const auto accent = getLookAndFeel().findColour (juce::TextButton::textColourOnId);
    if (activeIcon != nullptr)
        activeIcon->replaceColour (iconColour, accent);
    iconColour = accent;
    showImages();
}

void IconButtonControl::showImages()
{
    // The button keeps copies, so it must be handed the images again after a recolour.
    setImages (normalIcon.get(), nullptr, activeIcon.get(), nullptr, activeIcon.get());
}
} // namespace qnmr::gui
