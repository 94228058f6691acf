#include "editor/PluginEditor.h"
#include "presets/StateTree.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/ChildProcess.h"
#include "support/ParameterValues.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;
constexpr int maxBytes = qnmr::StateLimits::maxBytes;

// A preset that sets drywet to 25, padded with a comment to exactly `size` bytes.
std::string wetPreset (int size)
{
    const std::string head = "<corvantide><!--", tail = "--><PARAM id=\"drywet\" value=\"25\"/></corvantide>";
    return head + std::string ((size_t) size - head.size() - tail.size(), 'x') + tail;
}

// Names go to the system as raw bytes: most of them cannot pass through the framework's strings.
std::string at (const juce::File& folder, const std::string& name) { return folder.getFullPathName().toStdString() + "/" + name; }
void write (const std::string& path, const std::string& bytes) { std::ofstream (path, std::ios::binary) << bytes; }
std::string read (const juce::File& file)
{
    std::ifstream in (file.getFullPathName().toStdString(), std::ios::binary);
    return { std::istreambuf_iterator<char> (in), {} };
}

struct PresetFolder : ::testing::Test
{
    // The processor lists the folder when it is built, so it is built once the folder is filled.
    AudioPluginAudioProcessor& build()
    {
        processor = std::make_unique<AudioPluginAudioProcessor>();
        return *processor;
    }

    qnmr::PresetsMenuManager& manager() { return *processor->presetManager; }

    Values values() { return parameterValues (*processor); }

    int idOf (const juce::String& relativePath)
    {
        const auto& files = manager().presetFiles;
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].getRelativePathFrom (folder) == relativePath)
                return (int) i + 1;
        return 0;
    }

    juce::String listed()
    {
        juce::StringArray files;
        for (const auto& file : manager().presetFiles)
            files.add (file.getRelativePathFrom (folder));
        return files.joinIntoString (",");
    }

    TempHome home;
    juce::File folder { home.presetFolder() };
    juce::File outside { home.folder.getChildFile ("outside") };
    std::unique_ptr<AudioPluginAudioProcessor> processor;

    void SetUp() override
    {
        ASSERT_TRUE (folder.createDirectory());
        ASSERT_TRUE (outside.createDirectory());
    }

    // The framework's own removal would list the undecodable names with its iterator.
    void TearDown() override
    {
        processor.reset();
        nftw (home.folder.getFullPathName().toRawUTF8(), [] (const char* path, const struct stat*, int, FTW*) { return remove (path); }, 16, FTW_DEPTH | FTW_PHYS);
    }
};
} // namespace

