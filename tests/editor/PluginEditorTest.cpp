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
constexpr juce::uint32 teal = 0xff28afb0, pink = 0xffd14081;

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

class EditorTest : public ::testing::Test
{
protected:
    using Editor = AudioPluginAudioProcessorEditor;

    void storePreferences (const juce::String& key, const juce::String& value)
    {
        auto file = plb::EditorController::createPreferencesFile();
        file->setValue (key, value);
        ASSERT_TRUE (file->save());
    }
    juce::String storedPreference (const juce::String& key) const { return plb::EditorController::createPreferencesFile()->getValue (key, "<none>"); }

    std::unique_ptr<Editor> open() { return std::unique_ptr<Editor> (dynamic_cast<Editor*> (processor.createEditor())); }
    static juce::uint32 accentOf (juce::Component& c) { return c.getLookAndFeel().findColour (juce::Slider::rotarySliderFillColourId).getARGB(); }
    juce::RangedAudioParameter& parameter (const juce::String& id) { return *processor.valueTreeState->getParameter (id); }

    TempHome home;
    AudioPluginAudioProcessor processor;
};
} // namespace

TEST_F (EditorTest, OpensAtTheStoredWidthKeptWithinLimitsAndStoresEachResize)
{
    const std::pair<std::optional<juce::String>, juce::Rectangle<int>> rows[] = {
        { {}, { 800, 520 } }, { "1024", { 1024, 665 } }, { "0", { 200, 130 } }, { "wide", { 200, 130 } }, { "100000", { 6400, 4160 } }
    };
    for (const auto& [stored, bounds] : rows)
    {
        SCOPED_TRACE (stored.value_or ("no file"));
        if (stored)
            storePreferences ("editor_width", *stored);
        EXPECT_EQ (open()->getBounds(), bounds);
    }

    // Resizing keeps the ratio, stops at 200 x 130 and stores each width, which closing writes.
    auto editor = open();
    for (auto [asked, expected] : { std::pair (juce::Rectangle<int> (1600, 300), juce::Rectangle<int> (1600, 1040)), { { 50, 30 }, { 200, 130 } } })
    {
        editor->setBoundsConstrained (asked);
        EXPECT_EQ (editor->getBounds(), expected);
    }
    editor.reset();
    EXPECT_EQ (storedPreference ("editor_width"), "200");
}

TEST_F (EditorTest, ThemesFromTheFileTheOptionsMenuAndMessages)
{
    storePreferences ("theme", "purple");
    auto editor = open();
    editor->controller.showOptionsMenu();
    juce::StringArray ticked;
    std::function<void()> chooseMagenta;
    for (juce::PopupMenu::MenuItemIterator it (*editor->controller.optionsMenu, true); it.next();)
    {
        if (it.getItem().isTicked)
            ticked.add (it.getItem().text);
        if (it.getItem().text == "MAGENTA")
            chooseMagenta = it.getItem().action;
    }
    EXPECT_EQ (ticked.joinIntoString (","), "SLATE BLUE");
    chooseMagenta();
    EXPECT_EQ (storedPreference ("theme"), "pink");
    juce::PopupMenu::dismissAllActiveMenus();
    testutil::pumpMessages (30);
    EXPECT_EQ (accentOf (editor->mainView), pink);

    // Only "theme <key>" with a single blank and a known key changes the theme.
    for (auto [message, accent] :
         { std::pair ("theme  teal", pink), { "theme teal", teal }, { "theme Pink", teal }, { "theme \"pink\"", teal }, { "theme pink extra", pink } })
    {
        editor->handleThemeMessage (message);
        EXPECT_EQ (accentOf (editor->mainView), accent) << message;
        EXPECT_EQ (accentOf (*editor), accent) << message;
    }

    // A theme message still queued when the editor closes is dropped.
    editor->controller.selectTheme ("red");
    editor.reset();
    testutil::pumpMessages (30);
    EXPECT_EQ (storedPreference ("theme"), "red");
}

