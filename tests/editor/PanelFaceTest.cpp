#include "editor/MainView.h"
#include "gui/PixelTestUtils.h"

#include <cmath>

namespace
{
constexpr juce::uint32 windowColour = 0xff191919, black = 0xff000000, headerBand = 0xff141414, rule = 0xff6f6f6f, linkMark = 0xff3f3f3f,
                       logoGrey = 0xffbdbdbd;

// The black between and around the panels at the design size.
bool isGutter (int x, int y)
{
    const bool edge = x < 2 || x >= 798 || y < 2 || y >= 518;
    const bool aboveFooter = y >= 438 && y < 440;
    const bool beside = y < 438 && ((x >= 267 && x < 269) || (x >= 531 && x < 533));
    const bool middle = x >= 269 && x < 531 && y >= 131 && y < 133;
    return edge || aboveFooter || beside || middle;
}

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

juce::String titleOf (juce::Component& panel)
{
    for (auto* child : panel.getChildren())
        if (auto* header = dynamic_cast<qnmr::gui::PanelHeaderComponent*> (child))
            if (auto* label = dynamic_cast<juce::Label*> (header->getChildComponent (0)))
                return label->getText();
    return {};
}
} // namespace

TEST (PanelFace, WholeEditorInEveryTheme)
{
    plb::MainView main;
    main.setBounds (0, 0, 800, 520);
    auto& low = *main.bandViews[0];
    low.timeSyncButton.setToggleState (true, juce::dontSendNotification);
    low.muteButton.setState (juce::Button::buttonDown);
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
        // Every gutter pixel is black, and every panel pixel beside a gutter is not.
        for (int y = 0; y < 520; ++y)
            for (int x = 0; x < 800; ++x)
            {
                if (isGutter (x, y))
                {
                    ASSERT_TRUE (testutil::pixelIs (img, x, y, black));
                }
                else if (isGutter (x - 1, y) || isGutter (x + 1, y) || isGutter (x, y - 1) || isGutter (x, y + 1))
                {
                    ASSERT_NE (img.getPixelAt (x, y).getARGB(), black) << x << ", " << y;
                }
            }

        // Captions are centred under their knobs.
        const auto caption = low.timeLabel.getBounds() + low.getPosition(), text = ink (img, caption);
        EXPECT_NEAR (text.getX() - caption.getX(), caption.getRight() - text.getRight(), 2) << text.toString();

        // Beside the footer's buttons every pixel is the window colour, the logos' grey or a blend of the two (none
        // of the artwork's white or black is left). Each logo lies in its area (product 46, maker 566 across the
        // footer at (2, 440), 20 down, 38 high), flush with the area's outer edge and centred vertically; each area
        // reaches under the outer button beside it, so only the parts clear of them are scanned.
        for (const auto& [scan, area] : { std::pair (juce::Rectangle<int> (2, 440, 223, 78), juce::Rectangle<int> (48, 460, 225, 38)),
                                          { { 575, 440, 223, 78 }, { 568, 460, 184, 38 } } })
        {
            int greys = 0;
            for (int y = scan.getY(); y < scan.getBottom(); ++y)
                for (int x = scan.getX(); x < scan.getRight(); ++x)
                {
                    const auto c = img.getPixelAt (x, y);
                    const bool grey = c.getAlpha() == 255 && c.getRed() == c.getGreen() && c.getGreen() == c.getBlue();
                    ASSERT_TRUE (grey && c.getRed() >= 0x19 && c.getRed() <= 0xbd) << x << ", " << y << ": 0x" << juce::String::toHexString (c.getARGB());
                    greys += c.getARGB() == logoGrey ? 1 : 0;
                }
            const auto logo = ink (img, scan);
            EXPECT_GT (greys, 300) << area.toString();
            EXPECT_TRUE (area.contains (logo)) << logo.toString();
            EXPECT_EQ (area.getX() < 400 ? logo.getX() : logo.getRight(), area.getX() < 400 ? area.getX() : area.getRight()) << logo.toString();
            EXPECT_NEAR (logo.getY() - area.getY(), area.getBottom() - logo.getBottom(), 1) << logo.toString();
        }

        // A toggled or pressed icon is recoloured from the previous accent (white at first) to this one; an idle one stays white.
        const auto previous = std::get<1> (themes[(i + themes.size() - 1) % themes.size()]);
        using Icon = std::pair<juce::Button*, juce::uint32>;
        for (auto [button, colour] : { Icon (&low.timeSyncButton, accent), Icon (&low.muteButton, accent), Icon (&main.footerView.menuButton, 0xffffffff) })
        {
            auto counts = testutil::colourCounts (testutil::render (*button, 2));
            EXPECT_GT (counts[colour], 50);
            for (auto other : { 0xffffffffu, previous, accent })
                EXPECT_TRUE (other == colour || counts[other] == 0) << juce::String::toHexString (other);
        }
    }
    main.setLookAndFeel (nullptr);
}

