#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

namespace
{
    using Values = std::map<juce::String, float>;

    std::string blob (const std::string& xml, juce::int64 lengthField = -1)
    {
        const auto n = (juce::uint32) (lengthField >= 0 ? lengthField : (juce::int64) xml.size());
        return "VC2!" + std::string ({ (char) n, (char) (n >> 8), (char) (n >> 16), (char) (n >> 24) }) + xml + '\0';
    }

    std::string tree (const std::string& children) { return "<corvantide>" + children + "</corvantide>"; }

    struct PresetsTest : ::testing::Test
    {
        Values values()
        {
            Values v;
            for (const auto& entry : processor.bridge->entries)
                v[entry.id] = entry.rawValue->load();
            return v;
        }

        void scramble (int seed)
        {
            juce::Random random (seed);
            for (auto* param : processor.getParameters())
                param->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
        }

        std::string state()
        {
            juce::MemoryBlock b;
            processor.getStateInformation (b);
            return std::string (static_cast<const char*> (b.getData()), b.getSize());
        }

        void restore (const std::string& b) { processor.setStateInformation (b.data(), (int) b.size()); }
        juce::ValueTree savedTree() { return juce::ValueTree::fromXml (state().c_str() + 8); }

        void load (const std::string& bytes)
        {
            folder.getChildFile ("In.cvp").replaceWithData (bytes.data(), bytes.size());
            manager.loadPresetFile (folder.getChildFile ("In.cvp"));
        }

        TempHome home;
        AudioPluginAudioProcessor processor;
        qnmr::PresetsMenuManager& manager { *processor.presetManager };
        juce::File folder { home.presetFolder() };
    };

    const std::string wet25 = tree ("<PARAM id=\"drywet\" value=\"25\"/>");

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

TEST_F (PresetsTest, BlobBytes)
{
    const auto b = state();
    const auto text = juce::String::fromUTF8 (b.data() + 8, (int) b.size() - 9);
    EXPECT_EQ (b.substr (0, 4), "VC2!");
    EXPECT_EQ ((size_t) juce::ByteOrder::littleEndianInt (b.data() + 4), b.size() - 9);
    EXPECT_EQ (b.back(), '\0');
    EXPECT_EQ (text.indexOfAnyOf ("\r\n"), -1);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <corvantide><PARAM id=\"amp\" value=\"")) << text;

    // Children stand in ascending id order until a restore brings another.
    const auto saved = savedTree();
    EXPECT_EQ (saved.getNumChildren(), 29);
    for (int i = 1; i < saved.getNumChildren(); ++i)
        EXPECT_LT (saved.getChild (i - 1)["id"].toString(), saved.getChild (i)["id"].toString());
    restore (blob (tree ("<PARAM id=\"res\" value=\"12\"/><PARAM id=\"amp\" value=\"1\"/>")));
    EXPECT_EQ (savedTree().getChild (0)["id"].toString() + savedTree().getChild (1)["id"].toString(), "resamp");
}