// What a folder can hold besides tidy regular files. Each is listed as the framework always listed it and then
// chosen from the menu; the choice must come back at once, refuse what is no preset file within the limit and
// leave processing running. A child process runs the choice, so a hang or an endless read fails the row instead
// of the suite.
TEST_F (PresetFolder, ChoosingWhatTheFolderHolds)
{
    write (at (outside, "wet.cvp"), wetPreset (200));
    // clang-format off
    const std::tuple<const char*, std::function<bool (const std::string&)>, bool> rows[] {
        // name, how it is made, taken
        { "Pipe.cvp", [] (const std::string& path) { return mkfifo (path.c_str(), 0600) == 0; }, false },
        { "Zero.cvp", [] (const std::string& path) { return symlink ("/dev/zero", path.c_str()) == 0; }, false },
        { "Null.cvp", [] (const std::string& path) { return symlink ("/dev/null", path.c_str()) == 0; }, false },
        { "Status.cvp", [] (const std::string& path) { return symlink ("/proc/self/status", path.c_str()) == 0; }, false },
        { "Exact.cvp", [] (const std::string& path) { write (path, wetPreset (maxBytes)); return true; }, true },
        { "Over.cvp", [] (const std::string& path) { write (path, wetPreset (maxBytes + 1)); return true; }, false },
        // A link to a preset file is read as the file, as it always was.
        { "Link.cvp", [this] (const std::string& path) { return symlink (at (outside, "wet.cvp").c_str(), path.c_str()) == 0; }, true },
    };
    // clang-format on
    for (const auto& [name, make, taken] : rows)
        ASSERT_TRUE (make (at (folder, name))) << name;

    build();
    EXPECT_EQ (listed(), "Exact.cvp,Link.cvp,Null.cvp,Over.cvp,Pipe.cvp,Status.cvp,Zero.cvp");
    const auto before = values();

    for (const auto& [name, make, taken] : rows)
    {
        SCOPED_TRACE (name);
        const auto id = idOf (name);
        ASSERT_GT (id, 0);
        const auto started = Clock::now();
        const auto code = testutil::inChildProcess (5.0, [&, name = name, taken = taken] {
            manager().onPresetChosen (id);
            auto expected = before;
            expected["drywet"] = taken ? 25.0f : expected["drywet"];
            const auto expectedName = taken ? juce::File (at (folder, name)).getFileNameWithoutExtension() : "INIT";
            return (processor->isSuspended() ? 1 : 0) | (values() != expected ? 2 : 0) | (manager().currentPresetName != expectedName ? 4 : 0)
                   | (manager().currentPresetIndex != id - 1 ? 8 : 0);
        });
        const auto seconds = std::chrono::duration<double> (Clock::now() - started).count();
        EXPECT_EQ (code, 0) << "-1: no return within 5 s; bits: 1 still suspended, 2 values, 4 name, 8 index; above 128: killed by signal";
        EXPECT_LT (seconds, 2.0);
    }
}

// NEXT from the editor onto a named pipe: the step returns at once and loads nothing. Should it wait on the pipe
// after all, a writer appears after 3 s and lets it go on, so that the test fails instead of hanging.
TEST_F (PresetFolder, NextOntoANamedPipe)
{
    write (at (folder, "a.cvp"), wetPreset (200));
    const auto pipe = at (folder, "b.cvp");
    ASSERT_EQ (mkfifo (pipe.c_str(), 0600), 0);
    build();
    const std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditor());
    auto& footer = dynamic_cast<AudioPluginAudioProcessorEditor&> (*editor).mainView.footerView;
    footer.nextButton.onClick();
    ASSERT_EQ (manager().currentPresetName, "a");

    std::atomic<bool> done { false };
    std::thread rescue ([&] {
        for (int i = 0; i < 300 && ! done; ++i)
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        for (int i = 0; i < 100 && ! done; ++i)
        {
            const int fd = open (pipe.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                close (fd);
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }
    });
    const auto started = Clock::now();
    footer.nextButton.onClick();
    const auto seconds = std::chrono::duration<double> (Clock::now() - started).count();
    done = true;
    rescue.join();

    EXPECT_LT (seconds, 1.0);
    EXPECT_EQ (manager().currentPresetIndex, 1);
    EXPECT_EQ (manager().currentPresetName, "a");
    EXPECT_EQ (values()["drywet"], 25.0f);
    EXPECT_FALSE (processor->isSuspended());
}

