#include "editor/MainView.h"
#include "gui/KnobNameLabel.h"
#include "gui/PixelTestUtils.h"

#include <functional>
#include <memory>
#include <vector>

using Bounds = juce::Rectangle<int>;

namespace
{
juce::Component* header (juce::Component& panel)
{
    for (auto* child : panel.getChildren())
        if (dynamic_cast<qnmr::gui::PanelHeaderComponent*> (child) != nullptr)
            return child;
    return nullptr;
}
} // namespace

TEST (PanelLayout, DesignSizeGivesTheWorkedBoundsAndTheLinkMarksSitBehind)
{
    plb::MainView main;
    main.setBounds (0, 0, 800, 520);
    auto& low = *main.bandViews[0];
    auto& f = main.footerView;
    auto& s = main.bandSplitterView;
    auto& o = main.outputView;
    // clang-format off
    const std::pair<juce::Component*, Bounds> expected[] = {
        {&f, {2, 440, 796, 78}}, {&low, {2, 2, 265, 436}}, {main.bandViews[1], {533, 2, 265, 436}}, {&s, {269, 2, 262, 129}}, {&o, {269, 133, 262, 305}},
        {&f.randomButton, {223, 26, 26, 26}}, {&f.previousButton, {265, 26, 26, 26}}, {&f.presetNameButton, {299, 26, 197, 26}},
        {&f.nextButton, {504, 26, 26, 26}}, {&f.menuButton, {546, 26, 26, 26}},
        {header (low), {0, 0, 265, 30}}, {header (low)->getChildComponent (0), {2, 2, 261, 25}}, {&low.timeSyncButton, {119, 67, 26, 26}},
        {&low.timeKnob, {41, 55, 50, 50}}, {&low.timeLabel, {102, 105, 60, 16}}, {&main.bandViews[1]->timeLabel, {102, 105, 60, 16}},
        {&low.syncedTimeBox, {163, 71, 70, 18}}, {&low.feedKnob, {41, 157, 50, 50}}, {&low.feedLabel, {36, 207, 60, 16}},
        {&low.dampKnob, {173, 157, 50, 50}}, {&low.dampLabel, {168, 207, 60, 16}}, {&low.shiftKnob, {41, 258, 50, 50}}, {&low.shiftLabel, {36, 308, 60, 16}},
        {&low.windowSlider, {168, 274, 60, 18}}, {&low.windowLabel, {168, 308, 60, 16}}, {&low.ampKnob, {41, 360, 50, 50}}, {&low.ampLabel, {36, 410, 60, 16}},
        {&low.muteButton, {119, 372, 26, 26}}, {&low.panKnob, {173, 360, 50, 50}}, {&low.panLabel, {168, 410, 60, 16}},
        {&low.linkDecoration, {91, 258, 77, 50}},
        {header (s), {0, 0, 262, 30}}, {&s.cutoffKnob, {40, 54, 50, 50}}, {&s.cutoffLabel, {35, 104, 60, 16}},
        {&s.resonanceKnob, {171, 54, 50, 50}}, {&s.resonanceLabel, {166, 104, 60, 16}},
        {header (o), {0, 0, 262, 30}}, {&o.diffusionKnob, {40, 50, 50, 50}}, {&o.diffusionLabel, {35, 100, 60, 16}},
        {&o.delayTypeBox, {151, 63, 90, 18}}, {&o.delayTypeLabel, {151, 41, 90, 18}}, {&o.pitchRoutingBox, {151, 109, 90, 18}},
        {&o.pitchRoutingLabel, {151, 87, 90, 18}}, {&o.driftKnob, {40, 142, 50, 50}}, {&o.driftLabel, {35, 192, 60, 16}},
        {&o.rateKnob, {171, 142, 50, 50}}, {&o.rateLabel, {166, 192, 60, 16}}, {&o.ampKnob, {40, 234, 50, 50}}, {&o.ampLabel, {35, 284, 60, 16}},
        {&o.dryWetKnob, {171, 234, 50, 50}}, {&o.dryWetLabel, {166, 284, 60, 16}}, {&o.linkDecoration, {90, 142, 81, 50}}};
    // clang-format on
    for (const auto& [component, bounds] : expected)
    {
        ASSERT_NE (component, nullptr);
        EXPECT_EQ (component->getBounds(), bounds) << component->getBounds().toString();
    }

    // The link marks lie behind the controls they join; the tooltip window waits hidden until a tip is due.
    for (auto* panel : { main.bandViews[0], main.bandViews[1] })
        EXPECT_EQ (panel->getChildComponent (0), &panel->linkDecoration);
    EXPECT_EQ (o.getChildComponent (0), &o.linkDecoration);
    EXPECT_FALSE (main.tooltipWindow->isVisible());

    // The captions in child order, and the knobs whose value arc starts at 12 o'clock.
    juce::StringArray captions;
    for (auto* panel : std::initializer_list<juce::Component*> { &low, &s, &o })
        for (auto* child : panel->getChildren())
            if (auto* caption = dynamic_cast<qnmr::gui::KnobNameLabel*> (child))
                captions.add (caption->getText());
    EXPECT_EQ (captions.joinIntoString (","), "TIME,FEED,DAMP,SHIFT,WINDOW,AMP,PAN,CUT,RES,DIFFUSION,AMP,DRY/WET,DELAY TYPE,PITCH ROUTING,DRIFT,RATE");
    juce::Array<juce::Slider*> bipolar;
    for (auto* knob : { &low.timeKnob, &low.feedKnob, &low.dampKnob, &low.shiftKnob, &low.ampKnob, &low.panKnob, &s.cutoffKnob,
                        &s.resonanceKnob, &o.diffusionKnob, &o.ampKnob, &o.dryWetKnob, &o.driftKnob, &o.rateKnob })
        if ((int) knob->getProperties()["bipolar"] == 1)
            bipolar.add (knob);
    EXPECT_EQ (bipolar, (juce::Array<juce::Slider*> { &low.shiftKnob, &low.ampKnob, &low.panKnob, &o.dryWetKnob }));

    // At sizes the framework may give, no child gets a negative size, the panels never overlap and never
    // leave the view, however little room there is, and painting, logos and knobs included, does not fail.
    const std::function<bool (juce::Component&)> nothingNegative = [&] (juce::Component& c) {
        return c.getWidth() >= 0 && c.getHeight() >= 0 && std::all_of (c.getChildren().begin(), c.getChildren().end(), [&] (auto* child) { return nothingNegative (*child); });
    };
    for (auto [w, h] : { std::pair (0, 0), { 3, 3 }, { 7, 90 }, { 800, 100 }, { 50, 520 }, { 801, 521 }, { 2000, 84 } })
    {
        SCOPED_TRACE (juce::String (w) + " x " + juce::String (h));
        main.setBounds (0, 0, w, h);
        EXPECT_TRUE (nothingNegative (main));
        std::vector<Bounds> panels;
        for (auto* panel : main.getChildren())
            if (panel != &main.tooltipWindow.get())
                panels.push_back (panel->getBounds());
        for (size_t i = 0; i < panels.size(); ++i)
        {
            EXPECT_TRUE (panels[i].isEmpty() || main.getLocalBounds().contains (panels[i])) << panels[i].toString();
            for (size_t j = i + 1; j < panels.size(); ++j)
                EXPECT_FALSE (panels[i].intersects (panels[j])) << panels[i].toString() << " and " << panels[j].toString();
        }
        testutil::render (main);
    }
}

