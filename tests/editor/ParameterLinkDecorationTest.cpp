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

        // At 4x a ring is a 2 px line on a circle of radius 2: 4 .. 12 px from its centre, (4 (ringX + 2), 100).
        for (int ringX : { c.left, c.right })
            for (auto [dx, dy, onRing] : { std::tuple (0, -11, true), { 0, -5, true }, { 0, 4, true }, { 0, 10, true }, { -5, 0, true }, { 4, 0, true }, { 0, 0, false }, { 0, -14, false }, { 0, 13, false } })
                EXPECT_TRUE (pixelIs (img, 4 * (ringX + 2) + dx, 4 * 25 + dy, onRing ? c.mark : 0)) << c.width << " px wide, window 0x" << juce::String::toHexString (c.window);
        // Away from the rings the bar covers exactly its two rows.
        for (int x = 4 * (c.barX + 3); x < 4 * (c.barX + c.barWidth - 3); ++x)
            ASSERT_TRUE (pixelIs (img, x, 96, c.mark) && pixelIs (img, x, 103, c.mark) && pixelIs (img, x, 95, 0) && pixelIs (img, x, 104, 0));
    }
}