// Names that are not well-formed UTF-8 (as an archive made with another encoding leaves them) are skipped
// wherever they stand, before any string is made of them; well-formed names of every length are listed.
// Links count as what they point to, a broken one as a file, hidden entries are listed, deeper folders are not:
// as the framework's own listing has always done.
TEST_F (PresetFolder, NamesAndLinks)
{
    // clang-format off
    const std::pair<std::string, bool> names[] {
        // name, listed
        { "\x61\x80\x80\x2e\xff\x61\xc3\x2e\x63\x76\x70", false },
        { "a\x80.cvp", false }, { "\xff.cvp", false }, { "\xc0\x80.cvp", false },
        { "\xc1\x81.cvp", false },              // overlong 'A'
        { "\xe0\x9f\xbf.cvp", false },          // overlong U+07FF
        { "\xf0\x8f\xbf\xbf.cvp", false },      // overlong U+FFFF
        { "\xed\xa0\x80.cvp", false },          // a surrogate
        { "\xf4\x90\x80\x80.cvp", false },      // past U+10FFFF
        { "\xf5\x80\x80\x80.cvp", false }, { "x\xe2\x82.cvp", false }, { "x\xe2.cvp", false }, { "x\xe2\x82\xe2\x82\xac.cvp", false },
        { "\xc2\x80.cvp", true },               // U+0080, the first of two bytes
        { "\xe0\xa0\x80.cvp", true },           // U+0800
        { "\xed\x9f\xbf.cvp", true },           // U+D7FF, the last before the surrogates
        { "\xee\x80\x80.cvp", true },           // U+E000, the first after them
        { "\xf0\x90\x80\x80.cvp", true },       // U+10000
        { "\xf4\x8f\xbf\xbf.cvp", true },       // U+10FFFF
        { "Br\xc3\xbc" "cke.cvp", true }, { ".hidden.cvp", true }, { "~home.cvp", true },
    };
    // clang-format on
    size_t listedCount = 4; // Linked/l.cvp, Real/link.cvp, Real/r.cvp, broken.cvp
    for (const auto& [name, isListed] : names)
    {
        write (at (folder, name), wetPreset (200));
        listedCount += isListed ? 1 : 0;
    }

    for (const auto* sub : { "Real", "Bad\xff", "Deeper" })
        ASSERT_EQ (mkdir (at (folder, sub).c_str(), 0700), 0);
    write (at (folder, "Real/r.cvp"), wetPreset (200));
    write (at (folder, "Real/\xff.cvp"), wetPreset (200));
    write (at (folder, "Bad\xff/x.cvp"), wetPreset (200));
    ASSERT_EQ (mkdir (at (folder, "Real/nested").c_str(), 0700), 0);
    write (at (folder, "Real/nested/deep.cvp"), wetPreset (200));
    ASSERT_EQ (symlink (at (folder, "Real/r.cvp").c_str(), at (folder, "Real/link.cvp").c_str()), 0);
    ASSERT_EQ (mkdir (at (outside, "Linked").c_str(), 0700), 0);
    write (at (outside, "Linked/l.cvp"), wetPreset (200));
    ASSERT_EQ (symlink (at (outside, "Linked").c_str(), at (folder, "Linked").c_str()), 0);
    ASSERT_EQ (symlink (at (outside, "gone.cvp").c_str(), at (folder, "broken.cvp").c_str()), 0);

    build();
    // (The framework's natural order puts letters after other characters.)
    EXPECT_EQ (listed(), juce::String::fromUTF8 ("Linked/l.cvp,Real/link.cvp,Real/r.cvp,.hidden.cvp,~home.cvp,\xc2\x80.cvp,\xe0\xa0\x80.cvp,\xed\x9f\xbf.cvp,"
                                                 "\xee\x80\x80.cvp,\xf0\x90\x80\x80.cvp,\xf4\x8f\xbf\xbf.cvp,Br\xc3\xbc" "cke.cvp,broken.cvp"));
    EXPECT_EQ (manager().presetFiles.size(), listedCount);

    // Every listed file is the file it names, and loads.
    manager().onPresetChosen (idOf ("~home.cvp"));
    EXPECT_EQ (manager().currentPresetName, "~home");
    EXPECT_EQ (values()["drywet"], 25.0f);

    juce::StringArray menus;
    for (juce::PopupMenu::MenuItemIterator it (*manager().presetMenu); it.next();)
        if (it.getItem().subMenu != nullptr)
            menus.add (it.getItem().text);
    EXPECT_EQ (menus.joinIntoString (","), "Deeper,Linked,Real");
}

