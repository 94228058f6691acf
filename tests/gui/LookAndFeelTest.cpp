#include "gui/KnobControl.h"
#include "gui/PixelTestUtils.h"
#include "gui/TextSliderControl.h"

#include <juce_gui_extra/juce_gui_extra.h>

#include <cmath>
#include <map>
#include <set>

using namespace qnmr::gui;
using testutil::pixelIs;

TEST (LookAndFeel, RotaryKnobRing)
{
    constexpr juce::uint32 accent = 0xff2660a4, track = 0xff373737, mask = 0xff1a1a1a, body = 0xff1f1f1f, black = 0xff000000;
    QWLookAndFeel lf;
    // clang-format off
    // The ring 22 px out at 225, 315, 45 and 135 degrees: A = value arc, T = bare track. The boxes
    // that are not square keep the knob at the shorter side's radius, in the middle of the box.
    const std::tuple<bool, double, int, int, const char*> cases[] = {
        {false, 0.0, 50, 50, "TTTT"}, {false, 0.5, 50, 50, "AATT"}, {false, 1.0, 50, 50, "AAAA"}, {false, 1.0, 50, 80, "AAAA"},
        {true, 0.0, 50, 50, "AATT"}, {true, 0.5, 50, 50, "TTTT"}, {true, 0.5, 80, 50, "TTTT"}, {true, 1.0, 50, 50, "TTAA"}};
    // clang-format on
    for (const auto& [bipolar, value, width, height, ring] : cases)
        for (bool enabled : { true, false })
        {
            SCOPED_TRACE (juce::String (bipolar ? "bipolar at " : "plain at ") + juce::String (value) + ", " + juce::String (width) + "x"
                          + juce::String (height) + (enabled ? "" : ", disabled"));
            KnobControl knob (bipolar); // with the default range, 0 to 10
            knob.setLookAndFeel (&lf);
            knob.setValue (10.0 * value, juce::dontSendNotification);
            knob.setEnabled (enabled);
            knob.setBounds (0, 0, width, height);
            // At 4x the 2 px ring and the 1.84 px pointer have pixels wholly inside them.
            const auto image = testutil::render (knob, 4);
            const float p = 216.0f + 288.0f * (float) value; // the pointer's angle
            // The accent at alpha 204 (102 disabled) over the track, at 255 (128) over the body.
            const juce::uint32 arc = enabled ? 0xff29588e : 0xff304763, pointer = enabled ? accent : 0xff234062;
            const auto r = [arc, ring = ring] (int i) { return ring[i] == 'A' ? arc : track; };
            // clang-format off
            // radius from the centre, degrees clockwise from 12 o'clock, offset across that ray, colour, tolerance
            const std::tuple<float, float, float, juce::uint32, int> probes[] = {
                {22.0f, 225.0f, 0.0f, r (0), 1}, {22.0f, 315.0f, 0.0f, r (1), 1}, {22.0f, 45.0f, 0.0f, r (2), 1}, {22.0f, 135.0f, 0.0f, r (3), 1},
                // The pointer runs from 6.9 to 14.72 px out and is 1.84 px wide.
                {7.2f, p, 0.0f, pointer, 1}, {14.4f, p, 0.0f, pointer, 1}, {6.4f, p, 0.0f, body, 0}, {15.2f, p, 0.0f, body, 0}, {10.0f, p, 1.3f, body, 0},
                // Mask between the ring (21) and the inner disc (18.4); the shadow, the disc 1 px lower, shows under the body (17.4).
                {19.8f, 90.0f, 0.0f, mask, 0}, {12.0f, 90.0f, 0.0f, body, 0}, {18.0f, 180.0f, 0.0f, black, 0}, {17.0f, 0.0f, 0.0f, body, 0}, {17.9f, 0.0f, 0.0f, mask, 0},
                // Nothing in the track's gap at the bottom, nor outside the knob's square.
                {22.0f, 180.0f, 0.0f, 0, 0}, {24.0f, 0.0f, 0.0f, 0, 0}};
            // clang-format on
            for (const auto& [radius, degrees, across, colour, tolerance] : probes)
            {
                const float a = juce::degreesToRadians (degrees);
                const auto x = (int) std::floor (2.0f * (float) width + 4.0f * (radius * std::sin (a) + across * std::cos (a)));
                const auto y = (int) std::floor (2.0f * (float) height - 4.0f * (radius * std::cos (a) - across * std::sin (a)));
                EXPECT_TRUE (pixelIs (image, x, y, colour, tolerance)) << radius << " px at " << degrees << " degrees";
            }
        }
}