TEST (PanelLayout, ChildrenBackToFrontAfterTheFirstLayout)
{
    plb::MainView main;
    main.setBounds (0, 0, 800, 520);
    auto& b = *main.bandViews[1];
    auto& s = main.bandSplitterView;
    auto& o = main.outputView;
    auto& f = main.footerView;
    using List = std::vector<juce::Component*>;
    // clang-format off
    const std::pair<juce::Component*, List> panels[] = {
        {&b, {&b.linkDecoration, header (b), &b.timeKnob, &b.feedKnob, &b.dampKnob, &b.shiftKnob, &b.windowSlider, &b.ampKnob, &b.panKnob,
              &b.syncedTimeBox, &b.timeSyncButton, &b.muteButton, &b.timeLabel, &b.feedLabel, &b.dampLabel, &b.shiftLabel, &b.windowLabel,
              &b.ampLabel, &b.panLabel}},
        {&s, {header (s), &s.cutoffKnob, &s.resonanceKnob, &s.cutoffLabel, &s.resonanceLabel}},
        {&o, {&o.linkDecoration, header (o), &o.diffusionKnob, &o.ampKnob, &o.dryWetKnob, &o.driftKnob, &o.rateKnob, &o.delayTypeBox,
              &o.pitchRoutingBox, &o.diffusionLabel, &o.ampLabel, &o.dryWetLabel, &o.delayTypeLabel, &o.pitchRoutingLabel, &o.driftLabel, &o.rateLabel}},
        {&f, {&f.menuButton, &f.previousButton, &f.nextButton, &f.presetNameButton, &f.randomButton}},
        {&main, {main.bandViews[0], main.bandViews[1], &s, &o, &f, &main.tooltipWindow.get()}}};
    // clang-format on
    for (const auto& [panel, order] : panels)
    {
        EXPECT_EQ (List (panel->getChildren().begin(), panel->getChildren().end()), order);
        for (auto* child : order)
            EXPECT_EQ (child->isVisible(), child != &main.tooltipWindow.get());
    }
    EXPECT_NE (header (b), nullptr);
}

