#include "editor/MainView.h"
#include "gui/KnobNameLabel.h"
#include "gui/PixelTestUtils.h"

#include <functional>

using Bounds = juce::Rectangle<int>;

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
        {low.getChildComponent (1), {0, 0, 265, 30}}, {&low.timeSyncButton, {119, 67, 26, 26}}, {&low.timeKnob, {41, 55, 50, 50}},
        {&main.bandViews[1]->timeLabel, {102, 105, 60, 16}}, {&low.syncedTimeBox, {163, 71, 70, 18}}, {&low.dampKnob, {173, 157, 50, 50}},
        {&low.shiftKnob, {41, 258, 50, 50}}, {&low.shiftLabel, {36, 308, 60, 16}}, {&low.windowSlider, {168, 274, 60, 18}},
        {&low.windowLabel, {168, 308, 60, 16}}, {&low.muteButton, {119, 372, 26, 26}}, {&low.linkDecoration, {91, 258, 77, 50}},
        {&s.cutoffKnob, {40, 54, 50, 50}}, {&s.resonanceLabel, {166, 104, 60, 16}},
        {&o.delayTypeBox, {151, 63, 90, 18}}, {&o.delayTypeLabel, {151, 41, 90, 18}}, {&o.pitchRoutingBox, {151, 109, 90, 18}},
        {&o.driftKnob, {40, 142, 50, 50}}, {&o.dryWetLabel, {166, 284, 60, 16}}, {&o.linkDecoration, {90, 142, 81, 50}}};
    // clang-format on
    for (const auto& [component, bounds] : expected)
        EXPECT_EQ (component->getBounds(), bounds) << component->getBounds().toString();

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

    // At sizes the framework may give, no child gets a negative size and painting does not fail.
    const std::function<bool (juce::Component&)> nothingNegative = [&] (juce::Component& c) {
        return c.getWidth() >= 0 && c.getHeight() >= 0 && std::all_of (c.getChildren().begin(), c.getChildren().end(), [&] (auto* child) { return nothingNegative (*child); });
    };
    for (auto [w, h] : { std::pair (0, 0), { 7, 90 }, { 801, 521 }, { 2000, 84 } })
    {
        main.setBounds (0, 0, w, h);
        EXPECT_TRUE (nothingNegative (main)) << w << " x " << h;
        testutil::render (main);
    }
}

TEST (PanelLayout, OneSharedTooltipWindowOwnedByTheNewestMainView)
{
    for (bool newerGoesFirst : { true, false })
    {
        auto older = std::make_unique<plb::MainView>(), newer = std::make_unique<plb::MainView>();
        juce::Component::SafePointer<juce::TooltipWindow> tip (&older->tooltipWindow.get());
        EXPECT_EQ (&newer->tooltipWindow.get(), tip.getComponent());
        EXPECT_EQ (tip->getParentComponent(), newer.get());
        EXPECT_EQ (older->getIndexOfChildComponent (tip), -1);
        // Closing one view keeps the window for the other; once the newest is gone it has no parent.
        (newerGoesFirst ? newer : older).reset();
        ASSERT_NE (tip, nullptr);
        EXPECT_EQ (tip->getParentComponent(), newerGoesFirst ? nullptr : newer.get());
        // The last view takes the window with it; the next view makes a new one.
        (newerGoesFirst ? older : newer).reset();
        EXPECT_EQ (tip, nullptr);
        plb::MainView next;
        EXPECT_EQ (next.tooltipWindow->getParentComponent(), &next);
    }
}
