#include "editor/PluginEditor.h"
#include "presets/StateTree.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/ChildProcess.h"
#include "support/MessagePump.h"
#include "support/SmallStackThread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

juce::PropertiesFile::Options fileOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Corvantide";
    options.filenameSuffix = ".prefs";
    options.folderName = "Quenmar_Works";
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    return options;
}

// The file as another program sees it: the framework's own class, same place and format.
std::unique_ptr<juce::PropertiesFile> otherWriter() { return std::make_unique<juce::PropertiesFile> (fileOptions()); }

juce::String stored (const juce::String& key) { return otherWriter()->getValue (key, "(none)"); }

// Where the file lies, found without reading it: the framework's class reads
// whatever is there as it is made.
juce::File preferencesPath() { return fileOptions().getDefaultFile(); }

void writeRaw (const std::string& text)
{
    ASSERT_TRUE (preferencesPath().getParentDirectory().createDirectory());
    ASSERT_TRUE (preferencesPath().replaceWithData (text.data(), text.size()));
}

std::string repeated (const std::string& piece, int times)
{
    std::string text;
    text.reserve (piece.size() * (size_t) times);
    while (times-- > 0)
        text += piece;
    return text;
}

double millisecondsSince (double start) { return juce::Time::getMillisecondCounterHiRes() - start; }

// Another process holding a write lock on a file until released: a host
// stopped in a debugger in the middle of a save.
class LockHolder
{
public:
    explicit LockHolder (const juce::File& lockFile)
    {
        const std::string path = lockFile.getFullPathName().toStdString();
        int ready[2], release[2];
        if (pipe (ready) != 0 || pipe (release) != 0)
            return;

        child = fork();
        if (child == 0)
        {
            // Only system calls from here: the parent's other threads are gone.
            ::close (ready[0]);
            ::close (release[1]);
            const int handle = ::open (path.c_str(), O_RDWR | O_CREAT, 0600);
            struct flock request = {};
            request.l_type = F_WRLCK;
            request.l_whence = SEEK_SET;
            const char locked = handle >= 0 && ::fcntl (handle, F_SETLK, &request) == 0 ? 1 : 0;
            if (::write (ready[1], &locked, 1) == 1)
            {
                char ignored;
                while (::read (release[0], &ignored, 1) < 0 && errno == EINTR)
                {
                }
            }
            _exit (0);
        }

        ::close (ready[1]);
        ::close (release[0]);
        char locked = 0;
        isLocked = child > 0 && ::read (ready[0], &locked, 1) == 1 && locked == 1;
        ::close (ready[0]);
        releaseEnd = release[1];
    }

    ~LockHolder() { release(); }

    void release()
    {
        if (releaseEnd >= 0)
            ::close (releaseEnd);
        releaseEnd = -1;
        if (child > 0)
            waitpid (child, nullptr, 0);
        child = -1;
    }

    bool isLocked = false;

private:
    pid_t child = -1;
    int releaseEnd = -1;
};

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

