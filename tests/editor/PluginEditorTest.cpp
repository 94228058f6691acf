#include "editor/PluginEditor.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace
{
constexpr juce::uint32 teal = 0xff28afb0, pink = 0xffd14081;

// Records, per parameter index, the order of gesture starts (b), value changes (v) and gesture ends (e).
struct GestureLog : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { events[index] += "v"; }
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override { events[index] += "b"; }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override { events[index] += "e"; }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    std::map<int, juce::String> events;
};

// A press, a long drag down and to the left and a release, as the mouse delivers them:
// knobs follow the vertical part, the value box the horizontal.
void dragDown (juce::Component& c)
{
    const auto source = juce::Desktop::getInstance().getMainMouseSource();
    const juce::Point<float> from (c.getWidth() / 2.0f, c.getHeight() / 2.0f);
    const auto now = juce::Time::getCurrentTime();
    const auto event = [&] (juce::Point<float> at, juce::ModifierKeys mods, bool dragged) {
        return juce::MouseEvent (source, at, mods, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &c, &c, now, from, now, 1, dragged);
    };
    const juce::ModifierKeys left (juce::ModifierKeys::leftButtonModifier);
    c.mouseDown (event (from, left, false));
    for (float d = 20.0f; d <= 600.0f; d += 20.0f)
        c.mouseDrag (event (from.translated (-d, d), left, true));
    c.mouseUp (event (from.translated (-600.0f, 600.0f), {}, true));
}

class EditorTest : public ::testing::Test
{
protected:
    void storePreference (const juce::String& key, const juce::String& value)
    {
        auto file = plb::EditorController::createPreferencesFile();
        file->setValue (key, value);
        ASSERT_TRUE (file->save());
    }
    juce::String storedPreference (const juce::String& key) const { return plb::EditorController::createPreferencesFile()->getValue (key); }

    using Editor = AudioPluginAudioProcessorEditor;
    std::unique_ptr<Editor> open() { return std::unique_ptr<Editor> (dynamic_cast<Editor*> (processor.createEditor())); }
    static juce::uint32 accentOf (juce::Component& c) { return c.getLookAndFeel().findColour (juce::Slider::rotarySliderFillColourId).getARGB(); }
    juce::RangedAudioParameter& parameter (const juce::String& id) { return *processor.valueTreeState->getParameter (id); }

    TempHome home;
    AudioPluginAudioProcessor processor;
};
} // namespace

TEST_F (EditorTest, WindowSizeValueTextsAndTypeface)
{
    // The stored width, kept within 200 and 6400 (no file: 800), and a height of 0.65 times it.
    for (auto [stored, width, height] : { std::tuple ("", 800, 520), { "1024", 1024, 665 }, { "0", 200, 130 }, { "wide", 200, 130 }, { "100000", 6400, 4160 } })
    {
        if (*stored != 0)
            storePreference ("editor_width", stored);
        EXPECT_EQ (open()->getBounds(), juce::Rectangle<int> (width, height)) << stored;
    }

    // Resizing keeps the ratio, stops at 200 x 130 and stores each width, which closing writes.
    auto editor = open();
    for (auto [asked, expected] : { std::pair (juce::Rectangle<int> (1600, 300), juce::Rectangle<int> (1600, 1040)), { { 50, 30 }, { 200, 130 } } })
    {
        editor->setBoundsConstrained (asked);
        EXPECT_EQ (editor->getBounds(), expected);
    }

    auto& view = editor->mainView;
    for (auto [value, text] : { std::pair (12.0, "+12"), { 0.0, "0" }, { -7.0, "-7" }, { -0.4, "0" } })
        EXPECT_EQ (view.bandViews[1]->shiftKnob.getTextFromValue (value), text);
    EXPECT_EQ (view.outputView.pitchRoutingBox.getItemText (1), "PRE");
    EXPECT_EQ (view.bandViews[1]->syncedTimeBox.getItemText (0), "1 BAR");

    editor.reset();
    EXPECT_EQ (storedPreference ("editor_width"), "200");
    // Closing writes the file even when nothing changed since it was read.
    const auto file = plb::EditorController::createPreferencesFile()->getFile();
    editor = open();
    ASSERT_TRUE (file.deleteFile());
    editor.reset();
    EXPECT_TRUE (file.existsAsFile());
    // The embedded typeface reaches text drawn through the framework's default look-and-feel too.
    EXPECT_EQ (juce::Font (14.0f).getTypefacePtr()->getName(), "Roboto");
}