// The list keeps the order of the full paths in natural order ignoring case, folders first, also for the names
// that natural order treats specially: leading and inner blanks, runs of digits with and without leading zeros.
TEST_F (PresetFolder, OrderFollowsTheFullPaths)
{
    const char* names[] { " b", "  c", "a", "a 10", "a 2", "a02", "a2", "a 1 0", "B1", "b 01", "10", "9", "_x", "x y", "xy", " 5", "x\ty", "x  y" };
    const char* folders[] { " Bank", "Bank 10", "Bank 9", "bank 1", "Bank", "  Bank" };
    for (const auto* name : names)
        write (at (folder, juce::String (name).toStdString() + ".cvp"), "");
    for (const auto* sub : folders)
    {
        ASSERT_TRUE (folder.getChildFile (sub).createDirectory());
        for (const auto* name : { " b", "a 10", "a 2", "a02", "  c" })
            write (at (folder.getChildFile (sub), juce::String (name).toStdString() + ".cvp"), "");
    }

    // The reference: full paths compared as they are, each entry asked whether it is a folder at every comparison.
    const auto before = [] (const juce::File& a, const juce::File& b) {
        if (a.isDirectory() != b.isDirectory())
            return a.isDirectory();
        return a.getFullPathName().compareNatural (b.getFullPathName(), false) < 0;
    };
    auto top = folder.findChildFiles (juce::File::findFilesAndDirectories, false);
    std::sort (top.begin(), top.end(), before);
    juce::StringArray expected;
    for (const auto& entry : top)
    {
        auto inner = entry.isDirectory() ? entry.findChildFiles (juce::File::findFiles, false) : juce::Array<juce::File> { entry };
        std::sort (inner.begin(), inner.end(), before);
        for (const auto& file : inner)
            expected.add (file.getRelativePathFrom (folder));
    }

    build();
    EXPECT_EQ (listed(), expected.joinIntoString (","));
}

// A save that runs out of room part-way (a file-size limit, in a child process) leaves the preset it would have
// replaced as it was, and nothing beside it, and reports failure: the footer keeps its name.
TEST_F (PresetFolder, SaveCutShortKeepsTheOldPreset)
{
    write (at (folder, "good.cvp"), wetPreset (1300));
    build();
    manager().currentPresetName = "Before";
    const auto code = testutil::inChildProcess (10.0, [this] {
        testutil::FileSizeLimit limit (1024);
        manager().writePresetFile (folder.getChildFile ("good.cvp"));
        return manager().currentPresetName == "Before" ? 0 : 1;
    });
    EXPECT_EQ (code, 0) << "1: the footer names a preset that was not written";
    EXPECT_EQ (read (folder.getChildFile ("good.cvp")), wetPreset (1300));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

// Saves killed at random moments, as when a host crashes or is forced to quit: the preset is always one whole
// save, and whatever the killed saves left beside it is never listed.
TEST_F (PresetFolder, SavesKilledMidWriteLeaveOnlyThePresetListed)
{
    const auto preset = folder.getChildFile ("same.cvp");
    build();
    manager().writePresetFile (preset);
    const auto whole = read (preset);
    ASSERT_GT (whole.size(), 1000u);

    std::mt19937 random (1);
    for (int round = 0; round < 100; ++round)
    {
        const auto pid = fork();
        if (pid == 0)
            for (;;)
                manager().writePresetFile (preset);
        ASSERT_GT (pid, 0);
        std::this_thread::sleep_for (std::chrono::microseconds (random() % 20000));
        kill (pid, SIGKILL);
        waitpid (pid, nullptr, 0);
        ASSERT_EQ (read (preset), whole) << "after kill " << round;
    }

    // Something was left, so kills did land in the middle of a save.
    EXPECT_GT (folder.getNumberOfChildFiles (juce::File::findFiles), 1);
    manager().rebuildPresetMenu();
    EXPECT_EQ (listed(), "same.cvp");
}