// A hostile file opens the editor with its defaults at once and on a small
// stack, and the next choice replaces it.
TEST_F (PreferencesSharingTest, HostileFileOpensWithDefaultsAndIsReplaced)
{
    std::string manyKeys = "<PROPERTIES>";
    for (int i = 0; i < 100000; ++i)
        manyKeys += "<VALUE name=\"key" + std::to_string (i) + "\" val=\"value\"/>";
    manyKeys += "</PROPERTIES>";

    const std::pair<const char*, std::string> files[] = {
        { "self-referencing entity", R"(<?xml version="1.0"?><!DOCTYPE PROPERTIES [<!ENTITY a "x&a;">]><PROPERTIES><VALUE name="theme" val="&a;"/></PROPERTIES>)" },
        { "200,000 levels deep", "<PROPERTIES>" + repeated ("<a>", 200000) + repeated ("</a>", 200000) + "</PROPERTIES>" },
        { "processing instruction before text", R"(<PROPERTIES><VALUE name="x"><?x?>b</VALUE></PROPERTIES>)" },
        { "100,000 keys", manyKeys },
    };

    for (const auto& [what, text] : files)
    {
        SCOPED_TRACE (what);
        writeRaw (text);

        auto readBack = std::make_shared<std::pair<juce::String, int>>();
        const auto read = SmallStackThread::runWithin ([readBack] {
            const auto preferences = plb::EditorController::createPreferencesFile();
            *readBack = { preferences->getValue ("theme", "blue"), preferences->getIntValue ("editor_width", 800) };
        },
                                                       std::chrono::milliseconds (2000));
        EXPECT_TRUE (read);
        if (! read)
            continue; // the editor would hang on it too

        EXPECT_EQ (readBack->first, "blue");
        EXPECT_EQ (readBack->second, 800);

        AudioPluginAudioProcessor processor;
        const auto start = juce::Time::getMillisecondCounterHiRes();
        std::unique_ptr<Editor> editor (dynamic_cast<Editor*> (processor.createEditor()));
        EXPECT_LT (millisecondsSince (start), 2000.0);
        EXPECT_EQ (editor->getWidth(), 800);
        EXPECT_EQ (editor->controller.preferences->getValue ("theme", "blue"), "blue");

        editor->controller.selectTheme ("pink");
        editor.reset();
        EXPECT_LT (millisecondsSince (start), 4000.0);
        EXPECT_LT (preferencesPath().getSize(), 1024);
        EXPECT_EQ (stored ("theme"), "pink");
        EXPECT_EQ (stored ("editor_width"), "800");
    }
}

// Keys other writers stored, in each form the framework writes, reach the
// editor and survive its save as the framework reads them, a value holding
// a hostile document included.
TEST_F (PreferencesSharingTest, OtherWritersKeysSurviveInTheFrameworksForm)
{
    const std::tuple<const char*, const char*, const char*> keys[] = {
        { "note", R"(<VALUE name="note" val="some text"/>)", "some text" },
        { "markup", R"(<VALUE name="markup" val="a &lt; b &amp; &quot;c&quot; 'd'"/>)", R"(a < b & "c" 'd')" },
        { "layout", R"(<VALUE name="layout"><panel x="1"><knob/></panel></VALUE>)", R"(<panel x="1"><knob/></panel>)" },
        { "empty", R"(<VALUE name="empty" val=""/>)", "" },
        { "document", R"(<VALUE name="document" val="&lt;!DOCTYPE a [&lt;!ENTITY e &quot;x&amp;e;&quot;&gt;]&gt;&lt;a&gt;&amp;e;&lt;/a&gt;"/>)",
          R"(<!DOCTYPE a [<!ENTITY e "x&e;">]><a>&e;</a>)" },
    };

    std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                       "\n<PROPERTIES>";
    for (const auto& [key, element, value] : keys)
        text += element;
    writeRaw (text + "</PROPERTIES>");

    AudioPluginAudioProcessor processor;
    std::unique_ptr<Editor> editor (dynamic_cast<Editor*> (processor.createEditor()));
    for (const auto& [key, element, value] : keys)
        EXPECT_EQ (editor->controller.preferences->getValue (key, "(none)"), value) << key;

    editor->controller.selectTheme ("teal");
    editor.reset();
    for (const auto& [key, element, value] : keys)
        EXPECT_EQ (stored (key), value) << key;
    EXPECT_EQ (stored ("theme"), "teal");
}

