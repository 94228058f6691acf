#include "editor/ParameterLinkDecoration.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"

namespace
{
using testutil::pixelIs;

constexpr juce::uint32 mark = 0xff3f3f3f;
constexpr int scale = 4;

juce::Image renderDecoration (juce::LookAndFeel& lf, int width, int height)
{
    plb::ParameterLinkDecoration decoration;
    decoration.setLookAndFeel (&lf);
    decoration.setBounds (0, 0, width, height);
    auto img = testutil::render (decoration, scale);
    decoration.setLookAndFeel (nullptr);
    return img;
}

// A ring in the 4 x 4 square at (x, y): a 2 px line on a circle of radius 2,
// so at 4x it covers 4 .. 12 px from the centre.
void expectRing (const juce::Image& img, int x, int y, juce::uint32 colour)
{
    const int cx = (x + 2) * scale, cy = (y + 2) * scale;
    for (auto [dx, dy] : {std::pair (0, -9), std::pair (0, 8), std::pair (-9, 0), std::pair (8, 0)})
        EXPECT_TRUE (pixelIs (img, cx + dx, cy + dy, colour)) << "ring at " << x << "," << y;
    EXPECT_EQ (img.getPixelAt (cx, cy).getAlpha(), 0) << "ring hole";
    EXPECT_EQ (img.getPixelAt (cx, cy - 14).getAlpha(), 0) << "outside the ring";
    EXPECT_EQ (img.getPixelAt (cx, cy + 13).getAlpha(), 0) << "outside the ring";
}

void expectBar (const juce::Image& img, int x, int y, int width, juce::uint32 colour)
{
    // Away from the rings the bar covers rows y, y + 1 exactly.
    for (int px = (x + 3) * scale; px < (x + width - 3) * scale; ++px)
    {
        ASSERT_TRUE (pixelIs (img, px, y * scale, colour));
        ASSERT_TRUE (pixelIs (img, px, (y + 2) * scale - 1, colour));
        ASSERT_EQ (img.getPixelAt (px, y * scale - 1).getAlpha(), 0);
        ASSERT_EQ (img.getPixelAt (px, (y + 2) * scale).getAlpha(), 0);
    }
}
} // namespace

TEST (ParameterLinkDecoration, BandViewSize)
{
    qnmr::gui::QWLookAndFeel lf;
    const auto img = renderDecoration (lf, 77, 50);
    expectRing (img, 12, 23, mark);
    expectRing (img, 61, 23, mark);
    expectBar (img, 16, 24, 45, mark);
    EXPECT_EQ (img.getPixelAt (11 * scale - 8, 25 * scale).getAlpha(), 0) << "nothing in the side margin";
}

TEST (ParameterLinkDecoration, GlobalViewSize)
{
    qnmr::gui::QWLookAndFeelPurple lf;
    const auto img = renderDecoration (lf, 81, 50);
    expectRing (img, 13, 23, mark);
    expectRing (img, 64, 23, mark);
    expectBar (img, 17, 24, 47, mark);
}

TEST (ParameterLinkDecoration, ColourIsTheWindowBackgroundBrightened)
{
    qnmr::gui::QWLookAndFeel lf;
    lf.setColour (juce::ResizableWindow::backgroundColourId, juce::Colours::black);
    const auto img = renderDecoration (lf, 77, 50);
    expectRing (img, 12, 23, 0xff2a2a2a);
    expectBar (img, 16, 24, 45, 0xff2a2a2a);
}

TEST (ParameterLinkDecoration, StaysInTheVerticalMiddle)
{
    qnmr::gui::QWLookAndFeel lf;
    const auto img = renderDecoration (lf, 77, 31);
    // Height 31: rings at y = 13.5, bar at 14.5 .. 16.5 (half pixels at 1x, whole at 4x).
    EXPECT_TRUE (pixelIs (img, 40 * scale, 58, mark));
    EXPECT_TRUE (pixelIs (img, 40 * scale, 65, mark));
    EXPECT_EQ (img.getPixelAt (40 * scale, 57).getAlpha(), 0);
    EXPECT_EQ (img.getPixelAt (40 * scale, 66).getAlpha(), 0);
}

TEST (ParameterLinkDecoration, NarrowComponentStillDrawsBothRings)
{
    qnmr::gui::QWLookAndFeel lf;
    // Width 9: m = 1, area 7 wide: left slice 4, right slice 3, bar 0.
    const auto img = renderDecoration (lf, 9, 20);
    int ink = 0;
    for (int y = 0; y < img.getHeight(); ++y)
        for (int x = 0; x < img.getWidth(); ++x)
            ink += img.getPixelAt (x, y).getAlpha() > 0 ? 1 : 0;
    EXPECT_GT (ink, 0);
    // Left ring centred at x = 3, right ring centred on its 3 px slice at x = 6.5.
    EXPECT_TRUE (pixelIs (img, 3 * scale, 10 * scale - 9, mark));
    EXPECT_TRUE (pixelIs (img, 26, 10 * scale - 9, mark));

    plb::ParameterLinkDecoration decoration;
    EXPECT_FALSE (decoration.isOpaque());
    EXPECT_EQ (decoration.getNumChildComponents(), 0);
}
