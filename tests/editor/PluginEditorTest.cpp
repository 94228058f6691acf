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
    // The stored width, kept within 200 and 6400 (no file: 800), and a height of 0.65 times it, truncated;
    // the view keeps its 800 x 520 layout, scaled by width / 800, and the width in force is the stored one.
    for (auto [stored, width, height] : { std::tuple ("", 800, 520), { "1200", 1200, 780 }, { "1024", 1024, 665 }, { "803", 803, 521 }, { "0", 200, 130 },
                                          { "-40", 200, 130 }, { "wide", 200, 130 }, { "100000", 6400, 4160 } })
    {
        SCOPED_TRACE (stored);
        if (*stored != 0)
            storePreference ("editor_width", stored);
        const auto opened = open();
        EXPECT_EQ (opened->getBounds(), juce::Rectangle<int> (width, height));
        EXPECT_EQ (opened->mainView.getBounds(), juce::Rectangle<int> (800, 520));
        EXPECT_FLOAT_EQ (opened->mainView.getTransform().mat00, (float) width / 800.0f);
        EXPECT_FLOAT_EQ (opened->mainView.getTransform().mat11, (float) width / 800.0f);
        EXPECT_EQ (opened->controller.preferences->getIntValue ("editor_width"), width);
    }

    // Resizing keeps the ratio, stops at 200 x 130 and stores each width, which closing writes.
    auto editor = open();
    for (auto [asked, expected] : { std::pair (juce::Rectangle<int> (1000, 650), juce::Rectangle<int> (1000, 650)), { { 1600, 300 }, { 1600, 1040 } }, { { 50, 30 }, { 200, 130 } } })
    {
        editor->setBoundsConstrained (asked);
        EXPECT_EQ (editor->getBounds(), expected);
        EXPECT_EQ (editor->controller.preferences->getIntValue ("editor_width"), expected.getWidth());
    }

    auto& view = editor->mainView;
    for (auto [value, text] : { std::pair (12.0, "+12"), { 0.0, "0" }, { -7.0, "-7" }, { 2.5, "+2" }, { -0.4, "0" } })
        EXPECT_EQ (view.bandViews[1]->shiftKnob.getTextFromValue (value), text);
    EXPECT_EQ (view.bandViews[0]->timeKnob.getTextFromValue (60.0), "60 ms");
    const auto items = [] (juce::ComboBox& box) {
        juce::StringArray texts;
        for (int i = 0; i < box.getNumItems(); ++i)
            texts.add (juce::String (box.getItemId (i)) + ":" + box.getItemText (i));
        return texts.joinIntoString (" ");
    };
    EXPECT_EQ (items (view.outputView.delayTypeBox), "1:REPITCH 2:XFADE");
    EXPECT_EQ (items (view.outputView.pitchRoutingBox), "1:BYPASS 2:PRE 3:POST");
    const auto synced = items (view.bandViews[1]->syncedTimeBox);
    EXPECT_EQ (view.bandViews[1]->syncedTimeBox.getNumItems(), 18);
    EXPECT_TRUE (synced.startsWith ("1:1 BAR 2:1/2D ") && synced.endsWith (" 18:1/64")) << synced;

    editor.reset();
    EXPECT_EQ (storedPreference ("editor_width"), "200");
    // Closing writes the file even when nothing changed since it was read.
    const auto file = plb::EditorController::createPreferencesFile()->getFile();
    editor = open();
    ASSERT_TRUE (file.deleteFile());
    editor.reset();
    EXPECT_TRUE (file.existsAsFile());
    EXPECT_EQ (storedPreference ("editor_width"), "200");
    // The embedded typeface reaches text drawn through the framework's default look-and-feel too.
    EXPECT_EQ (juce::Font (14.0f).getTypefacePtr()->getName(), "Roboto");
}

