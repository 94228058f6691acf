#include "BinaryData.h"
#include "gui/PixelTestUtils.h"

namespace
{
struct Asset
{
    const char* name;
    const char* data;
    int size;
    juce::uint32 inkColour; // the one colour the graphic is drawn in
};

const std::vector<Asset>& svgAssets()
{
    static const std::vector<Asset> all{
        {"menu_icon", BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize, 0xffffffff},
        {"left_icon", BinaryData::left_icon_svg, BinaryData::left_icon_svgSize, 0xffffffff},
        {"right_icon", BinaryData::right_icon_svg, BinaryData::right_icon_svgSize, 0xffffffff},
        {"random_icon", BinaryData::random_icon_svg, BinaryData::random_icon_svgSize, 0xffffffff},
        {"sync_icon", BinaryData::sync_icon_svg, BinaryData::sync_icon_svgSize, 0xffffffff},
        {"mute_off_icon", BinaryData::mute_off_icon_svg, BinaryData::mute_off_icon_svgSize, 0xffffffff},
        {"mute_icon", BinaryData::mute_icon_svg, BinaryData::mute_icon_svgSize, 0xffffffff},
        {"QW_Icon", BinaryData::QW_Icon_svg, BinaryData::QW_Icon_svgSize, 0xffffffff},
        {"corvantide_logo", BinaryData::corvantide_logo_svg, BinaryData::corvantide_logo_svgSize, 0xff000000},
    };
    return all;
}

juce::Image renderDrawable (juce::Drawable& drawable, int width, int height)
{
    juce::Image image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    drawable.drawWithin (g, juce::Rectangle<float> ((float) width, (float) height), juce::RectanglePlacement::centred, 1.0f);
    return image;
}
} // namespace

TEST (EmbeddedAssets, EverySvgParsesAndIsDrawnInOneReplaceableColour)
{
    for (const auto& asset : svgAssets())
    {
        SCOPED_TRACE (asset.name);
        ASSERT_NE (asset.data, nullptr);
        EXPECT_NE (asset.data[asset.size - 1], '\0') << "size excludes any terminator";

        auto drawable = juce::Drawable::createFromImageData (asset.data, (size_t) asset.size);
        ASSERT_NE (drawable, nullptr);
        EXPECT_NE (dynamic_cast<juce::DrawableComposite*> (drawable.get()), nullptr);
        EXPECT_FALSE (drawable->getDrawableBounds().isEmpty());

        // Replacing the one colour must reach every mark, as the icon buttons
        // and the footer do; afterwards no pixel keeps the old colour's hue.
        const juce::Colour replacement (0xffbdbdbd);
        EXPECT_TRUE (drawable->replaceColour (juce::Colour (asset.inkColour), replacement));
        const auto img = renderDrawable (*drawable, 240, 240);
        // Edge pixels are blends whose colour loses precision at low alpha; the
        // opaque ones must carry the replacement.
        int ink = 0, other = 0;
        for (int y = 0; y < img.getHeight(); ++y)
            for (int x = 0; x < img.getWidth(); ++x)
            {
                const auto c = img.getPixelAt (x, y);
                if (c.getAlpha() == 255)
                {
                    // Overlapping marks of the same colour may round by one.
                    const bool same = std::abs (c.getRed() - 0xbd) <= 1 && std::abs (c.getGreen() - 0xbd) <= 1
                                      && std::abs (c.getBlue() - 0xbd) <= 1;
                    ink += same ? 1 : 0;
                    other += same ? 0 : 1;
                }
            }
        EXPECT_EQ (other, 0);
        EXPECT_GT (ink, 200);
    }
}

TEST (EmbeddedAssets, SnapshotOfTheLogosInTheirFooterColour)
{
    // Both logos as the footer shows them, light grey on the window background.
    juce::Image image (juce::Image::ARGB, 600, 200, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (juce::Colour (0xff191919));
    auto wordmark = juce::Drawable::createFromImageData (BinaryData::corvantide_logo_svg, (size_t) BinaryData::corvantide_logo_svgSize);
    auto emblem = juce::Drawable::createFromImageData (BinaryData::QW_Icon_svg, (size_t) BinaryData::QW_Icon_svgSize);
    ASSERT_TRUE (wordmark != nullptr && emblem != nullptr);
    wordmark->replaceColour (juce::Colours::black, juce::Colour (0xffbdbdbd));
    emblem->replaceColour (juce::Colours::white, juce::Colour (0xffbdbdbd));
    wordmark->drawWithin (g, {0.0f, 0.0f, 420.0f, 140.0f}, juce::RectanglePlacement::centred, 1.0f);
    emblem->drawWithin (g, {440.0f, 10.0f, 140.0f, 140.0f}, juce::RectanglePlacement::centred, 1.0f);
    testutil::saveArtifact (image, "logos.png");
}

TEST (EmbeddedAssets, FontLoadsAsRobotoMedium)
{
    ASSERT_GT (BinaryData::RobotoMedium_ttfSize, 100000);
    const auto typeface = juce::Typeface::createSystemTypefaceFor (BinaryData::RobotoMedium_ttf,
                                                                   (size_t) BinaryData::RobotoMedium_ttfSize);
    ASSERT_NE (typeface, nullptr);
    EXPECT_EQ (typeface->getName(), "Roboto");
    EXPECT_EQ (typeface->getStyle(), "Medium");

    // It renders glyphs: a line of text leaves ink.
    juce::Image image (juce::Image::ARGB, 100, 30, true, juce::SoftwareImageType());
    {
        juce::Graphics g (image);
        g.setColour (juce::Colours::white);
        g.setFont (juce::Font (typeface).withHeight (20.0f));
        g.drawText ("CORVANTIDE", image.getBounds(), juce::Justification::centred);
    }
    int ink = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            ink += image.getPixelAt (x, y).getAlpha() > 128 ? 1 : 0;
    EXPECT_GT (ink, 50);
}