// Closing while a menu is open takes it off the screen; no item can call into the closed editor.
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
// bands' knobs show the new values and the time controls follow the sync within one tick.
// INIT ALL CONTROLS brings every parameter back to its default, again in whole gestures.
TEST_F (EditorTest, RandomiseAndInitialise)
{
    auto editor = open();
    auto& view = editor->mainView;
    std::vector<std::pair<juce::String, juce::Slider*>> sliders;
    for (auto [band, prefix] : { std::pair (view.bandViews[0], "low"), { view.bandViews[1], "high" } })
    {
        juce::Slider* const knobs[] = { &band->timeKnob, &band->feedKnob, &band->dampKnob, &band->shiftKnob, &band->windowSlider, &band->panKnob };
        const char* const names[] = { "time", "feed", "damp", "pitch", "pitchwindow", "pan" };
        for (size_t i = 0; i < 6; ++i)
            sliders.emplace_back (prefix + juce::String (names[i]), knobs[i]);
    }

    const juce::StringArray kept { "lowamp", "highamp", "amp", "drywet", "lowmute", "highmute" };
    const auto values = [this] {
        std::vector<float> v;
        for (auto* p : processor.getParameters())
            v.push_back (p->getValue());
        return v;
    };
    const auto defaults = values();
    GestureLog log (processor);
    std::set<bool> syncSeen;
    for (int click = 0; click < 40; ++click)
    {
        log.events.clear();
        view.footerView.randomButton.onClick();
        editor->controller.timerCallback();
        for (auto* p : processor.getParameters())
        {
            const auto& id = dynamic_cast<juce::RangedAudioParameter&> (*p).paramID;
            const auto index = p->getParameterIndex();
            EXPECT_EQ (log.events[index], kept.contains (id) ? "" : "bve") << id;
            EXPECT_TRUE (! kept.contains (id) || p->getValue() == defaults[(size_t) index]) << id;
        }
        for (auto [id, slider] : sliders)
            EXPECT_NEAR (parameter (id).convertTo0to1 ((float) slider->getValue()), parameter (id).getValue(), 1.0e-3f) << id;
        for (auto [band, id] : { std::pair (view.bandViews[0], "lowtimesync"), { view.bandViews[1], "hightimesync" } })
        {
            const auto synced = parameter (id).getValue() >= 0.5f;
            syncSeen.insert (synced);
            EXPECT_TRUE (band->timeKnob.isEnabled() != synced && band->syncedTimeBox.isEnabled() == synced) << id;
        }
    }
    EXPECT_EQ (syncSeen.size(), 2u);

    log.events.clear();
    editor->controller.initAllControls();
    EXPECT_EQ (values(), defaults);
    for (auto* p : processor.getParameters())
        EXPECT_EQ (log.events[p->getParameterIndex()], "bve");
}

TEST_F (EditorTest, ValueTextsItemsAndTheTypeface)
{
    auto editor = open();
    auto& view = editor->mainView;
    for (auto [value, text] : { std::pair (12.0, "+12"), { 0.0, "0" }, { -7.0, "-7" }, { -0.4, "0" } })
        EXPECT_EQ (view.bandViews[1]->shiftKnob.getTextFromValue (value), text);

    const auto items = [] (juce::ComboBox& box) {
        juce::StringArray texts;
        for (int i = 0; i < box.getNumItems(); ++i)
            texts.add (box.getItemText (i));
        return texts.joinIntoString (",");
    };
    EXPECT_EQ (items (view.outputView.delayTypeBox), "REPITCH,XFADE");
    EXPECT_EQ (items (view.outputView.pitchRoutingBox), "BYPASS,PRE,POST");
    EXPECT_TRUE (items (view.bandViews[1]->syncedTimeBox).startsWith ("1 BAR,1/2D,")) << items (view.bandViews[1]->syncedTimeBox);
    view.outputView.pitchRoutingBox.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_EQ (parameter ("pitchstage").getCurrentValueAsText(), "INACTIVE");

    // The embedded typeface reaches text drawn through the framework's default look-and-feel too.
    editor.reset();
    EXPECT_EQ (juce::Font (14.0f).getTypefacePtr()->getName(), "Roboto");
}

// NEXT and PREVIOUS wrap around; an index the list no longer reaches is brought back into it;
// an empty folder moves nothing.
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

    struct Step
    {
        int from;
        juce::Button* button;
        int to;
        float lowtimeMs;
    };
    for (auto s : { Step { -1, &footer.nextButton, 0, 10 }, Step { -1, &footer.previousButton, 2, 30 }, Step { 2, &footer.nextButton, 0, 10 },
                    Step { 0, &footer.previousButton, 2, 30 }, Step { 2, &footer.previousButton, 1, 20 }, Step { 5, &footer.nextButton, 0, 10 },
                    Step { 5, &footer.previousButton, 2, 30 } })
    {
        manager.currentPresetIndex = s.from;
        s.button->onClick();
        EXPECT_EQ (manager.currentPresetIndex, s.to) << s.from;
        EXPECT_EQ (processor.valueTreeState->getRawParameterValue ("lowtime")->load(), s.lowtimeMs) << s.from;
    }

    home.presetFolder().deleteRecursively();
    manager.rebuildPresetMenu();
    footer.nextButton.onClick();
    footer.previousButton.onClick();
    EXPECT_EQ (manager.currentPresetIndex, 2);
}