TEST_F (EditorTest, ThemesFromTheFileTheOptionsMenuAndMessages)
{
    const auto describe = [] (const juce::PopupMenu& menu) {
        juce::StringArray lines;
        for (juce::PopupMenu::MenuItemIterator it (menu, true); it.next();)
        {
            const auto& item = it.getItem();
            lines.add (juce::String (item.itemID) + " " + item.text + (item.isEnabled ? "" : " (disabled)") + (item.isTicked ? " (ticked)" : ""));
        }
        return lines.joinIntoString ("\n");
    };
    const auto menuWith = [] (const char* ticked) {
        juce::String themes;
        for (auto name : { "LAPIS LAZULI", "LIGHT SEA GREEN", "LIGHT GREEN", "SUNGLOW", "BURNT SIENNA", "MAGENTA", "SLATE BLUE" })
            themes << "\n-1 " << name << (juce::String (name) == ticked ? " (ticked)" : "");
        return "-1 INIT ALL CONTROLS\n0 THEME" + themes + "\n-1 SHOW PREFERENCES FILE\n-10 Quenmar Works Corvantide v1.0.0 (disabled)";
    };

    // A stored key that is no theme leaves the framework's look-and-feel in force and ticks nothing; no
    // file gives the blue theme, and a theme chosen there is stored at once and re-skins the editor.
    const auto frameworkAccent = juce::LookAndFeel_V4().findColour (juce::Slider::rotarySliderFillColourId).getARGB();
    for (auto [stored, accent, ticked] : { std::tuple ("Teal", frameworkAccent, ""), { "", 0xff2660a4u, "LAPIS LAZULI" } })
    {
        if (*stored != 0)
        {
            storePreference ("theme", stored);
        }
        else
        {
            ASSERT_TRUE (plb::EditorController::createPreferencesFile()->getFile().deleteFile());
        }
        auto editor = open();
        EXPECT_EQ (accentOf (editor->mainView), accent) << stored;
        EXPECT_EQ (&editor->getLookAndFeel(), &editor->mainView.getLookAndFeel());
        editor->controller.showOptionsMenu();
        EXPECT_EQ (describe (*editor->controller.optionsMenu), menuWith (ticked));
        for (juce::PopupMenu::MenuItemIterator it (*editor->controller.optionsMenu, true); it.next();)
            if (*stored == 0 && it.getItem().text == "MAGENTA")
                it.getItem().action();
        juce::PopupMenu::dismissAllActiveMenus();
        testutil::pumpMessages (30);
        EXPECT_EQ (accentOf (editor->mainView), *stored == 0 ? pink : accent);
        EXPECT_EQ (storedPreference ("theme"), *stored == 0 ? "pink" : stored);
    }

    storePreference ("theme", "purple");
    auto editor = open();
    const auto purple = accentOf (editor->mainView);
    struct Probe : juce::Component
    {
        void lookAndFeelChanged() override { ++changes; }
        int changes = 0;
    } probe;
    editor->mainView.footerView.addChildComponent (probe);

    // Only "theme <key>" with a single blank and a known key changes the theme, of the editor and of
    // everything in it: the editor's change reaches the probe, then the main view's.
    int expectedChanges = 0;
    for (auto [message, accent] : { std::pair ("theme  teal", purple), { "theme teal", teal }, { "theme Pink", teal }, { "theme \"pink\"", teal },
                                    { "theme orange", teal }, { "themes pink", teal }, { "theme ", teal }, { "theme pink extra", pink } })
    {
        expectedChanges += accent != accentOf (probe) ? 2 : 0;
        editor->handleThemeMessage (message);
        EXPECT_EQ (accentOf (editor->mainView), accent) << message;
        EXPECT_EQ (accentOf (*editor), accent) << message;
        EXPECT_EQ (probe.changes, expectedChanges) << message;
    }

    // The theme in force again: no look-and-feel notification.
    editor->handleThemeMessage ("theme pink");
    EXPECT_EQ (probe.changes, expectedChanges);
    editor->mainView.footerView.removeChildComponent (&probe);

    // The menu ticks the stored theme, greys the about line, and stores and applies the theme chosen.
    editor->controller.showOptionsMenu();
    EXPECT_EQ (describe (*editor->controller.optionsMenu), menuWith ("SLATE BLUE"));
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
    ASSERT_EQ (processor.getParameters().size(), 29);
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
        EXPECT_LT (p->getValue(), 1.0f) << id;
    }
    processor.removeListener (&log);

    auto& amp = parameter ("amp");
    EXPECT_EQ (v.outputView.ampKnob.getTextFromValue (0.0), amp.getText (amp.convertTo0to1 (0.0f), 0) + " dB");
    v.outputView.delayTypeBox.setSelectedId (2, juce::sendNotificationSync);
    EXPECT_EQ (parameter ("delaymode").getCurrentValueAsText(), "SMOOTH");
    v.outputView.pitchRoutingBox.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_EQ (parameter ("pitchstage").getCurrentValueAsText(), "INACTIVE");
    // The preset's name appears with the controller's first tick.
    EXPECT_EQ (v.footerView.presetNameButton.getButtonText(), "");
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
    // A tick every 100 ms; one tick after a change of time sync only the time control in use is enabled,
    // and both stay visible.
    EXPECT_TRUE (editor->controller.isTimerRunning() && editor->controller.getTimerInterval() == 100);
    auto& low = *editor->mainView.bandViews[0];
    for (auto sync : { true, false, true })
    {
        parameter ("lowtimesync").setValueNotifyingHost (sync ? 1.0f : 0.0f);
        editor->controller.timerCallback();
        EXPECT_TRUE (low.timeKnob.isEnabled() != sync && low.syncedTimeBox.isEnabled() == sync) << sync;
        EXPECT_TRUE (low.timeKnob.isVisible() && low.syncedTimeBox.isVisible());
    }
    parameter ("lowtimesync").setValueNotifyingHost (parameter ("lowtimesync").getDefaultValue());

    const juce::StringArray kept { "lowamp", "highamp", "amp", "drywet", "lowmute", "highmute" };
    const auto values = [this] {
        std::vector<float> v;
        for (auto* p : processor.getParameters())
            v.push_back (p->getValue());
        return v;
    };
    GestureLog log;
    processor.addListener (&log);
    std::set<bool> syncSeen;
    auto previous = values();
    for (int click = 0; click < 40; ++click)
    {
        log.events.clear();
        editor->mainView.footerView.randomButton.onClick();
        EXPECT_NE (values(), previous);
        previous = values();
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
    EXPECT_EQ (parameter ("hightimesync").getCurrentValueAsText(), "ON");
    EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), 60.0f);
    EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("drywet")->load(), 50.0f);
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

    // From, step (+1 NEXT, -1 PREVIOUS), to, and the preset's LOW TIME (a 10 ms, b 20 ms, c 30 ms).
    const int steps[][4] = { { -1, 1, 0, 10 }, { -1, -1, 2, 30 }, { 2, 1, 0, 10 }, { 0, -1, 2, 30 }, { 2, -1, 1, 20 }, { 5, 1, 0, 10 }, { 5, -1, 2, 30 } };
    for (auto [from, step, to, ms] : steps)
    {
        manager.currentPresetIndex = from;
        (step > 0 ? footer.nextButton : footer.previousButton).onClick();
        EXPECT_EQ (manager.currentPresetIndex, to) << from << " " << step;
        EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), (float) ms) << from << " " << step;
        EXPECT_EQ (manager.currentPresetName, juce::String::charToString ((juce::juce_wchar) ('a' + ms / 10 - 1))) << from << " " << step;
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
