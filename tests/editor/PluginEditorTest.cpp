#include "editor/PluginEditor.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

namespace
{
constexpr juce::uint32 blue = 0xff2660a4, teal = 0xff28afb0, pink = 0xffd14081;

// Records, per parameter index, the order of gesture starts (b), value changes (v) and gesture ends (e).
struct GestureLog : juce::AudioProcessorParameter::Listener
{
    explicit GestureLog (juce::AudioProcessor& p)
        : processor (p)
    {
        for (auto* parameter : processor.getParameters())
            parameter->addListener (this);
    }
    ~GestureLog() override
    {
        for (auto* parameter : processor.getParameters())
            parameter->removeListener (this);
    }
    void parameterValueChanged (int index, float) override { events[index] += "v"; }
    void parameterGestureChanged (int index, bool starting) override { events[index] += starting ? "b" : "e"; }

    juce::AudioProcessor& processor;
    std::map<int, juce::String> events;
};

struct LookAndFeelProbe : juce::Component
{
    void lookAndFeelChanged() override { ++changes; }
    int changes = 0;
};

// The control that each parameter is attached to, found by the captions' members.
struct Control
{
    juce::Slider* slider = nullptr;
    juce::Button* button = nullptr;
    juce::ComboBox* box = nullptr;
};

std::map<juce::String, Control> controlsOf (plb::MainView& view)
{
    std::map<juce::String, Control> controls;
    for (auto [band, prefix] : { std::pair (view.bandViews[0], "low"), { view.bandViews[1], "high" } })
    {
        const juce::String p (prefix);
        controls[p + "time"].slider = &band->timeKnob;
        controls[p + "feed"].slider = &band->feedKnob;
        controls[p + "damp"].slider = &band->dampKnob;
        controls[p + "pitch"].slider = &band->shiftKnob;
        controls[p + "pitchwindow"].slider = &band->windowSlider;
        controls[p + "amp"].slider = &band->ampKnob;
        controls[p + "pan"].slider = &band->panKnob;
        controls[p + "mute"].button = &band->muteButton;
        controls[p + "timesync"].button = &band->timeSyncButton;
        controls[p + "syncedtime"].box = &band->syncedTimeBox;
    }
    auto& out = view.outputView;
    controls["cutoff"].slider = &view.bandSplitterView.cutoffKnob;
    controls["res"].slider = &view.bandSplitterView.resonanceKnob;
    controls["diffusion"].slider = &out.diffusionKnob;
    controls["amp"].slider = &out.ampKnob;
    controls["drywet"].slider = &out.dryWetKnob;
    controls["driftdepth"].slider = &out.driftKnob;
    controls["driftrate"].slider = &out.rateKnob;
    controls["delaymode"].box = &out.delayTypeBox;
    controls["pitchstage"].box = &out.pitchRoutingBox;
    return controls;
}

// A press, a long drag down and to the left and a release, as the mouse
// delivers them: knobs follow the vertical part, the value box the horizontal.
void dragDown (juce::Component& c)
{
    const auto source = juce::Desktop::getInstance().getMainMouseSource();
    const juce::Point<float> from (c.getWidth() / 2.0f, c.getHeight() / 2.0f);
    const auto now = juce::Time::getCurrentTime();
    const auto event = [&] (juce::Point<float> at, juce::ModifierKeys mods, bool dragged) {
        return juce::MouseEvent (source, at, mods, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &c, &c, now, from, now, 1, dragged);
    };
    const auto left = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
    c.mouseDown (event (from, left, false));
    for (float dy = 20.0f; dy <= 600.0f; dy += 20.0f)
        c.mouseDrag (event (from.translated (-dy, dy), left, true));
    c.mouseUp (event (from.translated (-600.0f, 600.0f), {}, true));
}

class EditorTest : public ::testing::Test
{
protected:
    using Editor = AudioPluginAudioProcessorEditor;

    juce::File preferencesFile() const { return home.folder.getChildFile ("Quenmar_Works/Corvantide.prefs"); }

    void storePreferences (const std::map<juce::String, juce::String>& values)
    {
        auto file = plb::EditorController::createPreferencesFile();
        for (const auto& [key, value] : values)
            file->setValue (key, value);
        ASSERT_TRUE (file->save());
    }

