#include "editor/MainView.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"

#include <cmath>
#include <memory>
#include <vector>

using namespace qnmr::gui;

namespace
{
constexpr juce::uint32 windowColour = 0xff191919, logoGrey = 0xffbdbdbd, black = 0xff000000;

std::vector<std::pair<juce::String, std::unique_ptr<QWLookAndFeel>>> themes()
{
    std::vector<std::pair<juce::String, std::unique_ptr<QWLookAndFeel>>> all;
    all.emplace_back ("blue", std::make_unique<QWLookAndFeel>());
    all.emplace_back ("teal", std::make_unique<QWLookAndFeelTeal>());
    all.emplace_back ("green", std::make_unique<QWLookAndFeelGreen>());
    all.emplace_back ("yellow", std::make_unique<QWLookAndFeelYellow>());
    all.emplace_back ("red", std::make_unique<QWLookAndFeelRed>());
    all.emplace_back ("pink", std::make_unique<QWLookAndFeelPink>());
    all.emplace_back ("purple", std::make_unique<QWLookAndFeelPurple>());
    return all;
}

juce::String titleOf (juce::Component& panel)
{
    for (auto* child : panel.getChildren())
        if (auto* header = dynamic_cast<PanelHeaderComponent*> (child))
            if (auto* label = dynamic_cast<juce::Label*> (header->getChildComponent (0)))
                return label->getText();
    return {};
}

bool isGutter (int x, int y)
{
    const bool edge = x < 2 || x >= 798 || y < 2 || y >= 518;
    const bool aboveFooter = y >= 438 && y < 440;
    const bool beside = y < 438 && ((x >= 267 && x < 269) || (x >= 531 && x < 533));
    const bool middle = x >= 269 && x < 531 && y >= 131 && y < 133;
    return edge || aboveFooter || beside || middle;
}
} // namespace

TEST (PanelFace, FooterLogosAreGreyInEveryThemeAndSitAtTheirAreasOuterEdges)
{
    plb::FooterView footer;
    footer.setBounds (0, 0, 796, 78);
    // The logo areas; each area reaches under the outer button beside it
    // (random from 223, options up to 572), so only the parts clear of them are scanned.
    struct Area
    {
        const char* name;
        juce::Rectangle<int> area, scan;
    };
    const Area areas[] = { { "product", { 46, 20, 225, 38 }, { 0, 0, 223, 78 } }, { "maker", { 566, 20, 184, 38 }, { 573, 0, 223, 78 } } };
    for (auto& [key, lf] : themes())
    {
        footer.setLookAndFeel (lf.get());
        const auto img = testutil::render (footer);
        for (const auto& [name, area, scan] : areas)
        {
            SCOPED_TRACE (key + ", " + name + " logo");
            // Every pixel is the window colour, the logo grey or a blend of
            // the two: none of the artwork's white or black is left.
            juce::Rectangle<int> ink;
            int grey = 0;
            for (int y = scan.getY(); y < scan.getBottom(); ++y)
                for (int x = scan.getX(); x < scan.getRight(); ++x)
                {
                    const auto c = img.getPixelAt (x, y);
                    ASSERT_TRUE (c.getAlpha() == 255 && c.getRed() == c.getGreen() && c.getGreen() == c.getBlue() && c.getRed() >= 0x19 && c.getRed() <= 0xbd)
                        << x << ", " << y << ": 0x" << juce::String::toHexString (c.getARGB());
                    grey += c.getARGB() == logoGrey;
                    if (c.getARGB() != windowColour)
                        ink = ink.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : ink.getUnion ({ x, y, 1, 1 });
                }
            EXPECT_GT (grey, 300);
            EXPECT_TRUE (area.contains (ink)) << ink.toString();
            // Flush with the area's outer edge, centred vertically.
            EXPECT_EQ (name[0] == 'p' ? ink.getX() : ink.getRight(), name[0] == 'p' ? area.getX() : area.getRight());
            EXPECT_NEAR (ink.getY() - area.getY(), area.getBottom() - ink.getBottom(), 1) << ink.toString();
        }
        footer.setLookAndFeel (nullptr);
    }
}

