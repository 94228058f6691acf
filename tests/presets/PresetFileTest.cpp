#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

namespace
{
    using Values = std::map<juce::String, float>;

    class PresetFileTest : public ::testing::Test
    {
    protected:
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

        juce::File write (const juce::String& name, const juce::String& content)
        {
            auto file = folder.getChildFile (name);
            EXPECT_TRUE (file.replaceWithText (content, false, false, nullptr));
            return file;
        }

        TempHome home;
        AudioPluginAudioProcessor processor;
        qnmr::PresetsMenuManager& manager { *processor.presetManager };
        juce::File folder { home.presetFolder() };
    };
} // namespace

TEST_F (PresetFileTest, SaveWritesTheFileNamesItAndListsIt)
{
    write ("A.cvp", "<corvantide/>");
    write ("Z.cvp", "<corvantide/>");
    manager.rebuildPresetMenu();
    manager.currentPresetIndex = 1;

    const auto target = folder.getChildFile ("My Patch.cvp");
    manager.writePresetFile (target);

    EXPECT_TRUE (target.existsAsFile());
    EXPECT_EQ (manager.currentPresetName, "My Patch");
    EXPECT_EQ (manager.currentPresetIndex, 1);
    ASSERT_EQ (manager.presetFiles.size(), 3u);
    EXPECT_EQ (manager.presetFiles[1], target);
    EXPECT_FALSE (processor.isSuspended());
}

TEST_F (PresetFileTest, SavedFileLayout)
{
    // An unknown child with a long id stays in the state and shows the wrapping.
    const juce::String longId ("averyveryveryveryveryveryverylongidentifierthatnoparameterhasatall");
    auto tree = processor.valueTreeState->copyState();
    juce::ValueTree extra ("PARAM");
    extra.setProperty ("id", longId, nullptr);
    extra.setProperty ("value", 1, nullptr);
    tree.appendChild (extra, nullptr);
    processor.valueTreeState->replaceState (tree);

    const auto target = folder.getChildFile ("layout.cvp");
    manager.writePresetFile (target);

    juce::MemoryBlock bytes;
    ASSERT_TRUE (target.loadFileAsData (bytes));
    const auto text = bytes.toString();

    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<corvantide>\r\n")) << text;
    EXPECT_TRUE (text.endsWith ("</corvantide>\r\n"));
    EXPECT_EQ (text.replace ("\r\n", "").indexOfAnyOf ("\r\n"), -1) << "a bare CR or LF";

    auto lines = juce::StringArray::fromTokens (text.trimEnd(), "\r\n", "");
    lines.removeEmptyStrings (false);
    int params = 0, wrapped = 0;
    for (int i = 1; i < lines.size() - 1; ++i)
    {
        const auto& line = lines[i];
        if (line.startsWith ("  <PARAM "))
        {
            ++params;
            EXPECT_FALSE (line.startsWith ("   ")) << line;
            EXPECT_TRUE (line.endsWith ("/>") || line.contains (longId)) << line;
        }
        else if (i > 1)
        {
            // The attribute after one that ran past 60 columns, its name under the first one's.
            EXPECT_TRUE (lines[i - 1].contains (longId));
            EXPECT_EQ (line, "         value=\"1\"/>");
            ++wrapped;
        }
    }
    EXPECT_EQ (params, 30);
    EXPECT_EQ (wrapped, 1);
}

TEST_F (PresetFileTest, SaveThenLoadRestoresEveryParameter)
{
    scramble (1);
    const auto saved = values();
    const auto target = folder.getChildFile ("round.cvp");
    manager.writePresetFile (target);

    scramble (2);
    ASSERT_NE (values(), saved);
    manager.currentPresetName = "other";
    manager.loadPresetFile (target);

    EXPECT_EQ (values(), saved);
    EXPECT_EQ (manager.currentPresetName, "round");
    EXPECT_FALSE (processor.isSuspended());
}