TEST (PanelLayout, OddSizesKeepTheRules)
{
    // A band view 1 px wide and shorter than its header: every row is empty at y 20, the controls keep
    // their sizes and every division truncates toward 0.
    plb::BandView band ("LOW BAND");
    band.setBounds (0, 0, 1, 20);
    // clang-format off
    const std::pair<juce::Component*, Bounds> expected[] = {
        {&band.timeSyncButton, {-12, 7, 26, 26}}, {&band.timeKnob, {-25, -5, 50, 50}}, {&band.timeLabel, {-29, 45, 60, 16}},
        {&band.syncedTimeBox, {-34, 11, 70, 18}}, {&band.windowSlider, {-29, 11, 60, 18}}, {&band.windowLabel, {-29, 45, 60, 16}},
        {&band.muteButton, {-12, 7, 26, 26}}, {&band.linkDecoration, {-29, -5, 0, 50}}};
    // clang-format on
    for (const auto& [component, bounds] : expected)
        EXPECT_EQ (component->getBounds(), bounds) << component->getBounds().toString();
}

TEST (PanelLayout, OneSharedTooltipWindowOwnedByTheNewestMainView)
{
    for (bool newerGoesFirst : { true, false })
    {
        SCOPED_TRACE (newerGoesFirst ? "newer view closed first" : "older view closed first");
        auto older = std::make_unique<plb::MainView>();
        juce::Component::SafePointer<juce::TooltipWindow> tip (&older->tooltipWindow.get());
        ASSERT_NE (tip, nullptr);
        EXPECT_EQ (tip->getParentComponent(), older.get());

        auto newer = std::make_unique<plb::MainView>();
        EXPECT_EQ (&newer->tooltipWindow.get(), tip.getComponent());
        EXPECT_EQ (newer->tooltipWindow.getReferenceCount(), 2);
        EXPECT_EQ (tip->getParentComponent(), newer.get());
        EXPECT_EQ (older->getIndexOfChildComponent (tip), -1);
        EXPECT_FALSE (tip->isVisible());
        // Closing one view keeps the window for the other; once the newest is gone it has no parent.
        (newerGoesFirst ? newer : older).reset();
        ASSERT_NE (tip, nullptr);
        EXPECT_EQ (tip->getParentComponent(), newerGoesFirst ? nullptr : newer.get());
        // The last view takes the window with it; the next view makes a new one.
        (newerGoesFirst ? older : newer).reset();
        EXPECT_EQ (tip, nullptr);
        plb::MainView next;
        EXPECT_EQ (next.tooltipWindow.getReferenceCount(), 1);
        EXPECT_EQ (next.tooltipWindow->getParentComponent(), &next);
        EXPECT_EQ (tip, nullptr);
    }
}