// While another process holds the lock, or the lock file cannot be opened or
// is no regular file, or the file cannot be written, opening, choosing a theme
// and closing take moments; the choice waits rather than writing under the
// lock, and is in the file once the lock or the disk frees or the editor closes.
TEST_F (PreferencesSharingTest, BusyOrBrokenLockOrFailedWriteDelaysTheChoiceButNeverLosesIt)
{
    enum class Lock
    {
        heldThroughout,
        releasedWhileOpen,
        cannotBeOpened,
        danglingLink,
        linkToDevice,
        namedPipe,
        writeFailsUntilFreed
    };
    const std::pair<Lock, const char*> rows[] = { { Lock::heldThroughout, "held by another process throughout" },
                                                  { Lock::releasedWhileOpen, "held by another process, released while the editor is open" },
                                                  { Lock::cannotBeOpened, "a folder where the lock file goes" },
                                                  { Lock::danglingLink, "a link to nothing where the lock file goes" },
                                                  { Lock::linkToDevice, "a link to /dev/null where the lock file goes" },
                                                  { Lock::namedPipe, "a named pipe where the lock file goes" },
                                                  { Lock::writeFailsUntilFreed, "no file can be written until the disk frees while the editor is open" } };

    for (const auto& [lock, what] : rows)
    {
        SCOPED_TRACE (what);
        const auto lockFile = preferencesPath().getSiblingFile ("Corvantide.prefs.lock");
        const auto linkTarget = preferencesPath().getSiblingFile ("elsewhere");
        preferencesPath().getParentDirectory().deleteRecursively();
        {
            auto other = otherWriter();
            other->setValue ("theme", "purple");
            other->setValue ("editor_width", 1000);
            ASSERT_TRUE (other->save());
        }

        std::unique_ptr<LockHolder> holder;
        std::unique_ptr<testutil::FileSizeLimit> fullDisk;
        if (lock == Lock::cannotBeOpened)
            ASSERT_TRUE (lockFile.createDirectory());
        else if (lock == Lock::danglingLink || lock == Lock::linkToDevice)
            ASSERT_TRUE (juce::File (lock == Lock::danglingLink ? linkTarget : juce::File ("/dev/null")).createSymbolicLink (lockFile, false));
        else if (lock == Lock::namedPipe)
            ASSERT_EQ (mkfifo (lockFile.getFullPathName().toRawUTF8(), 0600), 0);
        else if (lock == Lock::writeFailsUntilFreed)
            fullDisk = std::make_unique<testutil::FileSizeLimit> (0);
        else
        {
            holder = std::make_unique<LockHolder> (lockFile);
            ASSERT_TRUE (holder->isLocked);
        }

        const auto start = juce::Time::getMillisecondCounterHiRes();
        AudioPluginAudioProcessor processor;
        std::unique_ptr<Editor> editor (dynamic_cast<Editor*> (processor.createEditor()));
        EXPECT_EQ (editor->getWidth(), 1000);
        EXPECT_EQ (editor->controller.preferences->getValue ("theme"), "purple");

        const auto beforeChoice = juce::Time::getMillisecondCounterHiRes();
        editor->controller.selectTheme ("pink");
        EXPECT_LT (millisecondsSince (beforeChoice), 1000.0);
        EXPECT_EQ (stored ("theme"), "purple");

        const auto freedWhileOpen = lock == Lock::releasedWhileOpen || lock == Lock::writeFailsUntilFreed;
        if (freedWhileOpen)
        {
            if (holder != nullptr)
                holder->release();
            else
                fullDisk->lift();
            testutil::pumpMessages (plb::PreferencesFile::retryMilliseconds + 500);
            EXPECT_EQ (stored ("theme"), "pink");
        }

        const auto beforeClose = juce::Time::getMillisecondCounterHiRes();
        editor.reset();
        EXPECT_LT (millisecondsSince (beforeClose), 2000.0);
        EXPECT_LT (millisecondsSince (start), 4000.0 + (freedWhileOpen ? plb::PreferencesFile::retryMilliseconds + 500 : 0));
        EXPECT_EQ (stored ("theme"), "pink");
        EXPECT_EQ (stored ("editor_width"), "1000");
        EXPECT_FALSE (linkTarget.exists());
    }
}