    juce::String storedPreference (const juce::String& key) const
    {
        return plb::EditorController::createPreferencesFile()->getValue (key, "<none>");
    }

    std::unique_ptr<Editor> open() { return std::unique_ptr<Editor> (dynamic_cast<Editor*> (processor.createEditor())); }

    static juce::uint32 accentOf (juce::Component& c) { return c.getLookAndFeel().findColour (juce::Slider::rotarySliderFillColourId).getARGB(); }

    juce::RangedAudioParameter& parameter (const juce::String& id) { return *processor.valueTreeState->getParameter (id); }

    TempHome home;
    AudioPluginAudioProcessor processor;
};
} // namespace

TEST_F (EditorTest, OpensAtTheStoredWidthKeptWithinLimits)
{
    struct Row
    {
        std::optional<juce::String> stored;
        int width, height;
    };
    const Row rows[] = { { {}, 800, 520 }, { "1200", 1200, 780 }, { "1024", 1024, 665 }, { "803", 803, 521 }, { "0", 200, 130 }, { "-40", 200, 130 }, { "wide", 200, 130 }, { "100000", 6400, 4160 } };
    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.stored.value_or ("no file"));
        preferencesFile().deleteFile();
        if (row.stored)
            storePreferences ({ { "editor_width", *row.stored } });

        auto editor = open();
        EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, row.width, row.height));
        EXPECT_EQ (editor->mainView.getBounds(), juce::Rectangle<int> (0, 0, 800, 520));
        EXPECT_FLOAT_EQ (editor->mainView.getTransform().mat00, (float) row.width / 800.0f);
        EXPECT_FLOAT_EQ (editor->mainView.getTransform().mat11, (float) row.width / 800.0f);
        EXPECT_EQ (editor->controller.preferences->getIntValue ("editor_width"), row.width);
    }

    // Resizing keeps the ratio, stops at 200 x 130 and stores each width.
    auto editor = open();
    for (auto [asked, expected] : { std::pair (juce::Rectangle<int> (0, 0, 1000, 650), juce::Rectangle<int> (0, 0, 1000, 650)),
                                    { { 0, 0, 1600, 300 }, { 0, 0, 1600, 1040 } },
                                    { { 0, 0, 50, 30 }, { 0, 0, 200, 130 } } })
    {
        editor->setBoundsConstrained (asked);
        EXPECT_EQ (editor->getBounds(), expected);
        EXPECT_EQ (editor->controller.preferences->getIntValue ("editor_width"), expected.getWidth());
    }
    // Closing writes the file, even when nothing changed since it was read.
    editor.reset();
    EXPECT_EQ (storedPreference ("editor_width"), "200");
    editor = open();
    ASSERT_TRUE (preferencesFile().deleteFile());
    editor.reset();
    EXPECT_EQ (storedPreference ("editor_width"), "200");
}

TEST_F (EditorTest, ThemeMessagesAndTheStoredTheme)
{
    // A stored key that is no theme leaves the framework's look-and-feel in force.
    for (auto [stored, accent] : { std::pair ("pink", pink), { "Teal", juce::LookAndFeel_V4().findColour (juce::Slider::rotarySliderFillColourId).getARGB() } })
    {
        storePreferences ({ { "theme", stored } });
        auto editor = open();
        EXPECT_EQ (accentOf (editor->mainView), accent) << stored;
        EXPECT_EQ (&editor->getLookAndFeel(), &editor->mainView.getLookAndFeel());
    }

    preferencesFile().deleteFile();
    auto editor = open();
    LookAndFeelProbe probe;
    editor->mainView.footerView.addChildComponent (probe);
    EXPECT_EQ (accentOf (probe), blue);

    const std::pair<const char*, juce::uint32> messages[] = { { "theme teal", teal }, { "theme pink extra words", pink }, { "theme  teal", pink }, { "theme orange", pink }, { "theme Teal", pink }, { "themes teal", pink }, { "theme ", pink }, { "theme \"teal\"", pink }, { "theme teal", teal } };
    int expectedChanges = 0;
    for (auto [message, accent] : messages)
    {
        const auto before = accentOf (probe);
        editor->handleThemeMessage (message);
        // The editor's change reaches the probe, then the main view's.
        expectedChanges += accent != before ? 2 : 0;
        EXPECT_EQ (accentOf (probe), accent) << message;
        EXPECT_EQ (accentOf (*editor), accent) << message;
        EXPECT_EQ (probe.changes, expectedChanges) << message;
    }
    // The theme in force again: no notification.
    editor->handleThemeMessage ("theme teal");
    EXPECT_EQ (probe.changes, expectedChanges);
    editor->mainView.footerView.removeChildComponent (&probe);

    // A theme message still queued when the editor closes is dropped.
    editor->controller.selectTheme ("red");
    editor.reset();
    testutil::pumpMessages (30);
    EXPECT_EQ (storedPreference ("theme"), "red");
}

