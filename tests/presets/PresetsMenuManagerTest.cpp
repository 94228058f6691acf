#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

namespace
{
    // Records the loads that the menu and the stepping ask for, instead of
    // touching the parameter state.
    class RecordingManager : public qnmr::PresetsMenuManager
    {
    public:
        explicit RecordingManager (AudioPluginAudioProcessor& p)
            : PresetsMenuManager (p, *p.valueTreeState, "Quenmar_Works", "Corvantide", "cvp")
        {
        }

        void loadPresetFile (const juce::File& file) override { loaded.push_back (file); }
        void savePresetAs() override { ++saveDialogs; }

        std::vector<juce::File> loaded;
        int saveDialogs = 0;
    };

    struct MenuLine
    {
        juce::String text;
        int id;
        bool separator;
        bool subMenu;
    };

    std::vector<MenuLine> linesOf (const juce::PopupMenu& menu)
    {
        std::vector<MenuLine> lines;
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            const auto& item = it.getItem();
            lines.push_back ({ item.text, item.itemID, item.isSeparator, item.subMenu != nullptr });
        }
        return lines;
    }

    void touch (const juce::File& file)
    {
        file.getParentDirectory().createDirectory();
        ASSERT_TRUE (file.replaceWithText ("<corvantide/>"));
    }

    juce::StringArray relativeNames (const std::vector<juce::File>& files, const juce::File& root)
    {
        juce::StringArray names;
        for (const auto& f : files)
            names.add (f.getRelativePathFrom (root));
        return names;
    }

    class PresetsMenuManagerTest : public ::testing::Test
    {
    protected:
        TempHome home;
        AudioPluginAudioProcessor processor;
        juce::File folder { home.presetFolder() };
    };
} // namespace

TEST_F (PresetsMenuManagerTest, EmptyFolderOffersOnlySavingAndChoosesNothing)
{
    RecordingManager manager (processor);
    EXPECT_EQ (manager.presetFolder, folder);
    EXPECT_TRUE (folder.isDirectory());
    EXPECT_EQ (manager.currentPresetName, "INIT");
    EXPECT_EQ (manager.currentPresetIndex, -1);
    EXPECT_TRUE (manager.presetFiles.empty());

    const auto lines = linesOf (*manager.presetMenu);
    ASSERT_EQ (lines.size(), 2u);
    EXPECT_EQ (lines[0].text, "SAVE PRESET...");
    EXPECT_EQ (lines[0].id, -1);
    EXPECT_TRUE (lines[1].separator);

    // The first item opens the save dialog through its own action.
    juce::PopupMenu::MenuItemIterator it (*manager.presetMenu);
    ASSERT_TRUE (it.next());
    ASSERT_TRUE (it.getItem().action != nullptr);
    it.getItem().action();
    EXPECT_EQ (manager.saveDialogs, 1);

    for (int result : { 0, -1, 1, 2 })
        manager.onPresetChosen (result);

    EXPECT_TRUE (manager.loaded.empty());
    EXPECT_EQ (manager.currentPresetIndex, -1);
}

TEST_F (PresetsMenuManagerTest, MissingFolderIsCreatedAgainAndListsNothing)
{
    folder.deleteRecursively();
    RecordingManager manager (processor);
    EXPECT_TRUE (folder.isDirectory());
    EXPECT_TRUE (manager.presetFiles.empty());
}

TEST_F (PresetsMenuManagerTest, SortsNaturallyIgnoringCase)
{
    for (auto name : { "preset 10.cvp", "preset 2.cvp", "Alpha.cvp", "beta.cvp", "Gamma.cvp" })
        touch (folder.getChildFile (name));

    RecordingManager manager (processor);
    EXPECT_EQ (relativeNames (manager.presetFiles, folder),
               juce::StringArray ({ "Alpha.cvp", "beta.cvp", "Gamma.cvp", "preset 2.cvp", "preset 10.cvp" }));

    const auto lines = linesOf (*manager.presetMenu);
    ASSERT_EQ (lines.size(), 7u);
    EXPECT_EQ (lines[2].text, "Alpha");
    EXPECT_EQ (lines[2].id, 1);
    EXPECT_EQ (lines[5].text, "preset 2");
    EXPECT_EQ (lines[6].text, "preset 10");
    EXPECT_EQ (lines[6].id, 5);
}

