#include "editor/ParameterLinkDecoration.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"

using testutil::pixelIs;

TEST (ParameterLinkDecoration, RingsAndBarInTheWindowColourBrightened)
{
    // clang-format off
    // Positions in component pixels: 4 x 4 ring squares at (left, top) and (right, top), bar (x, y, width, 2).
    struct Case { int width, height; juce::uint32 window, mark; float left, right, top, barX, barY, barWidth; };
    const Case cases[] = {
        {77, 50, 0xff191919, 0xff3f3f3f, 12, 61, 23, 16, 24, 45},        // the band view's
        {81, 50, 0xff191919, 0xff3f3f3f, 13, 64, 23, 17, 24, 47},        // the global view's
        {77, 50, 0xff000000, 0xff2a2a2a, 12, 61, 23, 16, 24, 45},        // 255 - 255 / 1.2, truncated
        {77, 31, 0xff191919, 0xff3f3f3f, 12, 61, 13.5f, 16, 14.5f, 45},  // in the vertical middle
        {9, 20, 0xff191919, 0xff3f3f3f, 1, 4.5f, 8, 5, 9, 0}};           // right ring centred on a 3 px slice, no bar
    // clang-format on
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.width) + " x " + juce::String (c.height));
        qnmr::gui::QWLookAndFeel lf;
        lf.setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (c.window));
        plb::ParameterLinkDecoration decoration;
        EXPECT_FALSE (decoration.isOpaque());
        decoration.setLookAndFeel (&lf);
        decoration.setBounds (0, 0, c.width, c.height);
        const auto img = testutil::render (decoration, 4);
        decoration.setLookAndFeel (nullptr);

        // At 4x a ring is a 2 px line on a circle of radius 2: 4 .. 12 px from its centre.
        for (float ringX : {c.left, c.right})
        {
            const int cx = (int) (4 * (ringX + 2)), cy = (int) (4 * (c.top + 2));
            for (auto [dx, dy] : {std::pair (0, -11), {0, -5}, {0, 4}, {0, 10}, {-5, 0}, {4, 0}})
                EXPECT_TRUE (pixelIs (img, cx + dx, cy + dy, c.mark));
            for (auto [dx, dy] : {std::pair (0, 0), {0, -14}, {0, 13}})
                EXPECT_TRUE (pixelIs (img, cx + dx, cy + dy, 0));
        }
        // Away from the rings the bar covers exactly its two rows.
        const int top = (int) (4 * c.barY), bottom = top + 7;
        for (int x = (int) (4 * (c.barX + 3)); x < (int) (4 * (c.barX + c.barWidth - 3)); ++x)
            ASSERT_TRUE (pixelIs (img, x, top, c.mark) && pixelIs (img, x, bottom, c.mark) && pixelIs (img, x, top - 1, 0) && pixelIs (img, x, bottom + 1, 0));
    }
}
