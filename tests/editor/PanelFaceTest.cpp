#include "editor/MainView.h"
#include "gui/PixelTestUtils.h"

namespace
{
constexpr juce::uint32 windowColour = 0xff191919, black = 0xff000000, headerBand = 0xff141414, rule = 0xff6f6f6f, linkMark = 0xff3f3f3f;

// The smallest rectangle holding every pixel of the area that is not the window colour.
juce::Rectangle<int> ink (const juce::Image& image, juce::Rectangle<int> area)
{
    juce::Rectangle<int> found;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (image.getPixelAt (x, y).getARGB() != windowColour)
                found = found.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : found.getUnion ({ x, y, 1, 1 });
    return found;
}
} // namespace

TEST (PanelFace, WholeEditorInEveryTheme)
{
    plb::MainView main;
    main.setBounds (0, 0, 800, 520);
    auto& low = *main.bandViews[0];
    low.timeSyncButton.setToggleState (true, juce::dontSendNotification);
    const juce::File artifacts (CORVANTIDE_TEST_ARTIFACTS);
    ASSERT_TRUE (artifacts.createDirectory());
    const auto themes = testutil::themes();

    // Every theme in turn, and back to the first.
    for (size_t i = 0; i <= themes.size(); ++i)
    {
        const auto& [key, accent, lf] = themes[i % themes.size()];
        SCOPED_TRACE (key);
        main.setLookAndFeel (lf.get());
        const auto img = testutil::render (main);
        juce::MemoryOutputStream png; // for people to look at
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (img, png)
                     && artifacts.getChildFile ("main_view_" + key + ".png").replaceWithData (png.getData(), png.getDataSize()));

        // clang-format off
        // Black gutters round and between the panels; the low band's header band with its rule along the first
        // two thirds of its last row (x 2 .. 177, y 31); the bar of its link mark, rows 284 and 285.
        const std::tuple<int, int, juce::uint32> probes[] = {
            {0, 0, black}, {799, 519, black}, {268, 200, black}, {532, 200, black}, {400, 131, black}, {400, 132, black}, {400, 439, black},
            {202, 3, headerBand}, {2, 31, rule}, {177, 31, rule}, {178, 31, headerBand}, {102, 32, windowColour},
            {131, 283, windowColour}, {131, 284, linkMark}, {131, 285, linkMark}, {131, 286, windowColour}};
        // clang-format on
        for (const auto& [x, y, argb] : probes)
            EXPECT_TRUE (testutil::pixelIs (img, x, y, argb));

        // Captions are centred under their knobs.
        const auto caption = low.timeLabel.getBounds() + low.getPosition(), text = ink (img, caption);
        EXPECT_NEAR (text.getX() - caption.getX(), caption.getRight() - text.getRight(), 2) << text.toString();

        // Beside the footer's buttons every pixel is the window colour, the logos' grey or a blend of the two (none
        // of the artwork's white or black is left), and each logo is flush with its area's outer edge.
        for (const auto& [scan, edge] : { std::pair (juce::Rectangle<int> (2, 440, 223, 78), 48), { { 575, 440, 223, 78 }, 752 } })
        {
            for (int y = scan.getY(); y < scan.getBottom(); ++y)
                for (int x = scan.getX(); x < scan.getRight(); ++x)
                {
                    const auto c = img.getPixelAt (x, y);
                    const bool grey = c.getAlpha() == 255 && c.getRed() == c.getGreen() && c.getGreen() == c.getBlue();
                    ASSERT_TRUE (grey && c.getRed() >= 0x19 && c.getRed() <= 0xbd) << x << ", " << y << ": 0x" << juce::String::toHexString (c.getARGB());
                }
            const auto logo = ink (img, scan);
            EXPECT_EQ (edge < 400 ? logo.getX() : logo.getRight(), edge) << logo.toString();
        }

        // A toggled icon is recoloured from the previous accent (white at first) to this one; an idle one stays white.
        const auto previous = std::get<1> (themes[(i + themes.size() - 1) % themes.size()]);
        using Icon = std::pair<juce::Button*, juce::uint32>;
        for (auto [button, colour] : { Icon (&low.timeSyncButton, accent), Icon (&main.footerView.menuButton, 0xffffffff) })
        {
            auto counts = testutil::colourCounts (testutil::render (*button, 2));
            EXPECT_GT (counts[colour], 50);
            for (auto other : { 0xffffffffu, previous, accent })
                EXPECT_TRUE (other == colour || counts[other] == 0) << juce::String::toHexString (other);
        }
    }
    main.setLookAndFeel (nullptr);
}