TEST_F (PresetsMenuManagerTest, SubFoldersComeFirstAndIdsRunInDisplayOrder)
{
    touch (folder.getChildFile ("Bass/b.cvp"));
    touch (folder.getChildFile ("Bass/a.cvp"));
    touch (folder.getChildFile ("z.cvp"));
    touch (folder.getChildFile ("Live.Set/set 1.cvp"));
    folder.getChildFile ("Empty").createDirectory();

    // Skipped: other extensions, and anything two folder levels down.
    touch (folder.getChildFile ("notes.txt"));
    touch (folder.getChildFile ("Bass/readme.md"));
    touch (folder.getChildFile ("Bass/Deep/deep.cvp"));

    // Listed: any case of the extension, hidden files, inner dots.
    touch (folder.getChildFile ("LOUD.CVP"));
    touch (folder.getChildFile (".hidden.cvp"));
    touch (folder.getChildFile ("bass.mk.cvp"));

    RecordingManager manager (processor);

    EXPECT_EQ (relativeNames (manager.presetFiles, folder),
               juce::StringArray ({ "Bass/a.cvp", "Bass/b.cvp", "Live.Set/set 1.cvp",
                                    ".hidden.cvp", "bass.mk.cvp", "LOUD.CVP", "z.cvp" }));

    const auto lines = linesOf (*manager.presetMenu);
    ASSERT_EQ (lines.size(), 9u);
    EXPECT_EQ (lines[0].text, "SAVE PRESET...");
    EXPECT_TRUE (lines[1].separator);

    const std::vector<std::pair<juce::String, bool>> expectedTop {
        { "Bass", true }, { "Empty", true }, { "Live.Set", true },
        { ".hidden", false }, { "bass.mk", false }, { "LOUD", false }, { "z", false }
    };
    for (size_t i = 0; i < expectedTop.size(); ++i)
    {
        EXPECT_EQ (lines[i + 2].text, expectedTop[i].first);
        EXPECT_EQ (lines[i + 2].subMenu, expectedTop[i].second);
    }
    EXPECT_EQ (lines[5].id, 4);
    EXPECT_EQ (lines[8].id, 7);

    // Sub-menu contents and their ids, which continue across menus.
    std::vector<std::vector<MenuLine>> subMenus;
    for (juce::PopupMenu::MenuItemIterator it (*manager.presetMenu); it.next();)
        if (auto* sub = it.getItem().subMenu.get())
            subMenus.push_back (linesOf (*sub));

    ASSERT_EQ (subMenus.size(), 3u);
    ASSERT_EQ (subMenus[0].size(), 2u);
    EXPECT_EQ (subMenus[0][0].text, "a");
    EXPECT_EQ (subMenus[0][0].id, 1);
    EXPECT_EQ (subMenus[0][1].text, "b");
    EXPECT_EQ (subMenus[0][1].id, 2);
    EXPECT_TRUE (subMenus[1].empty());
    ASSERT_EQ (subMenus[2].size(), 1u);
    EXPECT_EQ (subMenus[2][0].text, "set 1");
    EXPECT_EQ (subMenus[2][0].id, 3);

    // Every id picks the file at id - 1.
    for (int id = 1; id <= 7; ++id)
    {
        manager.onPresetChosen (id);
        EXPECT_EQ (manager.currentPresetIndex, id - 1);
        EXPECT_EQ (manager.loaded.back(), manager.presetFiles[(size_t) id - 1]);
    }

    manager.loaded.clear();
    manager.onPresetChosen (8);
    manager.onPresetChosen (0);
    manager.onPresetChosen (-1);
    EXPECT_TRUE (manager.loaded.empty());
    EXPECT_EQ (manager.currentPresetIndex, 6);
}

TEST_F (PresetsMenuManagerTest, RebuildReflectsTheFolderAsItIsNow)
{
    RecordingManager manager (processor);
    EXPECT_TRUE (manager.presetFiles.empty());

    touch (folder.getChildFile ("new.cvp"));
    EXPECT_TRUE (manager.presetFiles.empty());

    manager.rebuildPresetMenu();
    ASSERT_EQ (manager.presetFiles.size(), 1u);
    EXPECT_EQ (manager.presetFiles[0].getFileName(), "new.cvp");
}