TEST_F (EditorTest, EveryParameterMovesItsControlAndEveryControlSendsOneGesture)
{
    auto editor = open();
    auto controls = controlsOf (editor->mainView);
    GestureLog log (processor);
    ASSERT_EQ (processor.getParameters().size(), 29);

    for (auto* p : processor.getParameters())
    {
        auto& ranged = dynamic_cast<juce::RangedAudioParameter&> (*p);
        const auto& id = ranged.paramID;
        SCOPED_TRACE (id);
        ASSERT_EQ (controls.count (id), 1u);
        const auto& c = controls[id];

        ranged.setValueNotifyingHost (1.0f);
        if (c.slider != nullptr)
        {
            EXPECT_DOUBLE_EQ (c.slider->getValue(), ranged.convertFrom0to1 (1.0f));
        }
        else if (c.button != nullptr)
        {
            EXPECT_TRUE (c.button->getToggleState());
        }
        else
        {
            EXPECT_EQ (c.box->getSelectedItemIndex(), c.box->getNumItems() - 1);
        }

        // Then the user takes the control down: a drag for a slider, a click or a choice otherwise.
        log.events.clear();
        if (c.slider != nullptr)
            dragDown (*c.slider);
        else if (c.button != nullptr)
            c.button->setToggleState (false, juce::sendNotificationSync);
        else
            c.box->setSelectedItemIndex (0, juce::sendNotificationSync);
        ASSERT_EQ (log.events.size(), 1u);
        const auto& events = log.events[ranged.getParameterIndex()];
        EXPECT_TRUE (events.startsWith ("bv") && events.endsWith ("ve") && events.substring (1, events.length() - 1).containsOnly ("v")) << events;
        EXPECT_LT (ranged.getValue(), 1.0f);
    }
}

TEST_F (EditorTest, ValueTextsItemsAndTheTimer)
{
    auto editor = open();
    auto& view = editor->mainView;
    auto& low = *view.bandViews[0];

    for (auto [value, text] : { std::pair (12.0, "+12"), { 0.0, "0" }, { -7.0, "-7" }, { 2.5, "+2" }, { -0.4, "0" } })
        EXPECT_EQ (view.bandViews[1]->shiftKnob.getTextFromValue (value), text);
    auto& amp = parameter ("amp");
    EXPECT_EQ (view.outputView.ampKnob.getTextFromValue (0.0), amp.getText (amp.convertTo0to1 (0.0f), 0) + " dB");
    EXPECT_EQ (low.timeKnob.getTextFromValue (60.0), "60 ms");

    const auto items = [] (juce::ComboBox& box) {
        juce::StringArray texts;
        for (int i = 0; i < box.getNumItems(); ++i)
            texts.add (juce::String (box.getItemId (i)) + ":" + box.getItemText (i));
        return texts.joinIntoString (" ");
    };
    EXPECT_EQ (items (view.outputView.delayTypeBox), "1:REPITCH 2:XFADE");
    EXPECT_EQ (items (view.outputView.pitchRoutingBox), "1:BYPASS 2:PRE 3:POST");
    auto& synced = view.bandViews[1]->syncedTimeBox;
    EXPECT_EQ (synced.getNumItems(), 18);
    EXPECT_EQ (items (synced).startsWith ("1:1 BAR 2:1/2D ") && items (synced).endsWith (" 18:1/64"), true) << items (synced);

    view.outputView.delayTypeBox.setSelectedId (2, juce::sendNotificationSync);
    EXPECT_EQ (parameter ("delaymode").getCurrentValueAsText(), "SMOOTH");
    view.outputView.pitchRoutingBox.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_EQ (parameter ("pitchstage").getCurrentValueAsText(), "INACTIVE");

    // One tick after a change of time sync, only the control in use is enabled; both stay visible.
    EXPECT_TRUE (editor->controller.isTimerRunning() && editor->controller.getTimerInterval() == 100);
    EXPECT_EQ (view.footerView.presetNameButton.getButtonText(), "");
    for (auto sync : { true, false, true })
    {
        parameter ("lowtimesync").setValueNotifyingHost (sync ? 1.0f : 0.0f);
        editor->controller.timerCallback();
        EXPECT_EQ (low.timeKnob.isEnabled(), ! sync);
        EXPECT_EQ (low.syncedTimeBox.isEnabled(), sync);
        EXPECT_TRUE (low.timeKnob.isVisible() && low.syncedTimeBox.isVisible());
    }
    EXPECT_EQ (view.footerView.presetNameButton.getButtonText(), "INIT");

    // The embedded typeface reaches text drawn through the framework's default look-and-feel too.
    editor.reset();
    EXPECT_EQ (juce::Font (14.0f).getTypefacePtr()->getName(), "Roboto");
}

