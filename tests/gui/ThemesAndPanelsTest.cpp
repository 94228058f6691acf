#include "BinaryData.h"
#include "editor/ParameterLinkDecoration.h"
#include "gui/GenericPanelView.h"
#include "gui/IconButtonControl.h"
#include "gui/KnobControl.h"
#include "gui/KnobNameLabel.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"
#include "gui/TextSliderControl.h"

#include <map>

using namespace qnmr::gui;
using namespace BinaryData;

namespace
{
template <typename LookAndFeel>
std::unique_ptr<QWLookAndFeel> make()
{
    return std::make_unique<LookAndFeel>();
}

std::unique_ptr<juce::Drawable> svg (const char* data, int size) { return juce::Drawable::createFromImageData (data, (size_t) size); }
} // namespace

TEST (Themes, ColourTablesAndASamplePanel)
{
    // clang-format off
    const std::tuple<const char*, juce::uint32, std::unique_ptr<QWLookAndFeel> (*)()> themes[] = {
        {"blue", 0xff2660a4, make<QWLookAndFeel>}, {"teal", 0xff28afb0, make<QWLookAndFeelTeal>}, {"green", 0xff77ff94, make<QWLookAndFeelGreen>},
        {"yellow", 0xfffdca40, make<QWLookAndFeelYellow>}, {"red", 0xffee6c4d, make<QWLookAndFeelRed>}, {"pink", 0xffd14081, make<QWLookAndFeelPink>},
        {"purple", 0xff6564db, make<QWLookAndFeelPurple>}};
    // 0 stands for the theme's accent.
    const std::map<int, juce::uint32> table{
        {juce::Slider::rotarySliderFillColourId, 0}, {juce::Slider::textBoxTextColourId, 0}, {juce::TextButton::textColourOnId, 0}, {juce::ResizableWindow::backgroundColourId, 0xff191919},
        {juce::Slider::backgroundColourId, 0xff232323}, {juce::BubbleComponent::backgroundColourId, 0xff000000}, {juce::BubbleComponent::outlineColourId, 0xff232323},
        {juce::TooltipWindow::textColourId, 0xffffffff}, {juce::TooltipWindow::backgroundColourId, 0xff000000}, {juce::TooltipWindow::outlineColourId, 0xff232323},
        {juce::Slider::textBoxBackgroundColourId, 0xff000000}, {juce::Slider::textBoxOutlineColourId, 0xff232323}, {juce::ComboBox::backgroundColourId, 0xff2d2d2d},
        {juce::PopupMenu::backgroundColourId, 0xff111111}, {juce::PopupMenu::highlightedBackgroundColourId, 0xff232323}, {juce::TextButton::buttonColourId, 0xff2d2d2d},
        {juce::TextButton::buttonOnColourId, 0xff000000}, {juce::TextButton::textColourOffId, 0xffffffff}};
    // clang-format on
    const juce::LookAndFeel_V4 dark;
    const auto entry = [] (const juce::LookAndFeel& lf, int id) { return std::make_pair (lf.isColourSpecified (id), lf.findColour (id).getARGB()); };

    // A panel as the editor builds them, with a toggled (sync), a pressed (mute) and an idle (menu) icon button.
    GenericPanelView panel ("LOW BAND");
    KnobControl time (false), shift (true);
    TextSliderControl window;
    KnobNameLabel timeName ("TIME");
    IconButtonControl sync (svg (sync_icon_svg, sync_icon_svgSize), svg (sync_icon_svg, sync_icon_svgSize));
    IconButtonControl mute (svg (mute_off_icon_svg, mute_off_icon_svgSize), svg (mute_icon_svg, mute_icon_svgSize));
    IconButtonControl menu (svg (menu_icon_svg, menu_icon_svgSize), svg (menu_icon_svg, menu_icon_svgSize));
    plb::ParameterLinkDecoration link;
    // clang-format off
    const std::pair<juce::Component*, juce::Rectangle<int>> parts[] = {{&link, {138, 130, 77, 50}}, {&time, {20, 50, 50, 50}}, {&timeName, {15, 100, 60, 16}},
        {&shift, {100, 130, 50, 50}}, {&window, {200, 147, 40, 16}}, {&sync, {20, 220, 40, 30}}, {&mute, {70, 220, 40, 30}}, {&menu, {120, 220, 40, 30}}};
    // clang-format on
    for (auto [part, bounds] : parts)
    {
        panel.addAndMakeVisible (part);
        part->setBounds (bounds);
    }
    shift.setValue (2.5); // a quarter of the default range, left of the middle
    sync.setToggleState (true, juce::dontSendNotification);
    mute.setState (juce::Button::buttonDown);
    panel.setBounds (0, 0, 265, 280);
    auto* header = dynamic_cast<PanelHeaderComponent*> (panel.getChildComponent (0));
    ASSERT_NE (header, nullptr);
    EXPECT_EQ (header->getChildComponent (0)->getBounds(), juce::Rectangle<int> (2, 2, 261, 25)); // the title

    const juce::File artifacts (CORVANTIDE_TEST_ARTIFACTS);
    ASSERT_TRUE (artifacts.createDirectory());

    // Every theme in turn, and back to the first.
    for (int i = 0; i <= 7; ++i)
    {
        const auto& [key, accent, make] = themes[i % 7];
        SCOPED_TRACE (key);
        const auto lf = make();
        for (const auto& [id, argb] : table)
            EXPECT_EQ (entry (*lf, id), std::make_pair (true, argb == 0 ? accent : argb)) << juce::String::toHexString (id);
        // Every other framework id keeps the dark scheme, so the themes differ only in the accent.
        for (int id = 0x1000000; id < 0x1100000; ++id)
            if (table.count (id) == 0 && entry (*lf, id) != entry (dark, id))
                FAIL() << "0x" << juce::String::toHexString (id) << " differs from the dark scheme";

        panel.setLookAndFeel (lf.get());
        juce::MemoryOutputStream png; // for people to look at
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (testutil::render (panel, 2), png)
                     && artifacts.getChildFile (juce::String ("panel_") + key + ".png").replaceWithData (png.getData(), png.getDataSize()));
        // The header's band, its rule from x = 0 to 175 on its last row, 29, and the window below.
        const auto img = testutil::render (panel);
        for (auto [x, y, argb] : { std::tuple (200, 1, 0xff141414u), { 0, 29, 0xff6f6f6fu }, { 175, 29, 0xff6f6f6fu }, { 176, 29, 0xff141414u }, { 100, 30, 0xff191919u } })
            EXPECT_TRUE (testutil::pixelIs (img, x, y, argb));

        // Active icons are recoloured from the previous accent (white at first) to this one; the normal icon stays white.
        const auto previous = std::get<1> (themes[(i + 6) % 7]);
        for (auto [button, ink] : { std::pair (&sync, accent), { &mute, accent }, { &menu, 0xffffffffu } })
        {
            auto colours = testutil::colourCounts (testutil::render (*button, 2));
            EXPECT_GT (colours[ink], 50);
            for (auto other : { 0xffffffffu, previous, accent })
                EXPECT_TRUE (other == ink || colours[other] == 0) << "0x" << juce::String::toHexString (other) << " in 0x" << juce::String::toHexString (ink);
        }
        panel.setLookAndFeel (nullptr);
    }
}
