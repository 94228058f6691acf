#include "editor/ParameterLinkDecoration.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"

using testutil::pixelIs;

TEST (ParameterLinkDecoration, RingsAndBarInTheWindowColourBrightened)
{
    // clang-format off
    // Positions in component pixels: 4 x 4 ring squares at (left, 23) and (right, 23), a bar 2 px high at (barX, 24).
    struct Case { int width; juce::uint32 window, mark; int left, right, barX, barWidth; };
    const Case cases[] = {
        {77, 0xff191919, 0xff3f3f3f, 12, 61, 16, 45},  // the band view's
        {81, 0xff191919, 0xff3f3f3f, 13, 64, 17, 47},  // the global view's
        {77, 0xff000000, 0xff2a2a2a, 12, 61, 16, 45}}; // 255 - 255 / 1.2, truncated
    // clang-format on
    for (const auto& c : cases)
    {
        qnmr::gui::QWLookAndFeel lf;
        lf.setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (c.window));
        plb::ParameterLinkDecoration decoration;
        decoration.setLookAndFeel (&lf);
        decoration.setBounds (0, 0, c.width, 50);
        const auto img = testutil::render (decoration, 4);

        // At 4x a ring is a 2 px line on a circle of radius 2: 4 .. 12 px from its centre.
        for (int ringX : {c.left, c.right})
        {
            const int cx = 4 * (ringX + 2), cy = 4 * 25;
            for (auto [dx, dy] : {std::pair (0, -11), {0, -5}, {0, 4}, {0, 10}, {-5, 0}, {4, 0}})
                EXPECT_TRUE (pixelIs (img, cx + dx, cy + dy, c.mark)) << c.width << " px wide, window 0x" << juce::String::toHexString (c.window);
            for (auto [dx, dy] : {std::pair (0, 0), {0, -14}, {0, 13}})
                EXPECT_TRUE (pixelIs (img, cx + dx, cy + dy, 0));
        }
        // Away from the rings the bar covers exactly its two rows.
        for (int x = 4 * (c.barX + 3); x < 4 * (c.barX + c.barWidth - 3); ++x)
            ASSERT_TRUE (pixelIs (img, x, 96, c.mark) && pixelIs (img, x, 103, c.mark) && pixelIs (img, x, 95, 0) && pixelIs (img, x, 104, 0));
    }
}