// A save that runs out of room part-way (a file-size limit, in a child process)
// leaves the larger file it would have replaced as it was, and nothing beside
// it, and reports failure; the key waits, and the next save that fits writes it.
TEST_F (PreferencesSharingTest, SaveCutShortKeepsTheOldFile)
{
    std::string text = R"(<PROPERTIES><VALUE name="theme" val="purple"/>)";
    for (int i = 0; i < 60; ++i)
        text += R"(<VALUE name="key)" + std::to_string (i) + R"(" val=")" + std::string (80, 'v') + R"("/>)";
    writeRaw (text + "</PROPERTIES>");
    ASSERT_GT (text.size(), 6000u);

    const auto code = testutil::inChildProcess (10.0, [&text] {
        auto preferences = plb::EditorController::createPreferencesFile();
        preferences->setValue ("theme", "pink");
        testutil::FileSizeLimit limit (4096);
        const auto cutShort = preferences->save();
        const auto untouched = preferencesPath().loadFileAsString().toStdString() == text + "</PROPERTIES>";
        limit.lift();
        return (cutShort ? 1 : 0) | (untouched ? 0 : 2) | (preferences->save() ? 0 : 4);
    });
    EXPECT_EQ (code, 0) << "bits: 1 the cut save reported success, 2 the file changed, 4 the next save failed";
    EXPECT_EQ (stored ("theme"), "pink");
    EXPECT_EQ (stored ("key59"), juce::String (std::string (80, 'v')));
    EXPECT_EQ (preferencesPath().getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 2); // and the lock
}

// Values that hold elements where the framework's single-line form would crash,
// and files that a save would take past the reader's limits: each opens with
// its theme, survives a save and opens again with what was saved.
TEST_F (PreferencesSharingTest, ValuesHoldingElementsAndFilesASaveWouldEnlarge)
{
    std::string deep = "&lt;a/&gt;", manyValues, longFile;
    for (int i = 1; i < 15; ++i)
        deep = "&lt;a&gt;" + deep + "&lt;/a&gt;";
    for (int i = 0; i < 600; ++i)
        manyValues += R"(<VALUE name="n)" + std::to_string (i) + R"(" val="&lt;a/&gt;"/>)";
    for (int i = 0; i < 1000; ++i)
        longFile += R"(<VALUE name="n)" + std::to_string (i) + R"(" val=")" + std::string (38, 'v') + R"("/>)";

    // what, the values, whether "x" is kept
    const std::tuple<const char*, std::string, bool> files[] = {
        { "an element after text that holds elements", R"(<VALUE name="x"><a>t<b><c/></b></a></VALUE>)", true },
        { "an element after text with a long attribute list", R"(<VALUE name="x"><a>t<b one="1111111111" two="2222222222" three="3333333333" four="4444444444" five="5"/></a></VALUE>)", true },
        { "a text value written as elements 17 levels deep", R"(<VALUE name="x" val=")" + deep + R"("/>)", false },
        { "600 text values written as 1,200 elements", manyValues, false },
        { "a file that lines and indents take past 64 KiB", longFile, false },
    };

    for (const auto& [what, values, xKept] : files)
    {
        SCOPED_TRACE (what);
        const auto text = R"(<PROPERTIES><VALUE name="k0" val="first"/>)" + values + R"(<VALUE name="theme" val="pink"/><VALUE name="editor_width" val="900"/></PROPERTIES>)";
        ASSERT_LE (text.size(), (size_t) qnmr::StateLimits::maxBytes);
        writeRaw (text);

        AudioPluginAudioProcessor processor;
        std::unique_ptr<Editor> editor (dynamic_cast<Editor*> (processor.createEditor()));
        EXPECT_EQ (editor->controller.preferences->getValue ("theme"), "pink");
        EXPECT_EQ (editor->getWidth(), 900);
        const auto x = editor->controller.preferences->getValue ("x", "(none)");
        EXPECT_TRUE (x != "(none)" || ! xKept);

        editor->controller.selectTheme ("teal");
        editor.reset();
        editor.reset (dynamic_cast<Editor*> (processor.createEditor()));
        EXPECT_EQ (editor->controller.preferences->getValue ("theme"), "teal");
        EXPECT_EQ (editor->getWidth(), 900);
        EXPECT_EQ (editor->controller.preferences->getValue ("x", "(none)"), xKept ? x : "(none)");
        EXPECT_EQ (editor->controller.preferences->getValue ("k0", "(none)"), "first");
        EXPECT_LE (preferencesPath().getSize(), qnmr::StateLimits::maxBytes);
    }
}
