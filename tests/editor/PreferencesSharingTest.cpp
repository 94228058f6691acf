#include "editor/PluginEditor.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

// Every editor of every instance (and of other processes) keeps its own copy
// of the one preferences file; closing or saving one must not undo what
// another has stored meanwhile.
namespace
{
using Editor = AudioPluginAudioProcessorEditor;

struct Instance
{
    explicit Instance (int width)
        : editor (dynamic_cast<Editor*> (processor.createEditor()))
    {
        editor->setSize (width, Editor::heightForWidth (width));
    }

    AudioPluginAudioProcessor processor;
    std::unique_ptr<Editor> editor;
};

// The file as another program sees it: the framework's own class, same place and format.
std::unique_ptr<juce::PropertiesFile> otherWriter()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Corvantide";
    options.filenameSuffix = ".prefs";
    options.folderName = "Quenmar_Works";
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    return std::make_unique<juce::PropertiesFile> (options);
}

juce::String stored (const juce::String& key) { return otherWriter()->getValue (key, "(none)"); }

class PreferencesSharingTest : public ::testing::Test
{
protected:
    TempHome home;
};
} // namespace

// The theme chosen in the second of two editors survives both closing orders,
// with or without a file beforehand; the width is that of the editor closed last.
TEST_F (PreferencesSharingTest, ThemeChosenInOneOfTwoEditorsSurvivesEitherClosingOrder)
{
    for (auto fileBefore : { false, true })
    {
        for (auto secondClosesFirst : { true, false })
        {
            const auto context = juce::String (fileBefore ? "file before, " : "no file, ") + (secondClosesFirst ? "second closed first" : "first closed first");
            otherWriter()->getFile().deleteFile();
            if (fileBefore)
            {
                auto file = otherWriter();
                file->setValue ("theme", "purple");
                file->setValue ("editor_width", 1024);
                ASSERT_TRUE (file->save());
            }

            Instance first (1000), second (600);
            second.editor->controller.selectTheme ("pink");
            EXPECT_EQ (stored ("theme"), "pink") << context;

            auto& closedFirst = secondClosesFirst ? second : first;
            auto& closedLast = secondClosesFirst ? first : second;
            closedFirst.editor.reset();
            closedLast.editor.reset();
            EXPECT_EQ (stored ("theme"), "pink") << context;
            EXPECT_EQ (stored ("editor_width"), secondClosesFirst ? "1000" : "600") << context;
        }
    }
}

// A theme another writer stores while an editor is open survives the editor's
// delayed width save and its close.
TEST_F (PreferencesSharingTest, ThemeWrittenElsewhereWhileAnEditorIsOpenSurvives)
{
    Instance instance (800);
    testutil::pumpMessages (50);

    auto other = otherWriter();
    other->setValue ("theme", "teal");
    ASSERT_TRUE (other->save());

    instance.editor->setSize (700, Editor::heightForWidth (700));
    testutil::pumpMessages (3300);
    EXPECT_EQ (stored ("editor_width"), "700");
    EXPECT_EQ (stored ("theme"), "teal");

    instance.editor.reset();
    EXPECT_EQ (stored ("theme"), "teal");
    EXPECT_EQ (stored ("editor_width"), "700");
}

// A drag stops at the widest window that reopens, whatever the height asked
// for, and the next editor opens at the width left.
TEST_F (PreferencesSharingTest, DraggedWidthStopsWhereItReopens)
{
    for (auto asked : { juce::Rectangle<int> (8000, 5200), { 8000, 1000 }, { 7000, 9000 } })
    {
        Instance instance (800);
        instance.editor->setBoundsConstrained (asked);
        EXPECT_EQ (instance.editor->getBounds(), juce::Rectangle<int> (6400, 4160)) << asked.toString();
        instance.editor.reset();

        std::unique_ptr<Editor> reopened (dynamic_cast<Editor*> (instance.processor.createEditor()));
        EXPECT_EQ (reopened->getWidth(), 6400) << asked.toString();
    }
}