// The same bytes as a state blob and as a preset file. A refused input changes
// nothing; a taken one changes what its row says, and the host saves that next.
TEST_F (PresetsTest, InputsAsStateAndAsPresetFile)
{
    struct Case
    {
        std::string text;
        bool state, preset;
        Values changes;
        bool framed = true; // wrapped in the blob's frame when given as state
    };
    std::string utf16 ("\xff\xfe");
    for (auto c : wet25)
        utf16 += std::string ({ c, '\0' });

    const Case cases[] {
        { wet25, true, true, { { "drywet", 25.0f } } },
        { "<CORVANTIDE><PARAM id=\"drywet\" value=\"25\"/></CORVANTIDE>", false, true, { { "drywet", 25.0f } } },
        { utf16, false, true, { { "drywet", 25.0f } } },
        { tree ("<PARAM id=\"drywet\" value=\"&#x32;&#53;\"/>"), true, true, { { "drywet", 25.0f } } },
        { tree ("<PARAM id=\"amp\"/>"), true, true, { { "amp", 0.0f } } },
        { tree ("<PARAM id=\"amp\" value=\"nan\"/>"), true, true, { { "amp", 0.0f } } },
        { tree ("<PARAM id=\"res\" value=\"-inf\"/><PARAM id=\"cutoff\" value=\"1e39\"/>"), true, true, { { "res", 0.0f }, { "cutoff", 11000.0f } } },
        { tree ("<PARAM id=\"drywet\" value=\"10\" value=\"90\"/>"), true, true, { { "drywet", 10.0f } } },
        { tree ("<PARAM id=\"nothing\" value=\"3\"/>"), true, true, {} },
        { "<settings><PARAM id=\"drywet\" value=\"25\"/></settings>", false, false, {} },
        { "<corvantide><PARAM id=\"drywet\" value=\"25\"></corvantide>", false, false, {} },
        { "drywet = 25", false, false, {} },
        { "", false, false, {} },
        // Texts that hang the XML reader, take it past its buffers or let malformed text in.
        { tree ("<?x?>b<PARAM id=\"drywet\" value=\"25\"/>"), false, false, {} },
        { "<corvantide><PARAM id=\"drywet\" value=\"&#x", false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#x110000;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#0;25\"/>"), false, false, {} },
        { "<!DOCTYPE c [<!ENTITY a \"25\">]>" + tree ("<PARAM id=\"drywet\" value=\"&a;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xc3\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\x80\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xf4\x90\x80\x80\"/>"), false, false, {} },
        // The blob's frame: 8 bytes, wrong magic, length 0 or negative; a length past the data is fine.
        { blob (wet25).substr (0, 8), false, false, {}, false },
        { "VC2?" + blob (wet25).substr (4), false, false, {}, false },
        { blob (wet25, 0), false, false, {}, false },
        { blob (wet25, 0x80000010), false, false, {}, false },
        { blob (wet25, 1000000), true, false, { { "drywet", 25.0f } }, false },
    };

    for (const auto& c : cases)
    {
        for (const bool asState : { true, false })
        {
            SCOPED_TRACE (c.text + (asState ? " as state" : " as preset"));
            scramble (1);
            manager.currentPresetName = "kept";
            const bool taken = asState ? c.state : c.preset;
            auto expected = values();
            for (const auto& [id, value] : c.changes)
                expected[id] = taken ? value : expected[id];

            asState ? restore (c.framed ? blob (c.text) : c.text) : load (c.text);
            EXPECT_EQ (values(), expected);
            EXPECT_EQ (manager.currentPresetName, ! asState && taken ? "In" : "kept");
            EXPECT_FALSE (processor.isSuspended());
            // A preset's root matches in any case, but the state keeps its own type for the host.
            EXPECT_EQ (processor.valueTreeState->state.getType().toString(), "corvantide");

            const auto saved = state();
            scramble (2);
            restore (saved);
            EXPECT_EQ (values(), expected);
        }
    }
}

TEST_F (PresetsTest, SavedPresetFile)
{
    // An unknown child with a long id stays in the state and shows the wrapping.
    const juce::String longId ("averyveryveryveryveryveryverylongidentifierthatnoparameterhasatall");
    load (tree ("<PARAM id=\"" + longId.toStdString() + "\" value=\"1\"/>"));
    scramble (4);
    const auto saved = values();

    const auto file = folder.getChildFile ("My Patch.cvp");
    manager.writePresetFile (file);
    EXPECT_EQ (manager.currentPresetName, "My Patch");
    EXPECT_EQ (manager.presetFiles, std::vector<juce::File> ({ folder.getChildFile ("In.cvp"), file }));

    const auto text = file.loadFileAsString();
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<corvantide>\r\n  <PARAM id=\"")) << text;
    EXPECT_TRUE (text.endsWith ("\"/>\r\n</corvantide>\r\n"));
    EXPECT_EQ (text.replace ("\r\n", "").indexOfAnyOf ("\r\n"), -1) << "a bare CR or LF";
    EXPECT_EQ (text.replace ("\r\n  <PARAM id=\"", "@").retainCharacters ("@<").length(), 30 + 3);
    // The attribute after one that ran past 60 columns goes under the first one's name.
    EXPECT_TRUE (text.contains ("  <PARAM id=\"" + longId + "\"\r\n         value=\"1\"/>\r\n"));

    scramble (5);
    manager.loadPresetFile (file);
    EXPECT_EQ (values(), saved);

    // A file that cannot be written keeps the old name; the menu is still rebuilt.
    file.getSiblingFile ("New.cvp").create();
    manager.currentPresetName = "Before";
    manager.writePresetFile (file.getChildFile ("New.cvp"));
    EXPECT_EQ (manager.currentPresetName, "Before");
    EXPECT_EQ (manager.presetFiles.size(), 3u);
    EXPECT_FALSE (processor.isSuspended());
}

TEST_F (PresetsTest, MenuFromARealisticFolder)
{
    for (auto name : { "Bass/b.cvp", "Bass/a.cvp", "z.cvp", "preset 10.cvp", "preset 2.cvp", "Live.Set/set 1.cvp", "LOUD.CVP",
                       ".hidden.cvp", "bass.mk.cvp", "notes.txt", "Bass/readme.md", "Bass/Deep/deep.cvp", "Empty/" })
    {
        const auto file = folder.getChildFile (name);
        file.getParentDirectory().createDirectory();
        juce::String (name).endsWith ("/") ? file.createDirectory() : file.create();
    }

    RecordingManager menu (processor);
    EXPECT_EQ (menu.currentPresetName + juce::String (menu.currentPresetIndex), "INIT-1");

    // Folders first, then natural order ignoring case; one level of sub-folders; ids in display order.
    juce::StringArray lines;
    describe (*menu.presetMenu, lines);
    EXPECT_EQ (lines.joinIntoString (" | "), "SAVE PRESET... -1 | - | [Bass] | a 1 | b 2 | [Empty] | [Live.Set] | set 1 3 | "
                                             ".hidden 4 | bass.mk 5 | LOUD 6 | preset 2 7 | preset 10 8 | z 9");

    for (int id = 0; id <= 10; ++id)
        menu.onPresetChosen (id);
    menu.onPresetChosen (-1);
    EXPECT_EQ (menu.loaded.joinIntoString (","), "a.cvp,b.cvp,set 1.cvp,.hidden.cvp,bass.mk.cvp,LOUD.CVP,preset 2.cvp,preset 10.cvp,z.cvp");
    EXPECT_EQ (menu.currentPresetIndex, 8);
    EXPECT_EQ ((int) menu.presetFiles.size(), 9);
    EXPECT_EQ (menu.presetFiles[2], folder.getChildFile ("Live.Set/set 1.cvp"));

    // "SAVE PRESET..." opens the dialog through its own action, after the menu has closed.
    juce::PopupMenu::MenuItemIterator first (*menu.presetMenu);
    ASSERT_TRUE (first.next());
    first.getItem().action();
    EXPECT_EQ (menu.loaded[9], "save dialog");
}