TEST (LookAndFeel, ValueBoxBubbleComboAndButtonPixels)
{
    constexpr juce::uint32 grey = 0xff232323, black = 0xff000000, body = 0xff2d2d2d;
    QWLookAndFeel lf;
    // The value box's text fills it, and it is stepped and dragged, never typed into.
    TextSliderControl box;
    box.setLookAndFeel (&lf);
    box.setRange (0.0, 100.0, 1.0);
    box.setValue (42.0);
    box.setBounds (0, 0, 80, 20);
    auto* label = dynamic_cast<juce::Label*> (box.getChildComponent (0));
    ASSERT_NE (label, nullptr);
    EXPECT_EQ (label->getBounds(), box.getLocalBounds());
    EXPECT_FALSE (box.isTextBoxEditable());
    // The step buttons over the label and the slider itself paint nothing; the label has a grey outline on black.
    const auto boxImage = testutil::render (box), text = testutil::render (*label);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_TRUE (pixelIs (boxImage, x, y, text.getPixelAt (x, y).getARGB()));
    EXPECT_TRUE (pixelIs (boxImage, 40, 0, grey) && pixelIs (boxImage, 1, 1, black));

    std::map<juce::String, juce::Image> img;
    // A bubble with a 1 px outline and no arrow towards its tip at (30, 2).
    juce::BubbleMessageComponent bubble;
    bubble.setLookAndFeel (&lf);
    img["bubble"] = testutil::render (60, 40, 1, [&] (juce::Graphics& g) { lf.drawBubble (g, bubble, { 30, 2 }, { 10, 10, 40, 20 }); });
    img["tooltip"] = testutil::render (100, 30, 1, [&] (juce::Graphics& g) { lf.drawTooltip (g, {}, 100, 30); });

    // At 8x the combo box's 1 px arrow has whole pixels at its middle, (105, 12.5).
    juce::ComboBox combo;
    combo.setLookAndFeel (&lf);
    const auto drawCombo = [&] { return testutil::render (120, 24, 8, [&] (juce::Graphics& g) { lf.drawComboBox (g, 120, 24, false, 0, 0, 0, 0, combo); }); };
    img["combo"] = drawCombo();
    juce::Value choice;
    juce::ChoicePropertyComponent property (choice, "choice", { "a" }, { 1 });
    property.addAndMakeVisible (combo);
    combo.setEnabled (false);
    img["disabled combo in property"] = drawCombo();
    property.removeChildComponent (&combo);

    // Buttons at 2x: a 100 x 30 body spans (1, 1) .. (199, 57), its black layer (1, 3) .. (199, 59).
    juce::TextButton button;
    button.setLookAndFeel (&lf);
    button.setBounds (0, 0, 100, 30);
    const std::tuple<const char*, juce::Button::ButtonState, bool, bool> states[] = { { "down button", juce::Button::buttonDown, false, true }, { "toggled button", juce::Button::buttonNormal, true, true }, { "disabled button", juce::Button::buttonNormal, false, false }, { "button", juce::Button::buttonNormal, false, true } };
    for (const auto& [name, state, toggled, enabled] : states)
    {
        button.setState (state);
        button.setToggleState (toggled, juce::dontSendNotification);
        button.setEnabled (enabled);
        img[name] = testutil::render (button, 2);
    }

    // clang-format off
    // matches = false marks a rounded corner: the colour of the square corner must not reach it.
    struct Expected { const char* image; int x, y; juce::uint32 colour; int tolerance = 0; bool matches = true; };
    const Expected table[] = {
        {"bubble", 30, 10, grey}, {"bubble", 30, 11, black}, {"bubble", 30, 7, 0},
        {"tooltip", 50, 0, grey}, {"tooltip", 50, 15, black}, {"tooltip", 0, 0, 0},
        {"combo", 400, 0, body}, {"combo", 400, 191, black}, {"combo", 0, 0, body, 0, false}, {"disabled combo in property", 0, 0, body},
        {"combo", 105 * 8, 100, 0xffeaeaea, 1}, {"disabled combo in property", 105 * 8, 100, 0xff575757, 1}, // white arrow at alpha 0.9 (0.2)
        {"button", 100, 2, body}, {"button", 100, 58, black}, {"button", 100, 59, 0}, {"down button", 100, 30, 0xff202020},
        {"toggled button", 100, 2, black}, {"disabled button", 100, 30, 0xff171717, 1}};
    // clang-format on
    for (const auto& e : table)
    {
        const auto result = pixelIs (img.at (e.image), e.x, e.y, e.colour, e.tolerance);
        EXPECT_EQ ((bool) result, e.matches) << e.image << " (" << e.x << ", " << e.y << ") " << result.message();
    }

    // Corners on connected edges are square (S), the others rounded (R): top-left, top-right, bottom-left, bottom-right.
    button.setState (juce::Button::buttonNormal);
    button.setToggleState (false, juce::dontSendNotification);
    button.setEnabled (true);
    const std::pair<int, const char*> connections[] = { { juce::Button::ConnectedOnLeft, "SRSR" }, { juce::Button::ConnectedOnTop, "SSRR" }, { juce::Button::ConnectedOnRight | juce::Button::ConnectedOnBottom, "RSSS" } };
    for (const auto& [edges, corners] : connections)
    {
        button.setConnectedEdges (edges);
        const auto b = testutil::render (button, 2);
        const juce::Point<int> at[] = { { 1, 1 }, { 198, 1 }, { 1, 56 }, { 198, 56 } };
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ ((bool) pixelIs (b, at[i].x, at[i].y, body), corners[i] == 'S') << corners << ", corner " << i;
    }
}