TEST_F (EditorTest, OptionsMenuThemesAndClosingWithMenusOpen)
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

    for (auto [stored, ticked] : { std::pair ("purple", "SLATE BLUE"), { "Teal", "" } })
    {
        storePreferences ({ { "theme", stored } });
        auto editor = open();
        editor->controller.showOptionsMenu();
        EXPECT_EQ (describe (*editor->controller.optionsMenu), menuWith (ticked));
        juce::PopupMenu::dismissAllActiveMenus();
    }

    // With no file, "MAGENTA" writes the file at once and re-skins the editor.
    ASSERT_TRUE (preferencesFile().deleteFile());
    auto editor = open();
    editor->controller.showOptionsMenu();
    EXPECT_EQ (describe (*editor->controller.optionsMenu), menuWith ("LAPIS LAZULI"));
    for (juce::PopupMenu::MenuItemIterator it (*editor->controller.optionsMenu, true); it.next();)
        if (it.getItem().text == "MAGENTA")
            it.getItem().action();
    EXPECT_EQ (storedPreference ("theme"), "pink");
    juce::PopupMenu::dismissAllActiveMenus();
    testutil::pumpMessages (30);
    EXPECT_EQ (accentOf (editor->mainView), pink);

    editor.reset();

    // Closing while a menu is open takes it off the screen; no item can call into the closed editor.
    auto* modal = juce::ModalComponentManager::getInstance();
    for (auto showMenu : { +[] (Editor& e) { e.controller.showOptionsMenu(); }, +[] (Editor& e) { e.mainView.footerView.presetNameButton.onClick(); } })
    {
        editor = open();
        showMenu (*editor);
        EXPECT_EQ (modal->getNumModalComponents(), 1);
        editor.reset();
        testutil::pumpMessages (30);
        EXPECT_EQ (modal->getNumModalComponents(), 0);
    }
}