TEST_F (PresetFileTest, RootTagMatchesIgnoringCaseButTheStateKeepsItsType)
{
    scramble (3);
    const auto file = write ("Loud.cvp", "<CORVANTIDE><PARAM id=\"drywet\" value=\"77\"/></CORVANTIDE>");
    const auto before = values();

    manager.loadPresetFile (file);
    auto after = values();
    EXPECT_EQ (after["drywet"], 77.0f);
    EXPECT_EQ (manager.currentPresetName, "Loud");
    for (const auto& [id, value] : before)
    {
        if (id != "drywet")
        {
            EXPECT_EQ (after[id], value) << id << " is not in the file and keeps its value";
        }
    }

    // What the host saves next must still restore into a fresh instance.
    EXPECT_EQ (processor.valueTreeState->state.getType().toString(), "corvantide");
    juce::MemoryBlock blob;
    processor.getStateInformation (blob);
    TempHome otherHome;
    AudioPluginAudioProcessor other;
    other.setStateInformation (blob.getData(), (int) blob.getSize());
    EXPECT_EQ (other.valueTreeState->getRawParameterValue ("drywet")->load(), 77.0f);
}

TEST_F (PresetFileTest, RefusedFilesChangeNothing)
{
    const std::pair<const char*, juce::File> refused[] {
        { "empty", write ("empty.cvp", "") },
        { "broken", write ("broken.cvp", "<corvantide><PARAM id=\"amp\" value=\"1\">") },
        { "other root", write ("settings.cvp", "<settings><PARAM id=\"amp\" value=\"1\"/></settings>") },
        { "not XML", write ("text.cvp", "amp = 1") },
        { "missing", folder.getChildFile ("gone.cvp") },
        { "a folder", folder },
        { "hangs the XML reader", write ("pi.cvp", "<corvantide><?x?>b</corvantide>") },
        { "cut-off reference", write ("ref.cvp", "<corvantide><PARAM id=\"amp\" value=\"&#x") },
        { "malformed UTF-8", [this] {
              auto f = folder.getChildFile ("utf8.cvp");
              const char bytes[] = "<corvantide><PARAM id=\"amp\" value=\"1\xc3\"/></corvantide>";
              f.replaceWithData (bytes, sizeof bytes - 1);
              return f;
          }() },
    };

    scramble (4);
    manager.currentPresetName = "kept";
    const auto before = values();

    for (const auto& [what, file] : refused)
    {
        manager.loadPresetFile (file);
        EXPECT_EQ (values(), before) << what;
        EXPECT_EQ (manager.currentPresetName, "kept") << what;
        EXPECT_FALSE (processor.isSuspended()) << what;
    }
}

TEST_F (PresetFileTest, FailedWriteKeepsTheOldName)
{
    manager.currentPresetName = "Before";

    // A parent that is a file cannot hold the preset, even for a privileged user.
    const auto blocker = write ("blocker.cvp", "<corvantide/>");
    manager.writePresetFile (blocker.getChildFile ("New.cvp"));

    EXPECT_EQ (manager.currentPresetName, "Before");
    EXPECT_FALSE (processor.isSuspended());
    ASSERT_EQ (manager.presetFiles.size(), 1u) << "the menu is still rebuilt";
    EXPECT_EQ (manager.presetFiles[0], blocker);
}

TEST_F (PresetFileTest, ClosingTheDialogWithoutAFileDoesNothing)
{
    auto* menu = manager.presetMenu.get();
    manager.currentPresetName = "Before";
    manager.writePresetFile (juce::File());

    EXPECT_EQ (manager.currentPresetName, "Before");
    EXPECT_EQ (manager.presetMenu.get(), menu);
    EXPECT_EQ (juce::RangedDirectoryIterator (folder, false), juce::RangedDirectoryIterator());
}

TEST_F (PresetFileTest, SavingOutsideTheFolderIsNotListed)
{
    const auto elsewhere = home.folder.getChildFile ("Elsewhere.cvp");
    manager.writePresetFile (elsewhere);
    EXPECT_TRUE (elsewhere.existsAsFile());
    EXPECT_EQ (manager.currentPresetName, "Elsewhere");
    EXPECT_TRUE (manager.presetFiles.empty());
}

TEST_F (PresetFileTest, Utf16FilesStillLoad)
{
    const auto file = folder.getChildFile ("wide.cvp");
    const juce::String xml ("<corvantide><PARAM id=\"drywet\" value=\"33\"/></corvantide>");
    juce::MemoryOutputStream out;
    out.writeByte ((char) 0xff);
    out.writeByte ((char) 0xfe);
    for (auto c : xml)
        out.writeShort ((short) c);
    ASSERT_TRUE (file.replaceWithData (out.getData(), out.getDataSize()));

    manager.loadPresetFile (file);
    EXPECT_EQ (values()["drywet"], 33.0f);
    EXPECT_EQ (manager.currentPresetName, "wide");
}