TEST (Themes, DifferFromTheBaseOnlyInTheThreeAccentIds)
{
    // clang-format off
    // The base's own colours; every other framework id keeps the dark scheme.
    const std::map<int, juce::uint32> own{
        {juce::ResizableWindow::backgroundColourId, 0xff191919}, {juce::Slider::backgroundColourId, 0xff232323},
        {juce::Slider::textBoxBackgroundColourId, 0xff000000}, {juce::Slider::textBoxOutlineColourId, 0xff232323},
        {juce::BubbleComponent::backgroundColourId, 0xff000000}, {juce::BubbleComponent::outlineColourId, 0xff232323},
        {juce::TooltipWindow::textColourId, 0xffffffff}, {juce::TooltipWindow::backgroundColourId, 0xff000000},
        {juce::TooltipWindow::outlineColourId, 0xff232323}, {juce::ComboBox::backgroundColourId, 0xff2d2d2d},
        {juce::PopupMenu::backgroundColourId, 0xff111111}, {juce::PopupMenu::highlightedBackgroundColourId, 0xff232323},
        {juce::TextButton::buttonColourId, 0xff2d2d2d}, {juce::TextButton::buttonOnColourId, 0xff000000},
        {juce::TextButton::textColourOffId, 0xffffffff}};
    // clang-format on
    const std::set<int> accentIds { juce::Slider::rotarySliderFillColourId, juce::Slider::textBoxTextColourId, juce::TextButton::textColourOnId };
    const juce::LookAndFeel_V4 dark;
    const auto entry = [] (const juce::LookAndFeel& lf, int id) { return std::make_pair (lf.isColourSpecified (id), lf.findColour (id).getARGB()); };
    for (const auto& [key, accent, lf] : testutil::themes())
        for (int id = 0x1000000; id < 0x1100000; ++id)
        {
            const auto expected = accentIds.count (id) ? std::make_pair (true, accent) : own.count (id) ? std::make_pair (true, own.at (id))
                                                                                                        : entry (dark, id);
            if (entry (*lf, id) != expected)
                ADD_FAILURE() << key << ": 0x" << juce::String::toHexString (id) << " is 0x" << juce::String::toHexString (lf->findColour (id).getARGB());
        }
}