TEST_F (EditorTest, RandomiseAndInitialise)
{
    auto editor = open();
    auto& controller = editor->controller;
    const juce::StringArray randomised { "driftrate", "driftdepth", "cutoff", "res", "lowtime", "hightime", "lowtimesync", "hightimesync",
                                         "lowsyncedtime", "highsyncedtime", "lowfeed", "highfeed", "lowdamp", "highdamp", "lowpitch", "highpitch",
                                         "lowpitchwindow", "highpitchwindow", "lowpan", "highpan", "diffusion", "pitchstage", "delaymode" };
    const auto values = [this] {
        std::vector<float> v;
        for (auto* p : processor.getParameters())
            v.push_back (p->getValue());
        return v;
    };
    const auto defaults = values();

    GestureLog log (processor);
    std::set<bool> syncSeen;
    auto previous = values();
    for (int click = 0; click < 40; ++click)
    {
        log.events.clear();
        editor->mainView.footerView.randomButton.onClick();
        const auto now = values();
        EXPECT_NE (now, previous);
        for (auto* p : processor.getParameters())
        {
            const auto& id = dynamic_cast<juce::RangedAudioParameter&> (*p).paramID;
            const auto index = p->getParameterIndex();
            EXPECT_EQ (log.events[index], randomised.contains (id) ? "bve" : "") << id;
            if (! randomised.contains (id))
            {
                EXPECT_EQ (now[(size_t) index], defaults[(size_t) index]) << id;
            }
        }
        previous = now;

        // The band's time controls follow a randomised sync within one tick.
        controller.timerCallback();
        for (auto [band, id] : { std::pair (editor->mainView.bandViews[0], "lowtimesync"), { editor->mainView.bandViews[1], "hightimesync" } })
        {
            const auto synced = parameter (id).getValue() >= 0.5f;
            syncSeen.insert (synced);
            EXPECT_EQ (band->timeKnob.isEnabled(), ! synced);
            EXPECT_EQ (band->syncedTimeBox.isEnabled(), synced);
        }
    }
    EXPECT_EQ (syncSeen.size(), 2u);

    log.events.clear();
    controller.initAllControls();
    EXPECT_EQ (values(), defaults);
    for (auto* p : processor.getParameters())
        EXPECT_EQ (log.events[p->getParameterIndex()], "bve");
    EXPECT_EQ (parameter ("hightimesync").getCurrentValueAsText(), "ON");
    EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), 60.0f);
    EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("drywet")->load(), 50.0f);
}

TEST_F (EditorTest, PresetNavigationWrapsAndSurvivesAShrinkingFolder)
{
    auto editor = open();
    auto& manager = *processor.presetManager;
    auto& footer = editor->mainView.footerView;
    const auto folder = home.presetFolder();
    auto& lowtime = parameter ("lowtime");
    for (auto [name, ms] : { std::pair ("a", 10.0f), { "b", 20.0f }, { "c", 30.0f } })
    {
        lowtime.setValueNotifyingHost (lowtime.convertTo0to1 (ms));
        manager.writePresetFile (folder.getChildFile (juce::String (name) + ".cvp"));
    }
    manager.rebuildPresetMenu();
    ASSERT_EQ (manager.presetFiles.size(), 3u);

    struct Step
    {
        int from;
        juce::Button* button;
        int to;
        const char* name;
        float lowtimeMs;
    };
    const auto walk = [&] (std::initializer_list<Step> steps) {
        for (const auto& s : steps)
        {
            manager.currentPresetIndex = s.from;
            s.button->onClick();
            EXPECT_EQ (manager.currentPresetIndex, s.to) << s.from;
            EXPECT_EQ (manager.currentPresetName, s.name) << s.from;
            EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), s.lowtimeMs) << s.from;
        }
    };
    walk ({ { -1, &footer.nextButton, 0, "a", 10 },
            { -1, &footer.previousButton, 2, "c", 30 },
            { 2, &footer.nextButton, 0, "a", 10 },
            { 0, &footer.previousButton, 2, "c", 30 },
            { 2, &footer.previousButton, 1, "b", 20 } });

    // A file that fails to load: the index moves, the name and the values stay.
    ASSERT_TRUE (folder.getChildFile ("d.cvp").replaceWithText ("not a preset"));
    manager.rebuildPresetMenu();
    walk ({ { 2, &footer.nextButton, 3, "b", 20 } });

    // Files removed behind the list's back: an index past the end is brought back into the list.
    for (auto name : { "c.cvp", "d.cvp" })
        folder.getChildFile (name).deleteFile();
    manager.rebuildPresetMenu();
    for (auto [button, to] : { std::pair (&footer.previousButton, 1), { &footer.nextButton, 0 } })
    {
        manager.currentPresetIndex = 3;
        button->onClick();
        EXPECT_EQ (manager.currentPresetIndex, to);
    }

    // An empty folder: nothing moves, and the button keeps its name.
    for (auto name : { "a.cvp", "b.cvp" })
        folder.getChildFile (name).deleteFile();
    manager.rebuildPresetMenu();
    editor->controller.timerCallback();
    const auto shown = footer.presetNameButton.getButtonText();
    for (auto* button : { &footer.nextButton, &footer.previousButton })
    {
        button->onClick();
        EXPECT_EQ (manager.currentPresetIndex, 0);
    }
    editor->controller.timerCallback();
    EXPECT_EQ (footer.presetNameButton.getButtonText(), shown);
}