TEST (PanelFace, ControlsAsTheEditorShowsThem)
{
    plb::MainView main;
    qnmr::gui::QWLookAndFeel lf;
    main.setLookAndFeel (&lf);
    main.setBounds (0, 0, 800, 520);
    auto& low = *main.bandViews[0];
    auto& high = *main.bandViews[1];
    auto& s = main.bandSplitterView;
    auto& o = main.outputView;

    // Bipolar knobs start their arc at 12 o'clock: at the framework's default value, the bottom of the
    // range, the arc covers the ring's left half.
    // clang-format off
    const std::pair<qnmr::gui::KnobControl*, bool> knobs[] = {
        {&low.timeKnob, false}, {&low.feedKnob, false}, {&low.dampKnob, false}, {&low.shiftKnob, true}, {&low.ampKnob, true}, {&low.panKnob, true},
        {&high.timeKnob, false}, {&high.shiftKnob, true}, {&high.ampKnob, true}, {&high.panKnob, true},
        {&s.cutoffKnob, false}, {&s.resonanceKnob, false},
        {&o.diffusionKnob, false}, {&o.ampKnob, false}, {&o.dryWetKnob, true}, {&o.driftKnob, false}, {&o.rateKnob, false}};
    // clang-format on
    constexpr juce::uint32 track = 0xff373737, arc = 0xff29588e; // the accent at alpha 204 over the track
    const auto near = (int) std::floor (100.0f - 88.0f * std::sqrt (0.5f)), far = (int) std::floor (100.0f + 88.0f * std::sqrt (0.5f));
    for (auto [knob, bipolar] : knobs)
    {
        // On the ring (22 px out) at 315 degrees, then at 45 degrees.
        const auto image = testutil::render (*knob, 4);
        EXPECT_TRUE (testutil::pixelIs (image, near, near, bipolar ? arc : track, 1));
        EXPECT_TRUE (testutil::pixelIs (image, far, near, track, 1));
        EXPECT_EQ (knob->getProperties()["bipolar"], juce::var (bipolar ? 1 : 0));
    }

    // clang-format off
    const std::pair<juce::Component*, const char*> texts[] = {
        {&low, "LOW BAND"}, {&high, "HIGH BAND"}, {&s, "BAND SPLITTER"}, {&o, "GLOBAL"},
        {&high.timeLabel, "TIME"}, {&high.feedLabel, "FEED"}, {&high.dampLabel, "DAMP"}, {&high.shiftLabel, "SHIFT"}, {&high.windowLabel, "WINDOW"},
        {&high.ampLabel, "AMP"}, {&high.panLabel, "PAN"}, {&s.cutoffLabel, "CUT"}, {&s.resonanceLabel, "RES"},
        {&o.diffusionLabel, "DIFFUSION"}, {&o.ampLabel, "AMP"}, {&o.dryWetLabel, "DRY/WET"}, {&o.delayTypeLabel, "DELAY TYPE"},
        {&o.pitchRoutingLabel, "PITCH ROUTING"}, {&o.driftLabel, "DRIFT"}, {&o.rateLabel, "RATE"}, {&main.footerView.presetNameButton, ""}};
    // clang-format on
    for (auto [component, text] : texts)
        if (auto* label = dynamic_cast<juce::Label*> (component))
            EXPECT_EQ (label->getText(), text);
        else if (auto* button = dynamic_cast<juce::Button*> (component))
            EXPECT_EQ (button->getButtonText(), text);
        else
            EXPECT_EQ (titleOf (*component), text);

    // The WINDOW value box shows a number that can be stepped and dragged, never typed.
    for (auto* band : { &low, &high })
    {
        EXPECT_FALSE (band->windowSlider.isTextBoxEditable());
        for (auto* child : band->windowSlider.getChildren())
        {
            if (auto* box = dynamic_cast<juce::Label*> (child))
            {
                EXPECT_FALSE (box->isEditableOnSingleClick() || box->isEditableOnDoubleClick());
            }
        }
    }

    // Only the bands' sync and mute buttons hold their state.
    auto& f = main.footerView;
    for (auto [button, toggles] : { std::pair<juce::Button*, bool> (&low.timeSyncButton, true), { &low.muteButton, true }, { &high.timeSyncButton, true }, { &high.muteButton, true }, { &f.menuButton, false }, { &f.previousButton, false }, { &f.nextButton, false }, { &f.presetNameButton, false }, { &f.randomButton, false } })
        EXPECT_EQ (button->getClickingTogglesState(), toggles);
    main.setLookAndFeel (nullptr);
}