TEST_F (EditorTest, ThemesFromTheFileTheOptionsMenuAndMessages)
{
    storePreference ("theme", "purple");
    auto editor = open();
    const auto purple = accentOf (editor->mainView);

    // Only "theme <key>" with a single blank and a known key changes the theme.
    for (auto [message, accent] :
         { std::pair ("theme  teal", purple), { "theme teal", teal }, { "theme Pink", teal }, { "theme \"pink\"", teal }, { "theme pink extra", pink } })
    {
        editor->handleThemeMessage (message);
        EXPECT_EQ (accentOf (editor->mainView), accent) << message;
    }

    // The theme in force again: no look-and-feel notification.
    struct Probe : juce::Component
    {
        void lookAndFeelChanged() override { ++changes; }
        int changes = 0;
    } probe;
    editor->mainView.footerView.addChildComponent (probe);
    editor->handleThemeMessage ("theme pink");
    EXPECT_EQ (probe.changes, 0);
    editor->mainView.footerView.removeChildComponent (&probe);

    // The menu ticks the stored theme, greys the about line and stores the theme chosen.
    editor->controller.showOptionsMenu();
    juce::StringArray ticked, disabled;
    for (juce::PopupMenu::MenuItemIterator it (*editor->controller.optionsMenu, true); it.next();)
    {
        if (it.getItem().isTicked)
            ticked.add (it.getItem().text);
        if (! it.getItem().isEnabled)
            disabled.add (juce::String (it.getItem().itemID) + " " + it.getItem().text);
        if (it.getItem().text == "MAGENTA")
            it.getItem().action();
    }
    EXPECT_EQ (ticked.joinIntoString (","), "SLATE BLUE");
    EXPECT_EQ (disabled.joinIntoString (","), "-10 Quenmar Works Corvantide v1.0.0");
    EXPECT_EQ (storedPreference ("theme"), "pink");

    // Closing drops a theme message still queued.
    juce::PopupMenu::dismissAllActiveMenus();
    editor->controller.selectTheme ("red");
    editor.reset();
    testutil::pumpMessages (30);
    EXPECT_EQ (storedPreference ("theme"), "red");
}

