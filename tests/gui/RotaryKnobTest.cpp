#include "gui/KnobControl.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"

#include <cmath>

namespace
{
using namespace qnmr::gui;
using testutil::pixelIs;
using testutil::pixelNear;

constexpr juce::uint32 track = 0xff373737;
constexpr juce::uint32 mask = 0xff1a1a1a;
constexpr juce::uint32 body = 0xff1f1f1f;
constexpr juce::uint32 blue = 0xff2660a4;

// Knobs are rendered at 4x so that the 2 px ring and the 1.84 px pointer
// have pixels wholly inside them; the 50 x 50 knob's centre is then (100, 100).
constexpr int scale = 4;
constexpr float centre = 25.0f * scale;

struct Knob
{
    explicit Knob (bool bipolar, double value, bool enabled = true, int width = 50, int height = 50)
        : knob (bipolar)
    {
        knob.setLookAndFeel (&lf);
        knob.setRange (0.0, 1.0);
        knob.setValue (value, juce::dontSendNotification);
        knob.setEnabled (enabled);
        knob.setBounds (0, 0, width, height);
        image = testutil::render (knob, scale);
    }

    ~Knob() { knob.setLookAndFeel (nullptr); }

    // The pixel at a distance (in unscaled knob pixels) and an angle in
    // degrees clockwise from 12 o'clock; 'across' moves sideways from that ray.
    juce::Point<int> at (float radius, float degrees, float across = 0.0f) const
    {
        const float a = juce::degreesToRadians (degrees);
        const float x = centre + scale * (radius * std::sin (a) + across * std::cos (a));
        const float y = centre - scale * (radius * std::cos (a) - across * std::sin (a));
        return {(int) std::floor (x), (int) std::floor (y)};
    }

    juce::Colour pixel (float radius, float degrees, float across = 0.0f) const
    {
        const auto p = at (radius, degrees, across);
        return image.getPixelAt (p.x, p.y);
    }

    QWLookAndFeel lf;
    KnobControl knob;
    juce::Image image;
};

// The ring is 21..23 px from the centre; 22 is its middle.
constexpr float ring = 22.0f;
const juce::Colour arcEnabled = testutil::over (juce::Colour (track), juce::Colour (blue).withAlpha ((juce::uint8) 204));

void expectPointer (const Knob& k, float degrees, juce::Colour colour)
{
    // Pointer from 6.9 to 14.72 px out, 1.84 px thick: sample inside and just outside each end and side.
    for (float r : {7.2f, 10.0f, 14.4f})
        EXPECT_EQ (k.pixel (r, degrees), colour) << "r " << r;
    for (float r : {6.4f, 15.2f})
        EXPECT_EQ (k.pixel (r, degrees).getARGB(), body) << "r " << r;
    for (float side : {-1.4f, 1.4f})
        EXPECT_EQ (k.pixel (10.0f, degrees, side).getARGB(), body) << "side " << side;
}
} // namespace

TEST (RotaryKnob, WorkedExampleLayersAtHalfTravel)
{
    const Knob k (false, 0.5);
    const auto& img = k.image;

    // Mask between the inner disc (radius 18.4) and the ring (21), body inside 17.4.
    EXPECT_EQ (k.pixel (19.8f, 90.0f).getARGB(), mask);
    EXPECT_EQ (k.pixel (19.8f, 0.0f).getARGB(), mask);
    EXPECT_EQ (k.pixel (12.0f, 90.0f).getARGB(), body);
    EXPECT_EQ (k.pixel (16.9f, 270.0f).getARGB(), body);

    // The shadow is the inner disc moved 1 px down: it shows only below the body
    // (17.4 .. 19.4 px under the centre) and not above it.
    EXPECT_TRUE (pixelIs (img, 100, 100 + 4 * 18, 0xff000000));
    EXPECT_TRUE (pixelIs (img, 100, 100 - 4 * 17, body));
    EXPECT_TRUE (pixelIs (img, 100, 100 - 4 * 18 - 3, mask));

    // Outside the knob square (2, 2, 46, 46) nothing is drawn; the gap at the bottom holds no track.
    EXPECT_EQ (img.getPixelAt (100, 4).getAlpha(), 0);
    EXPECT_EQ (img.getPixelAt (4, 100).getAlpha(), 0);
    EXPECT_EQ (k.pixel (ring, 180.0f).getAlpha(), 0);

    // Arc from the start (216 deg) to 12 o'clock, track beyond.
    EXPECT_TRUE (pixelNear (img, k.at (ring, 270.0f).x, k.at (ring, 270.0f).y, arcEnabled));
    EXPECT_TRUE (pixelNear (img, k.at (ring, 225.0f).x, k.at (ring, 225.0f).y, arcEnabled));
    EXPECT_EQ (k.pixel (ring, 90.0f).getARGB(), track);
    EXPECT_EQ (k.pixel (ring, 135.0f).getARGB(), track);

    expectPointer (k, 0.0f, juce::Colour (blue));
}

TEST (RotaryKnob, PlainKnobArcFromStartAngle)
{
    const Knob atMin (false, 0.0);
    for (float deg : {225.0f, 270.0f, 0.0f, 90.0f, 135.0f})
        EXPECT_EQ (atMin.pixel (ring, deg).getARGB(), track) << deg;
    expectPointer (atMin, 216.0f, juce::Colour (blue));

    const Knob atMax (false, 1.0);
    for (float deg : {225.0f, 270.0f, 0.0f, 90.0f, 135.0f})
    {
        const auto p = atMax.at (ring, deg);
        EXPECT_TRUE (pixelNear (atMax.image, p.x, p.y, arcEnabled)) << deg;
    }
    expectPointer (atMax, 144.0f, juce::Colour (blue));
}

