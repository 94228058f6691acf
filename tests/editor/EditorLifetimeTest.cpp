#include "editor/PluginEditor.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

// A host may close the editor and delete the processor before its message loop
// runs again: whatever the menus, the dialog or the controller left in the
// queue must then find nothing to call into (the sanitizer build reports it).
namespace
{
using Editor = AudioPluginAudioProcessorEditor;

std::unique_ptr<Editor> openEditor (AudioPluginAudioProcessor& processor)
{
    return std::unique_ptr<Editor> (dynamic_cast<Editor*> (processor.createEditor()));
}

// Keys reach the menu window directly, as the framework hands them on.
void press (std::initializer_list<int> keys)
{
    for (auto key : keys)
        if (auto* window = juce::Component::getCurrentlyModalComponent())
            window->keyPressed (juce::KeyPress (key));
}

int modalCount() { return juce::ModalComponentManager::getInstance()->getNumModalComponents(); }

// Menu windows still on the desktop: how many show, and how many still use
// the look-and-feel that the editor gave them.
std::pair<int, int> shownAndEditorStyledMenuWindows (const juce::LookAndFeel& editorLook)
{
    std::pair<int, int> count;
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
    {
        if (auto* c = desktop.getComponent (i); c->getName() == "menu")
        {
            count.first += c->isVisible() ? 1 : 0;
            count.second += &c->getLookAndFeel() == &editorLook ? 1 : 0;
        }
    }
    return count;
}

const int down = juce::KeyPress::downKey, right = juce::KeyPress::rightKey, choose = juce::KeyPress::returnKey;

void showOptionsMenu (Editor& e) { e.mainView.footerView.menuButton.onClick(); }
void showPresetMenu (Editor& e) { e.mainView.footerView.presetNameButton.onClick(); }

class EditorLifetimeTest : public ::testing::Test
{
protected:
    // Two presets that differ from the defaults in LOW TIME.
    void writePresets (AudioPluginAudioProcessor& processor)
    {
        auto& manager = *processor.presetManager;
        auto& lowtime = *processor.valueTreeState->getParameter ("lowtime");
        for (auto [name, ms] : { std::pair ("a", 10.0f), { "b", 20.0f } })
        {
            lowtime.setValueNotifyingHost (lowtime.convertTo0to1 (ms));
            manager.writePresetFile (home.presetFolder().getChildFile (juce::String (name) + ".cvp"));
        }
        manager.currentPresetName = "INIT";
        lowtime.setValueNotifyingHost (lowtime.convertTo0to1 (300.0f));
    }

    static float lowtimeOf (AudioPluginAudioProcessor& processor) { return processor.valueTreeState->getRawParameterValue ("lowtime")->load(); }

    TempHome home;
};
} // namespace

TEST_F (EditorLifetimeTest, NothingQueuedReachesAnEditorOrProcessorThatIsGone)
{
    struct Case
    {
        const char* what;
        std::function<void (Editor&)> beforeClosing;
        int modalBeforeClosing; // a chosen item has ended its menu's modal state already
    };
    const Case cases[] = {
        { "options menu open", showOptionsMenu, 1 },
        { "options menu with its theme sub-menu open", [] (Editor& e) { showOptionsMenu (e); press ({ down, down, right }); }, 2 },
        { "INIT ALL CONTROLS chosen, its action queued", [] (Editor& e) { showOptionsMenu (e); press ({ down, choose }); }, 0 },
        { "a theme chosen, its action queued", [] (Editor& e) { showOptionsMenu (e); press ({ down, down, right, down, choose }); }, 0 },
        { "a theme message queued", [] (Editor& e) { e.controller.selectTheme ("red"); }, 0 },
        { "preset menu open", showPresetMenu, 1 },
        { "SAVE PRESET... chosen, its action queued", [] (Editor& e) { showPresetMenu (e); press ({ down, choose }); }, 0 },
        { "a preset chosen, the menu's result queued", [] (Editor& e) { showPresetMenu (e); press ({ down, down, choose }); }, 0 },
        { "the save dialog open", [] (Editor& e) { showPresetMenu (e); press ({ down, choose }); testutil::pumpMessages (50); }, 1 },
    };

    // Stands in for the editor's themes, which die with it; the framework's
    // weak reference would hide a menu still pointing at one of those.
    juce::LookAndFeel_V4 editorLook;
    for (const auto& c : cases)
    {
        auto processor = std::make_unique<AudioPluginAudioProcessor>();
        writePresets (*processor);
        processor->presetManager->rebuildPresetMenu();
        auto editor = openEditor (*processor);
        editor->mainView.setLookAndFeel (&editorLook);
        c.beforeClosing (*editor);
        ASSERT_EQ (modalCount(), c.modalBeforeClosing) << c.what;

        editor.reset();
        EXPECT_EQ (shownAndEditorStyledMenuWindows (editorLook), std::pair (0, 0)) << c.what;
        processor.reset();
        testutil::pumpMessages (100);
        EXPECT_EQ (modalCount(), 0) << c.what;
    }
}

// With the processor still there, closing the editor alone neither loads a
// preset nor runs an options item that was chosen just before.
TEST_F (EditorLifetimeTest, ClosingOnlyTheEditorChangesNothing)
{
    const std::pair<const char*, std::function<void (Editor&)>> cases[] = {
        { "preset menu open", showPresetMenu },
        { "INIT ALL CONTROLS chosen", [] (Editor& e) { showOptionsMenu (e); press ({ down, choose }); } },
    };
    for (const auto& [what, beforeClosing] : cases)
    {
        AudioPluginAudioProcessor processor;
        writePresets (processor);
        processor.presetManager->rebuildPresetMenu();
        auto editor = openEditor (processor);
        beforeClosing (*editor);
        editor.reset();
        testutil::pumpMessages (100);
        EXPECT_EQ (processor.presetManager->currentPresetName, "INIT") << what;
        EXPECT_EQ (processor.presetManager->currentPresetIndex, -1) << what;
        EXPECT_EQ (lowtimeOf (processor), 300.0f) << what;
        EXPECT_EQ (modalCount(), 0) << what;
    }
}

// Closing one instance's editor leaves the menu open in another's, and that
// menu still loads the preset chosen in it. (No message loop runs between:
// the framework itself closes the menus of an application that is not in
// front, as a test process on a shared display may not be.)
TEST_F (EditorLifetimeTest, ClosingOneEditorKeepsAnotherInstancesMenu)
{
    AudioPluginAudioProcessor first, second;
    writePresets (second);
    second.presetManager->rebuildPresetMenu();
    auto firstEditor = openEditor (first);
    auto secondEditor = openEditor (second);
    showOptionsMenu (*firstEditor);
    press ({ juce::KeyPress::escapeKey });
    showPresetMenu (*secondEditor);
    juce::Component::SafePointer<juce::Component> menu (juce::Component::getCurrentlyModalComponent());

    firstEditor.reset();
    ASSERT_TRUE (menu != nullptr && menu->isVisible());
    EXPECT_EQ (modalCount(), 1);

    press ({ down, down, choose });
    testutil::pumpMessages (100);
    EXPECT_EQ (second.presetManager->currentPresetName, "a");
    EXPECT_EQ (lowtimeOf (second), 10.0f);
    EXPECT_EQ (modalCount(), 0);
}