// Every parameter moves its control when the host sets it, and the user's change on each control reaches
// the host as one gesture: a drag for a slider, a click for a button, a choice in a box.
TEST_F (EditorTest, EveryParameterMovesItsControlAndEachControlSendsOneGesture)
{
    auto editor = open();
    auto& v = editor->mainView;
    std::map<juce::String, juce::Component*> controls { { "cutoff", &v.bandSplitterView.cutoffKnob }, { "res", &v.bandSplitterView.resonanceKnob }, { "diffusion", &v.outputView.diffusionKnob }, { "amp", &v.outputView.ampKnob }, { "drywet", &v.outputView.dryWetKnob }, { "driftdepth", &v.outputView.driftKnob }, { "driftrate", &v.outputView.rateKnob }, { "delaymode", &v.outputView.delayTypeBox }, { "pitchstage", &v.outputView.pitchRoutingBox } };
    for (auto [band, prefix] : { std::pair (v.bandViews[0], juce::String ("low")), { v.bandViews[1], juce::String ("high") } })
        for (auto [name, control] : std::initializer_list<std::pair<const char*, juce::Component*>> {
                 { "time", &band->timeKnob }, { "feed", &band->feedKnob }, { "damp", &band->dampKnob }, { "pitch", &band->shiftKnob }, { "pitchwindow", &band->windowSlider }, { "amp", &band->ampKnob }, { "pan", &band->panKnob }, { "mute", &band->muteButton }, { "timesync", &band->timeSyncButton }, { "syncedtime", &band->syncedTimeBox } })
            controls[prefix + name] = control;

    GestureLog log;
    processor.addListener (&log);
    for (auto* p : processor.getParameters())
    {
        const auto& id = dynamic_cast<juce::RangedAudioParameter&> (*p).paramID;
        auto* slider = dynamic_cast<juce::Slider*> (controls[id]);
        auto* button = dynamic_cast<juce::Button*> (controls[id]);
        auto* box = dynamic_cast<juce::ComboBox*> (controls[id]);
        ASSERT_TRUE (slider != nullptr || button != nullptr || box != nullptr) << id;
        p->setValueNotifyingHost (1.0f);
        const auto shown = slider != nullptr ? slider->valueToProportionOfLength (slider->getValue())
                                             : (button != nullptr ? button->getToggleState() : box->getSelectedItemIndex() == box->getNumItems() - 1);
        EXPECT_NEAR (shown, 1.0, 1.0e-6) << id;

        log.events.clear();
        if (slider != nullptr)
            dragDown (*slider);
        else if (button != nullptr)
            button->setToggleState (false, juce::sendNotificationSync);
        else
            box->setSelectedItemIndex (0, juce::sendNotificationSync);
        const auto onlyThis = log.events.size() == 1;
        const auto events = log.events[p->getParameterIndex()];
        EXPECT_TRUE (onlyThis && events.startsWith ("bv") && events.endsWith ("ve") && events.removeCharacters ("v") == "be") << id << " " << events;
    }
    processor.removeListener (&log);

    auto& amp = parameter ("amp");
    EXPECT_EQ (v.outputView.ampKnob.getTextFromValue (0.0), amp.getText (amp.convertTo0to1 (0.0f), 0) + " dB");
    v.outputView.delayTypeBox.setSelectedId (2, juce::sendNotificationSync);
    EXPECT_EQ (parameter ("delaymode").getCurrentValueAsText(), "SMOOTH");
    editor->controller.timerCallback();
    EXPECT_EQ (v.footerView.presetNameButton.getButtonText(), "INIT");
}

// Closing with a menu open takes it off the screen, so no item can call into the closed editor.
TEST_F (EditorTest, ClosingWithAMenuOpenTakesTheMenuAway)
{
    auto* modal = juce::ModalComponentManager::getInstance();
    for (auto showMenu : { +[] (Editor& e) { e.controller.showOptionsMenu(); }, +[] (Editor& e) { e.mainView.footerView.presetNameButton.onClick(); } })
    {
        auto editor = open();
        showMenu (*editor);
        EXPECT_EQ (modal->getNumModalComponents(), 1);
        editor.reset();
        testutil::pumpMessages (30);
        EXPECT_EQ (modal->getNumModalComponents(), 0);
    }
}

