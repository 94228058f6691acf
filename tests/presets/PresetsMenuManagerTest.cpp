#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

namespace
{
    // Records what the menu asks for instead of touching the parameter state.
    struct RecordingManager : qnmr::PresetsMenuManager
    {
        explicit RecordingManager (AudioPluginAudioProcessor& p) : PresetsMenuManager (p, *p.valueTreeState, "Quenmar_Works", "Corvantide", "cvp") {}
        void loadPresetFile (const juce::File& file) override { loaded.add (file.getFileName()); }
        void savePresetAs() override { loaded.add ("save dialog"); }
        juce::StringArray loaded;
    };

    // One line per item, sub-menus inline: "text id", "[folder]" then its items, "-" for a separator.
    void describe (const juce::PopupMenu& menu, juce::StringArray& lines)
    {
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            const auto& item = it.getItem();
            lines.add (item.isSeparator ? "-" : item.subMenu != nullptr ? "[" + item.text + "]" : item.text + " " + juce::String (item.itemID));
            if (item.subMenu != nullptr)
                describe (*item.subMenu, lines);
        }
    }
} // namespace

TEST (PresetsMenuManager, MenuFromARealisticFolder)
{
    TempHome home;
    AudioPluginAudioProcessor processor;
    const auto folder = home.presetFolder();
    for (auto name : { "Bass/b.cvp", "Bass/a.cvp", "z.cvp", "preset 10.cvp", "preset 2.cvp", "Live.Set/set 1.cvp", "LOUD.CVP",
                       ".hidden.cvp", "bass.mk.cvp", "notes.txt", "Bass/readme.md", "Bass/Deep/deep.cvp", "Empty/" })
    {
        const auto file = folder.getChildFile (name);
        file.getParentDirectory().createDirectory();
        juce::String (name).endsWith ("/") ? file.createDirectory() : file.create();
    }

    RecordingManager manager (processor);
    EXPECT_EQ (manager.currentPresetName + juce::String (manager.currentPresetIndex), "INIT-1");

    // Folders first, then natural order ignoring case; one level of sub-folders; ids in display order.
    juce::StringArray lines;
    describe (*manager.presetMenu, lines);
    EXPECT_EQ (lines.joinIntoString (" | "), "SAVE PRESET... -1 | - | [Bass] | a 1 | b 2 | [Empty] | [Live.Set] | set 1 3 | "
                                             ".hidden 4 | bass.mk 5 | LOUD 6 | preset 2 7 | preset 10 8 | z 9");

    for (int id = 0; id <= 10; ++id)
        manager.onPresetChosen (id);
    manager.onPresetChosen (-1);
    EXPECT_EQ (manager.loaded.joinIntoString (","), "a.cvp,b.cvp,set 1.cvp,.hidden.cvp,bass.mk.cvp,LOUD.CVP,preset 2.cvp,preset 10.cvp,z.cvp");
    EXPECT_EQ (manager.currentPresetIndex, 8);
    EXPECT_EQ ((int) manager.presetFiles.size(), 9);
    EXPECT_EQ (manager.presetFiles[2], folder.getChildFile ("Live.Set/set 1.cvp"));

    // "SAVE PRESET..." opens the dialog through its own action, after the menu has closed.
    juce::PopupMenu::MenuItemIterator first (*manager.presetMenu);
    ASSERT_TRUE (first.next());
    first.getItem().action();
    EXPECT_EQ (manager.loaded[9], "save dialog");
}
