#pragma once

// Rendering into images and comparing pixels, for the GUI tests.

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <functional>
#include <map>

namespace testutil
{
// Paints into a fresh transparent image. A scale above 1 gives thin shapes
// pixels wholly inside them, which carry their exact colour.
inline juce::Image render (int width, int height, int scale, const std::function<void (juce::Graphics&)>& paint)
{
    juce::Image image (juce::Image::ARGB, width * scale, height * scale, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.addTransform (juce::AffineTransform::scale ((float) scale));
    paint (g);
    return image;
}

inline juce::Image render (juce::Component& c, int scale = 1)
{
    return render (c.getWidth(), c.getHeight(), scale, [&c] (juce::Graphics& g) { c.paintEntireComponent (g, false); });
}

// How many pixels there are of each ARGB value.
inline std::map<juce::uint32, int> colourCounts (const juce::Image& image)
{
    std::map<juce::uint32, int> counts;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            ++counts[image.getPixelAt (x, y).getARGB()];
    return counts;
}

// Each ARGB channel within the tolerance (blends round differently); 0 is exact.
inline ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::uint32 expected, int tolerance = 0)
{
    const auto actual = image.getPixelAt (x, y).getARGB();
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs ((int) ((actual >> shift) & 0xff) - (int) ((expected >> shift) & 0xff)) > tolerance)
            return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is 0x" << juce::String::toHexString (actual)
                                                 << ", expected 0x" << juce::String::toHexString (expected);
    return ::testing::AssertionSuccess();
}

} // namespace testutil