// Randomise moves all but the levels, the mutes and dry/wet, each in one whole gesture; the
// bands' knobs show the new values and their time controls follow the sync within one tick.
// INIT ALL CONTROLS brings every parameter back to its default, again in whole gestures.
TEST_F (EditorTest, RandomiseAndInitialise)
{
    auto editor = open();
    const juce::StringArray kept { "lowamp", "highamp", "amp", "drywet", "lowmute", "highmute" };
    GestureLog log;
    processor.addListener (&log);
    std::set<bool> syncSeen;
    for (int click = 0; click < 40; ++click)
    {
        log.events.clear();
        editor->mainView.footerView.randomButton.onClick();
        editor->controller.timerCallback();
        for (auto* p : processor.getParameters())
        {
            const auto& id = dynamic_cast<juce::RangedAudioParameter&> (*p).paramID;
            EXPECT_EQ (log.events[p->getParameterIndex()], kept.contains (id) ? "" : "bve") << id;
            EXPECT_TRUE (! kept.contains (id) || p->getValue() == p->getDefaultValue()) << id;
        }
        for (auto [band, prefix] : { std::pair (editor->mainView.bandViews[0], "low"), { editor->mainView.bandViews[1], "high" } })
        {
            const auto synced = parameter (prefix + juce::String ("timesync")).getValue() >= 0.5f;
            syncSeen.insert (synced);
            EXPECT_TRUE (band->timeKnob.isEnabled() != synced && band->syncedTimeBox.isEnabled() == synced) << prefix;
            juce::Slider* const knobs[] = { &band->timeKnob, &band->feedKnob, &band->dampKnob, &band->shiftKnob, &band->windowSlider, &band->panKnob };
            const char* const names[] = { "time", "feed", "damp", "pitch", "pitchwindow", "pan" };
            for (size_t i = 0; i < 6; ++i)
                EXPECT_NEAR (knobs[i]->valueToProportionOfLength (knobs[i]->getValue()), parameter (prefix + juce::String (names[i])).getValue(), 1.0e-3)
                    << prefix << names[i];
        }
    }
    EXPECT_EQ (syncSeen.size(), 2u);

    log.events.clear();
    editor->controller.initAllControls();
    for (auto* p : processor.getParameters())
        EXPECT_TRUE (log.events[p->getParameterIndex()] == "bve" && p->getValue() == p->getDefaultValue()) << p->getName (64);
    processor.removeListener (&log);
}

// NEXT and PREVIOUS wrap around, an index the list no longer reaches is brought back into it,
// and an empty folder moves nothing.
TEST_F (EditorTest, PresetNavigationWraps)
{
    auto editor = open();
    auto& manager = *processor.presetManager;
    auto& footer = editor->mainView.footerView;
    auto& lowtime = parameter ("lowtime");
    for (auto [name, ms] : { std::pair ("a", 10.0f), { "b", 20.0f }, { "c", 30.0f } })
    {
        lowtime.setValueNotifyingHost (lowtime.convertTo0to1 (ms));
        manager.writePresetFile (home.presetFolder().getChildFile (juce::String (name) + ".cvp"));
    }
    manager.rebuildPresetMenu();
    ASSERT_EQ (manager.presetFiles.size(), 3u);

    // From, step (+1 NEXT, -1 PREVIOUS), to, and the preset's LOW TIME.
    const int steps[][4] = { { -1, 1, 0, 10 }, { -1, -1, 2, 30 }, { 2, 1, 0, 10 }, { 0, -1, 2, 30 }, { 2, -1, 1, 20 }, { 5, 1, 0, 10 }, { 5, -1, 2, 30 } };
    for (auto [from, step, to, ms] : steps)
    {
        manager.currentPresetIndex = from;
        (step > 0 ? footer.nextButton : footer.previousButton).onClick();
        EXPECT_EQ (manager.currentPresetIndex, to) << from << " " << step;
        EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), (float) ms) << from << " " << step;
    }

    // A file that fails to load moves the index and keeps the name and the values.
    home.presetFolder().getChildFile ("d.cvp").replaceWithText ("not a preset");
    manager.rebuildPresetMenu();
    footer.nextButton.onClick();
    EXPECT_EQ (juce::String (manager.currentPresetIndex) + " " + manager.currentPresetName, "3 c");
    EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), 30.0f);

    home.presetFolder().deleteRecursively();
    manager.rebuildPresetMenu();
    editor->controller.timerCallback();
    footer.nextButton.onClick();
    footer.previousButton.onClick();
    editor->controller.timerCallback();
    EXPECT_EQ (juce::String (manager.currentPresetIndex) + " " + footer.presetNameButton.getButtonText(), "3 c");
}