TEST (RotaryKnob, BipolarKnobArcFromTwelveOClock)
{
    const auto isArc = [] (const Knob& k, float deg)
    {
        const auto p = k.at (ring, deg);
        return pixelNear (k.image, p.x, p.y, arcEnabled);
    };

    const Knob atMin (true, 0.0);
    EXPECT_TRUE (isArc (atMin, 225.0f));
    EXPECT_TRUE (isArc (atMin, 315.0f));
    EXPECT_EQ (atMin.pixel (ring, 45.0f).getARGB(), track);
    EXPECT_EQ (atMin.pixel (ring, 135.0f).getARGB(), track);

    const Knob atMiddle (true, 0.5);
    for (float deg : {225.0f, 315.0f, 45.0f, 135.0f})
        EXPECT_EQ (atMiddle.pixel (ring, deg).getARGB(), track) << deg;
    expectPointer (atMiddle, 0.0f, juce::Colour (blue));

    const Knob atMax (true, 1.0);
    EXPECT_EQ (atMax.pixel (ring, 225.0f).getARGB(), track);
    EXPECT_EQ (atMax.pixel (ring, 315.0f).getARGB(), track);
    EXPECT_TRUE (isArc (atMax, 45.0f));
    EXPECT_TRUE (isArc (atMax, 135.0f));

    // A quarter turn left of 12 o'clock fills only the span between pointer and top.
    const Knob quarter (true, 0.25);
    EXPECT_TRUE (isArc (quarter, 315.0f));
    EXPECT_EQ (quarter.pixel (ring, 260.0f).getARGB(), track);
    expectPointer (quarter, 288.0f, juce::Colour (blue));
}

TEST (RotaryKnob, DisabledKnobDimsOnlyArcAndPointer)
{
    const Knob k (false, 0.5, false);
    const auto pointer = testutil::over (juce::Colour (body), juce::Colour (blue).withAlpha ((juce::uint8) 128));
    const auto arc = testutil::over (juce::Colour (track), juce::Colour (blue).withAlpha ((juce::uint8) 102));

    const auto onPointer = k.at (10.0f, 0.0f);
    EXPECT_TRUE (pixelNear (k.image, onPointer.x, onPointer.y, pointer));
    const auto onArc = k.at (ring, 270.0f);
    EXPECT_TRUE (pixelNear (k.image, onArc.x, onArc.y, arc));
    EXPECT_EQ (k.pixel (ring, 90.0f).getARGB(), track);
    EXPECT_EQ (k.pixel (19.8f, 90.0f).getARGB(), mask);
    EXPECT_EQ (k.pixel (12.0f, 90.0f).getARGB(), body);
}

TEST (RotaryKnob, GeometryDependsOnTheShorterSideOnly)
{
    const Knob square (false, 0.3);
    const Knob tall (false, 0.3, true, 50, 80);

    // The tall knob is the square one moved down by 15 px.
    const auto shifted = tall.image.getClippedImage ({0, 15 * scale, 50 * scale, 50 * scale});
    int different = 0;
    for (int y = 0; y < 50 * scale; ++y)
        for (int x = 0; x < 50 * scale; ++x)
            different += shifted.getPixelAt (x, y) != square.image.getPixelAt (x, y) ? 1 : 0;
    EXPECT_EQ (different, 0);
}

TEST (RotaryKnob, OnlyTheIntegerOneMakesAKnobBipolar)
{
    const Knob plain (false, 0.25);
    for (const juce::var& flag : {juce::var(), juce::var (2), juce::var (0)})
    {
        QWLookAndFeel lf;
        KnobControl knob (true);
        if (flag.isVoid())
            knob.getProperties().remove ("bipolar");
        else
            knob.getProperties().set ("bipolar", flag);
        knob.setLookAndFeel (&lf);
        knob.setRange (0.0, 1.0);
        knob.setValue (0.25, juce::dontSendNotification);
        knob.setBounds (0, 0, 50, 50);
        const auto img = testutil::render (knob, scale);
        knob.setLookAndFeel (nullptr);

        const auto p = plain.at (ring, 240.0f);
        EXPECT_TRUE (pixelNear (img, p.x, p.y, arcEnabled)) << flag.toString();
    }
}

TEST (RotaryKnob, KnobControlStoresItsBipolarFlagAsAnInteger)
{
    const KnobControl plain (false);
    const KnobControl bipolar (true);
    ASSERT_TRUE (plain.getProperties().contains ("bipolar"));
    EXPECT_TRUE (plain.getProperties()["bipolar"].isInt());
    EXPECT_EQ ((int) plain.getProperties()["bipolar"], 0);
    EXPECT_EQ ((int) bipolar.getProperties()["bipolar"], 1);

    EXPECT_EQ (bipolar.getSliderStyle(), juce::Slider::RotaryVerticalDrag);
    EXPECT_EQ (bipolar.getTextBoxPosition(), juce::Slider::NoTextBox);
}

TEST (RotaryKnob, SnapshotAtNormalScale)
{
    // At 1x the ring's middle row at the top is a whole pixel of the arc.
    QWLookAndFeel lf;
    KnobControl knob (false);
    knob.setLookAndFeel (&lf);
    knob.setRange (0.0, 1.0);
    knob.setValue (1.0, juce::dontSendNotification);
    knob.setBounds (0, 0, 50, 50);
    const auto img = testutil::render (knob, 1);
    knob.setLookAndFeel (nullptr);
    EXPECT_TRUE (pixelNear (img, 24, 3, arcEnabled));
    EXPECT_TRUE (pixelIs (img, 24, 24, body));
    EXPECT_TRUE (pixelIs (img, 24, 5, mask));
}
