#include "BinaryData.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

TEST (EmbeddedAssets, EverySvgParsesInItsKnownColourAndTheFontIsRobotoMedium)
{
    using namespace BinaryData;
    // clang-format off
    // name, data, size, the one colour the graphic is drawn in
    const std::tuple<const char*, const char*, int, juce::uint32> svgs[] = {
        {"menu_icon", menu_icon_svg, menu_icon_svgSize, 0xffffffff}, {"left_icon", left_icon_svg, left_icon_svgSize, 0xffffffff},
        {"right_icon", right_icon_svg, right_icon_svgSize, 0xffffffff}, {"random_icon", random_icon_svg, random_icon_svgSize, 0xffffffff},
        {"sync_icon", sync_icon_svg, sync_icon_svgSize, 0xffffffff}, {"mute_off_icon", mute_off_icon_svg, mute_off_icon_svgSize, 0xffffffff},
        {"mute_icon", mute_icon_svg, mute_icon_svgSize, 0xffffffff}, {"QW_Icon", QW_Icon_svg, QW_Icon_svgSize, 0xffffffff},
        {"corvantide_logo", corvantide_logo_svg, corvantide_logo_svgSize, 0xff000000}};
    // clang-format on
    for (const auto& [name, data, size, colour] : svgs)
    {
        auto drawable = juce::Drawable::createFromImageData (data, (size_t) size);
        ASSERT_NE (drawable, nullptr) << name;
        // The icon buttons and the footer recolour the graphics, so each must be drawn in its known colour.
        EXPECT_TRUE (drawable->replaceColour (juce::Colour (colour), juce::Colours::grey)) << name;
    }

    const auto typeface = juce::Typeface::createSystemTypefaceFor (RobotoMedium_ttf, (size_t) RobotoMedium_ttfSize);
    ASSERT_NE (typeface, nullptr);
    EXPECT_EQ (typeface->getName() + " " + typeface->getStyle(), "Roboto Medium");
}
