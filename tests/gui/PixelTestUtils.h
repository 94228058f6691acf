#pragma once

// Rendering components into images and comparing pixels, for the GUI tests.

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <functional>

namespace testutil
{
/** Paints the component and its children into a fresh ARGB image. A scale
    above 1 renders at a higher resolution, so that thin shapes have pixels
    that lie wholly inside them and carry their exact colour. */
inline juce::Image render (juce::Component& component, int scale = 1,
                           juce::Colour background = juce::Colours::transparentBlack)
{
    juce::Image image (juce::Image::ARGB, juce::jmax (1, component.getWidth() * scale),
                       juce::jmax (1, component.getHeight() * scale), true, juce::SoftwareImageType());
    juce::Graphics g (image);
    if (!background.isTransparent())
        g.fillAll (background);
    g.addTransform (juce::AffineTransform::scale ((float) scale));
    component.paintEntireComponent (g, false);
    return image;
}

/** Paints with a free drawing function into a fresh transparent image. */
inline juce::Image draw (int width, int height, int scale,
                         const std::function<void (juce::Graphics&)>& paint)
{
    juce::Image image (juce::Image::ARGB, width * scale, height * scale, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.addTransform (juce::AffineTransform::scale ((float) scale));
    paint (g);
    return image;
}

inline juce::String hex (juce::Colour c) { return "0x" + c.toDisplayString (true).toLowerCase(); }

inline ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::uint32 argb)
{
    const auto actual = image.getPixelAt (x, y);
    if (actual.getARGB() == argb)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << hex (actual)
                                         << ", expected " << hex (juce::Colour (argb));
}

/** Exact on alpha, within a tolerance per colour channel (blends round differently). */
inline ::testing::AssertionResult pixelNear (const juce::Image& image, int x, int y, juce::Colour expected,
                                             int tolerance = 1)
{
    const auto actual = image.getPixelAt (x, y);
    const auto off = [] (juce::uint8 a, juce::uint8 b)
    { return std::abs ((int) a - (int) b); };
    if (off (actual.getAlpha(), expected.getAlpha()) <= tolerance && off (actual.getRed(), expected.getRed()) <= tolerance
        && off (actual.getGreen(), expected.getGreen()) <= tolerance && off (actual.getBlue(), expected.getBlue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << hex (actual)
                                         << ", expected about " << hex (expected);
}

/** The colour that 'top' painted at its alpha over an opaque 'bottom' gives. */
inline juce::Colour over (juce::Colour bottom, juce::Colour top)
{
    const float a = top.getFloatAlpha();
    const auto mix = [a] (juce::uint8 b, juce::uint8 t)
    { return (juce::uint8) juce::roundToInt ((float) t * a + (float) b * (1.0f - a)); };
    return juce::Colour (mix (bottom.getRed(), top.getRed()), mix (bottom.getGreen(), top.getGreen()),
                         mix (bottom.getBlue(), top.getBlue()), (juce::uint8) 255);
}

inline int countPixels (const juce::Image& image, juce::uint32 argb)
{
    int n = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            n += image.getPixelAt (x, y).getARGB() == argb ? 1 : 0;
    return n;
}

/** Writes an image for people to look at; the folder is the build's test-artifacts. */
inline void saveArtifact (const juce::Image& image, const juce::String& name)
{
#ifdef CORVANTIDE_TEST_ARTIFACTS
    const juce::File folder (CORVANTIDE_TEST_ARTIFACTS);
    folder.createDirectory();
    const auto file = folder.getChildFile (name);
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat png;
    ASSERT_TRUE (out.openedOk()) << file.getFullPathName();
    ASSERT_TRUE (png.writeImageToStream (image, out));
#else
    juce::ignoreUnused (image, name);
#endif
}
} // namespace testutil