TEST (PanelFace, ControlsAsTheEditorShowsThem)
{
    plb::MainView main;
    QWLookAndFeel lf;
    main.setLookAndFeel (&lf);
    main.setBounds (0, 0, 800, 520);
    auto& low = *main.bandViews[0];
    auto& high = *main.bandViews[1];
    auto& s = main.bandSplitterView;
    auto& o = main.outputView;

    // Bipolar knobs start their arc at 12 o'clock: at the framework's default
    // value, the bottom of the range, the arc covers the ring's left half.
    // clang-format off
    const std::pair<KnobControl*, bool> knobs[] = {
        {&low.timeKnob, false}, {&low.feedKnob, false}, {&low.dampKnob, false}, {&low.shiftKnob, true}, {&low.ampKnob, true}, {&low.panKnob, true},
        {&high.timeKnob, false}, {&high.shiftKnob, true}, {&high.ampKnob, true}, {&high.panKnob, true},
        {&s.cutoffKnob, false}, {&s.resonanceKnob, false},
        {&o.diffusionKnob, false}, {&o.ampKnob, false}, {&o.dryWetKnob, true}, {&o.driftKnob, false}, {&o.rateKnob, false}};
    // clang-format on
    constexpr juce::uint32 track = 0xff373737, arc = 0xff29588e; // the accent at alpha 204 over the track
    for (auto [knob, bipolar] : knobs)
    {
        const auto image = testutil::render (*knob, 4);
        // On the ring (22 px out) at 315 degrees, then at 45 degrees.
        EXPECT_TRUE (testutil::pixelIs (image, (int) std::floor (100.0f - 88.0f * std::sqrt (0.5f)), (int) std::floor (100.0f - 88.0f * std::sqrt (0.5f)), bipolar ? arc : track, 1));
        EXPECT_TRUE (testutil::pixelIs (image, (int) std::floor (100.0f + 88.0f * std::sqrt (0.5f)), (int) std::floor (100.0f - 88.0f * std::sqrt (0.5f)), track, 1));
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

    // Only the band's sync and mute buttons hold their state.
    auto& f = main.footerView;
    for (auto [button, toggles] : { std::pair<juce::Button*, bool> (&low.timeSyncButton, true), { &low.muteButton, true }, { &high.timeSyncButton, true }, { &high.muteButton, true }, { &f.menuButton, false }, { &f.previousButton, false }, { &f.nextButton, false }, { &f.presetNameButton, false }, { &f.randomButton, false } })
        EXPECT_EQ (button->getClickingTogglesState(), toggles);
    main.setLookAndFeel (nullptr);
}

TEST (PanelFace, WholeEditorInEveryThemeWithBlackGutters)
{
    plb::MainView main;
    main.setBounds (0, 0, 800, 520);
    const juce::File artifacts (CORVANTIDE_TEST_ARTIFACTS);
    ASSERT_TRUE (artifacts.createDirectory());
    for (auto& [key, lf] : themes())
    {
        SCOPED_TRACE (key);
        main.setLookAndFeel (lf.get());
        const auto img = testutil::render (main);
        juce::MemoryOutputStream png; // for people to look at
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (img, png)
                     && artifacts.getChildFile ("main_view_" + key + ".png").replaceWithData (png.getData(), png.getDataSize()));

        // Every gutter pixel is black, and every panel pixel beside a gutter is not.
        for (int y = 0; y < 520; ++y)
            for (int x = 0; x < 800; ++x)
            {
                const bool nextToGutter = isGutter (x - 1, y) || isGutter (x + 1, y) || isGutter (x, y - 1) || isGutter (x, y + 1);
                if (isGutter (x, y))
                {
                    ASSERT_TRUE (testutil::pixelIs (img, x, y, black));
                }
                else if (nextToGutter)
                {
                    ASSERT_NE (img.getPixelAt (x, y).getARGB(), black) << x << ", " << y;
                }
            }
    }
    main.setLookAndFeel (nullptr);
}
