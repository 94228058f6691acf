#pragma once

// Rendering into images and comparing pixels, for the GUI tests.

#include "gui/QWLookAndFeel.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>

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

// The seven themes in menu order: key, accent and look-and-feel.
inline std::vector<std::tuple<juce::String, juce::uint32, std::unique_ptr<qnmr::gui::QWLookAndFeel>>> themes()
{
    using namespace qnmr::gui;
    std::vector<std::tuple<juce::String, juce::uint32, std::unique_ptr<QWLookAndFeel>>> all;
    all.emplace_back ("blue", 0xff2660a4, std::make_unique<QWLookAndFeel>());
    all.emplace_back ("teal", 0xff28afb0, std::make_unique<QWLookAndFeelTeal>());
    all.emplace_back ("green", 0xff77ff94, std::make_unique<QWLookAndFeelGreen>());
    all.emplace_back ("yellow", 0xfffdca40, std::make_unique<QWLookAndFeelYellow>());
    all.emplace_back ("red", 0xffee6c4d, std::make_unique<QWLookAndFeelRed>());
    all.emplace_back ("pink", 0xffd14081, std::make_unique<QWLookAndFeelPink>());
    all.emplace_back ("purple", 0xff6564db, std::make_unique<QWLookAndFeelPurple>());
    return all;
}
} // namespace testutil
