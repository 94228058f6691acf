#include "gui/KnobControl.h"
#include "gui/PixelTestUtils.h"
#include "gui/TextSliderControl.h"

#include <juce_gui_extra/juce_gui_extra.h>

using namespace qnmr::gui;
using testutil::pixelIs;

TEST (LookAndFeel, RotaryKnobRing)
{
    constexpr juce::uint32 track = 0xff373737;
    QWLookAndFeel lf;
    // clang-format off
    // The ring 22 px out at 225, 315, 45 and 135 degrees: A = value arc, T = bare track. The boxes
    // that are not square keep the ring at the shorter side's radius.
    const std::tuple<bool, double, bool, int, int, const char*> cases[] = {
        {false, 0.5, true, 50, 50, "AATT"}, {false, 1.0, true, 50, 80, "AAAA"}, {true, 0.0, true, 50, 50, "AATT"},
        {true, 0.5, true, 80, 50, "TTTT"}, {true, 1.0, false, 50, 50, "TTAA"}};
    // clang-format on
    for (const auto& [bipolar, value, enabled, width, height, ring] : cases)
    {
        KnobControl knob (bipolar); // with the default range, 0 to 10
        knob.setLookAndFeel (&lf);
        knob.setValue (10.0 * value, juce::dontSendNotification);
        knob.setEnabled (enabled);
        knob.setBounds (0, 0, width, height);
        const auto image = testutil::render (knob, 4); // at 4x the 2 px ring has pixels wholly inside it
        const juce::uint32 arc = enabled ? 0xff29588e : 0xff304763; // the accent at alpha 204 (102 disabled) over the track
        for (int i = 0; i < 4; ++i)
        {
            const float a = juce::degreesToRadians (225.0f + 90.0f * (float) i);
            const auto x = (int) std::floor (2.0f * (float) width + 88.0f * std::sin (a)), y = (int) std::floor (2.0f * (float) height - 88.0f * std::cos (a));
            EXPECT_TRUE (pixelIs (image, x, y, ring[i] == 'A' ? arc : track, 1)) << bipolar << " " << value << " " << width << "x" << height << ", " << i;
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
    box.setBounds (0, 0, 80, 20);
    EXPECT_EQ (box.getChildComponent (0)->getBounds(), box.getLocalBounds());
    EXPECT_FALSE (box.isTextBoxEditable());

    // A bubble with a 1 px outline; at 8x the combo box's 1 px arrow has whole pixels at its middle, (105, 12.5).
    juce::BubbleMessageComponent bubble;
    bubble.setLookAndFeel (&lf);
    const auto bubbleImage = testutil::render (60, 40, 1, [&] (juce::Graphics& g) { lf.drawBubble (g, bubble, { 30, 2 }, { 10, 10, 40, 20 }); });
    EXPECT_TRUE (pixelIs (bubbleImage, 30, 10, grey) && pixelIs (bubbleImage, 30, 11, black));
    juce::ComboBox combo;
    combo.setLookAndFeel (&lf);
    const auto comboImage = testutil::render (120, 24, 8, [&] (juce::Graphics& g) { lf.drawComboBox (g, 120, 24, false, 0, 0, 0, 0, combo); });
    EXPECT_TRUE (pixelIs (comboImage, 105 * 8, 100, 0xffeaeaea, 1)); // white at alpha 0.9

    // A button joined on its left: square corners there, rounded ones on the right.
    juce::TextButton button;
    button.setLookAndFeel (&lf);
    button.setBounds (0, 0, 100, 30);
    button.setConnectedEdges (juce::Button::ConnectedOnLeft);
    const auto b = testutil::render (button, 2); // the body spans (1, 1) .. (199, 57)
    EXPECT_TRUE (pixelIs (b, 1, 1, body) && pixelIs (b, 1, 56, body));
    EXPECT_FALSE (pixelIs (b, 198, 1, body) || pixelIs (b, 198, 56, body));
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
