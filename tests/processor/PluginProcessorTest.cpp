#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

#include <xmmintrin.h>

#include <gtest/gtest.h>

#include "presets/StateTree.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

// Counts heap allocations while armed, so a test can prove that processBlock allocates nothing.
static std::atomic<bool> counting { false };
static std::atomic<int> allocations { 0 };

static void* allocate (std::size_t size)
{
    allocations += counting.load() ? 1 : 0;
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// The library's array forms call these.
void* operator new (std::size_t size) { return allocate (size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }

namespace
{
using Metadata = std::map<std::string, std::string>;

Metadata slider (const char* min, const char* max, const char* step, const char* init, Metadata extra = {})
{
    extra.insert ({ { "uid", "p" }, { "min", min }, { "max", max }, { "step", step }, { "init", init } });
    return extra;
}

using Values = std::map<juce::String, float>;

std::string tree (const std::string& children) { return "<corvantide>" + children + "</corvantide>"; }
const std::string wet25 = tree ("<PARAM id=\"drywet\" value=\"25\"/>");

std::string blob (const std::string& xml, juce::int64 lengthField = -1)
{
    const auto n = (juce::uint32) (lengthField >= 0 ? lengthField : (juce::int64) xml.size());
    return "VC2!" + std::string ({ (char) n, (char) (n >> 8), (char) (n >> 16), (char) (n >> 24) }) + xml + '\0';
}

// Texts that set drywet to 25 and reach a size limit when `count` is the limit.
using Limits = qnmr::StateLimits;
std::string repeat (int count, const std::function<std::string (int)>& item)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += item (i);
    return s;
}
const std::string wetChild = "<PARAM id=\"drywet\" value=\"25\"/>";
std::string ofBytes (int count) { return tree ("<!--" + std::string ((size_t) count - 7 - wet25.size(), 'x') + "-->" + wetChild); }
std::string withRootAttributes (int count) // the root holds all but the two values' '='
{
    return "<corvantide" + repeat (count - 2, [] (int i) { return " a" + std::to_string (i) + "=\"\""; }) + ">" + wetChild + "</corvantide>";
}
std::string withParamAttributes (int count)
{
    return tree ("<PARAM id=\"drywet\" value=\"25\"" + repeat (count - 2, [] (int i) { return " a" + std::to_string (i) + "=\"\""; }) + "/>");
}
std::string withElements (int count)
{
    return tree (repeat (count - 1, [] (int) { return wetChild; }));
}
std::string ofDepth (int count)
{
    return tree (wetChild + repeat (count - 2, [] (int) { return "<a>"; }) + "<a/>" + repeat (count - 2, [] (int) { return "</a>"; }));
}

struct ProcessorTest : ::testing::Test, juce::AudioPlayHead
{
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setBpm (bpm);
        return info;
    }

    void process (int numSamples, int channels = 2)
    {
        juce::AudioBuffer<float> buffer (channels, numSamples);
        buffer.clear();
        processor.processBlock (buffer, midi);
    }

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

    TempHome home;
    AudioPluginAudioProcessor processor;
    qnmr::PresetsMenuManager& manager { *processor.presetManager };
    juce::File folder { home.presetFolder() };
    juce::MidiBuffer midi;
    juce::Optional<double> bpm;
};

// Records what the menu asks for instead of touching the parameter state.
struct RecordingManager : qnmr::PresetsMenuManager
{
    explicit RecordingManager (AudioPluginAudioProcessor& p)
        : PresetsMenuManager (p, *p.valueTreeState, "Quenmar_Works", "Corvantide", "cvp")
    {}
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
        lines.add (item.isSeparator ? "-" : item.subMenu != nullptr ? "[" + item.text + "]"
                                                                    : item.text + " " + juce::String (item.itemID));
        if (item.subMenu != nullptr)
            describe (*item.subMenu, lines);
    }
}
} // namespace

// The kinds and ranges of the real parameters show in the host's table; these are the rest.
TEST (ParamBridge, MetadataToParameters)
{
    // clang-format off
    const std::pair<Metadata, const char*> cases[] {
        { slider ("0", "1", "1", "1"), "bool 0..1 step 1 skew 1 init 1" },
        { slider ("0", "1", "1", "1", { { "style", "knob" } }), "float 0..1 step 1 skew 1 init 1" },
        { slider ("0", "2", "1", "2.7", { { "style", "menu{'OFF':0;'ON':1;'X':2}" } }), "choice 0..2 step 1 skew 1 init 2.7 OFF,ON,X" },
        // std::stof/std::stoi would throw out of the processor's constructor on these.
        { slider ("low", "1e99", "?", "x1", { { "hidden", "yes" }, { "version", "99999999999" } }), "float 0..1 step 0.01 skew 1 init 0" },
        { slider ("-2x", "10", "0.5", " 3.5dB"), "float -2..10 step 0.5 skew 1 init 3.5" },
        // Empty items are skipped; a menu with none left stays a number.
        { slider ("0", "2", "1", "0", { { "style", "menu{'A':0;;'B':1;}" } }), "choice 0..2 step 1 skew 1 init 0 A,B" },
        { slider ("0", "1", "1", "0", { { "style", "menu{;}" } }), "float 0..1 step 1 skew 1 init 0" },
    };
    // clang-format on

    float zone = 0.0f;
    for (const auto& [metadata, expected] : cases)
    {
        const ParamInfo p (&zone, metadata);
        const char* kinds[] { "float", "bool", "choice" };
        EXPECT_EQ (juce::String (kinds[p.kind]) + " " + juce::String (p.range.start) + ".." + juce::String (p.range.end) + " step " + juce::String (p.range.interval) + " skew "
                       + juce::String (p.range.skew) + " init " + juce::String (p.defaultValue) + (p.hidden ? " hidden" : "") + (p.versionHint != 1 ? " version" : "")
                       + (p.choices.isEmpty() ? "" : " " + p.choices.joinIntoString (",")),
                   expected);
        auto parameter = createParameter (p);
        EXPECT_EQ (dynamic_cast<juce::AudioParameterFloat*> (parameter.get()) != nullptr, p.kind == ParamInfo::floatKind) << expected;
        if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter.get()))
        {
            EXPECT_EQ (choice->getIndex(), (int) p.defaultValue) << "truncated toward zero";
        }
    }
}

TEST_F (ProcessorTest, TempoParametersAndBuses)
{
    // The framework shows the one program to the host; VST3 validation refuses a nameless one.
    EXPECT_FALSE (processor.getProgramName (0).isEmpty());
    processor.prepareToPlay (44100.9, 256);
    EXPECT_EQ (processor.engine->getSampleRate(), 44100);

    process (64);
    EXPECT_EQ (*processor.bpmZone->zone, 120.0f) << "no play head";
    processor.setPlayHead (this);
    process (64);
    EXPECT_EQ (*processor.bpmZone->zone, 120.0f) << "no tempo";

    // A block of no samples still carries tempo and parameters, each by its kind.
    bpm = 87.5;
    const std::tuple<const char*, float, float> sets[] { { "pitchstage", 1.0f, 2.0f }, { "cutoff", 0.5f, 2795.0f }, { "drywet", 0.5f, 50.0f } };
    for (const auto& [id, normalised, value] : sets)
        processor.valueTreeState->getParameter (id)->setValueNotifyingHost (normalised);
    process (0);
    EXPECT_EQ (*processor.bpmZone->zone, 87.5f);
    for (const auto& [id, normalised, value] : sets)
        for (const auto& entry : processor.bridge->entries)
            EXPECT_TRUE (entry.id != id || *entry.info->zone == value) << id << " " << *entry.info->zone;

    process (32, 1); // narrower than the engine's two channels: must not reach past them
    processor.setPlayHead (nullptr);

    // Only stereo in, stereo out.
    using Set = juce::AudioChannelSet;
    const std::pair<Set, Set> layouts[] { { Set::stereo(), Set::stereo() }, { Set::mono(), Set::mono() }, { Set::stereo(), Set::mono() }, { Set::mono(), Set::stereo() }, { Set::disabled(), Set::stereo() }, { Set::create5point1(), Set::create5point1() } };
    for (const auto& [in, out] : layouts)
        EXPECT_EQ (processor.checkBusesLayoutSupported ({ { in }, { out } }), &in == &layouts[0].first) << in.getDescription() << " / " << out.getDescription();
}

TEST_F (ProcessorTest, ProcessBlockKeepsMxcsrAndAllocatesNothing)
{
    processor.prepareToPlay (48000.0, 512);
    const auto original = _mm_getcsr();
    // Default, FTZ+DAZ already set, and round-toward-zero with flags pending.
    for (unsigned int csr : { 0x1f80u, 0x9fc0u, 0x7f81u })
    {
        _mm_setcsr (csr);
        process (128);
        const auto after = _mm_getcsr();
        _mm_setcsr (original);
        EXPECT_EQ (after, csr) << std::hex << csr;
    }

    bpm = 133.0;
    processor.setPlayHead (this);
    juce::AudioBuffer<float> buffer (2, 512);
    for (int i = 0; i < 512; ++i)
        buffer.setSample (i % 2, i, std::sin ((float) i));

    // The counter must see one direct allocation, or a pass proves nothing.
    counting = true;
    ::operator delete (::operator new (16));
    for (int n : { 512, 1, 0, 250 })
    {
        juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), 2, n);
        processor.processBlock (view, midi);
    }
    counting = false;
    EXPECT_EQ (allocations.load(), 1);
    processor.setPlayHead (nullptr);
}

// NaN and infinities in the input are heard as silence: from the burst on, the output equals,
// bit for bit, what zeros in their place give (before, it stayed NaN until the plug-in was reloaded).
TEST_F (ProcessorTest, NonFiniteInputIsHeardAsSilence)
{
    constexpr auto nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // clang-format off
    const std::tuple<const char*, std::vector<int>, std::vector<float>> bursts[] {
        // channels, values (sample i of the burst block gets values[i % size], others keep the signal)
        { "one NaN in the left channel", { 0 }, { nan } },
        { "a block of +inf in both", { 0, 1 }, std::vector<float> (256, inf) },
        { "-inf, negative NaN and a signalling NaN on the right", { 1 }, { -inf, -nan, std::numeric_limits<float>::signaling_NaN(), 0.5f } },
    };
    // clang-format on

    AudioPluginAudioProcessor reference;
    for (const auto& [what, burstChannels, values] : bursts)
    {
        SCOPED_TRACE (what);
        processor.prepareToPlay (48000.0, 256);
        reference.prepareToPlay (48000.0, 256);
        juce::Random random (7);
        for (int block = 0; block < 40; ++block)
        {
            juce::AudioBuffer<float> in (2, 256), silenced (2, 256);
            for (int i = 0; i < 2 * 256; ++i)
                in.setSample (i % 2, i / 2, random.nextFloat() - 0.5f);
            silenced.makeCopyOf (in);
            for (int channel : block == 10 ? burstChannels : std::vector<int>())
                for (int i = 0; i < 256; ++i)
                    if (const auto v = values[(size_t) i % values.size()]; ! std::isfinite (v))
                        in.setSample (channel, i, v), silenced.setSample (channel, i, 0.0f);

            processor.processBlock (in, midi);
            reference.processBlock (silenced, midi);
            for (int channel = 0; channel < 2; ++channel)
                ASSERT_EQ (std::memcmp (in.getReadPointer (channel), silenced.getReadPointer (channel), 256 * sizeof (float)), 0) << "block " << block << " channel " << channel;
        }
    }
}

TEST_F (ProcessorTest, BlobBytes)
{
    const auto b = state();
    const auto text = juce::String::fromUTF8 (b.data() + 8, (int) b.size() - 9);
    EXPECT_EQ (b.substr (0, 4) + std::to_string (juce::ByteOrder::littleEndianInt (b.data() + 4)) + b.back(), "VC2!" + std::to_string (b.size() - 9) + '\0');
    EXPECT_EQ (text.indexOfAnyOf ("\r\n"), -1);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <corvantide><PARAM id=\"amp\" value=\"")) << text;

    // Children stand in ascending id order until a restore brings another.
    auto saved = juce::ValueTree::fromXml (text);
    EXPECT_EQ (saved.getNumChildren(), 29);
    for (int i = 1; i < saved.getNumChildren(); ++i)
        EXPECT_LT (saved.getChild (i - 1)["id"].toString(), saved.getChild (i)["id"].toString());
    restore (blob (tree ("<PARAM id=\"res\" value=\"12\"/><PARAM id=\"amp\" value=\"1\"/>")));
    saved = juce::ValueTree::fromXml (state().c_str() + 8);
    EXPECT_EQ (saved.getChild (0)["id"].toString() + saved.getChild (1)["id"].toString(), "resamp");
}

// The same bytes as a state blob (framed unless they start with "VC2") and as a preset file.
// A refused input changes nothing; a taken one changes what its row says, and the host saves that next.
TEST_F (ProcessorTest, InputsAsStateAndAsPresetFile)
{
    std::string utf16 ("\xff\xfe");
    for (auto c : wet25)
        utf16 += { c, '\0' };

    // clang-format off
    const std::tuple<std::string, bool, bool, Values> cases[] {
        // text, taken as state, taken as preset, changes when taken
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
        { "", false, false, {} },
        // Texts that hang the XML reader, take it past its buffers or let malformed text in.
        { tree ("<?x?>b<PARAM id=\"drywet\" value=\"25\"/>"), false, false, {} },
        { "<corvantide><PARAM id=\"drywet\" value=\"&#x", false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#x110000;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#0;25\"/>"), false, false, {} },
        { "<!DOCTYPE c [<!ENTITY a \"25\">]>" + tree ("<PARAM id=\"drywet\" value=\"&a;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xc3\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xf4\x90\x80\x80\"/>"), false, false, {} },
        // The blob's frame: 8 bytes, wrong magic, length 0 or negative; a length past the data is fine.
        { blob (wet25).substr (0, 8), false, false, {} },
        { "VC2?" + blob (wet25).substr (4), false, false, {} },
        { blob (wet25, 0), false, false, {} },
        { blob (wet25, 0x80000010), false, false, {} },
        { blob (wet25, 1000000), true, false, { { "drywet", 25.0f } } },
        // Exponents beyond an int are infinity or zero; leading zeros are not counted.
        { tree ("<PARAM id=\"cutoff\" value=\"1e11111111111\"/><PARAM id=\"drywet\" value=\"1E-99999999999999999999\"/>"
                "<PARAM id=\"res\" value=\"5e0000000000001\"/>"), true, true, { { "cutoff", 11000.0f }, { "drywet", 0.0f }, { "res", 50.0f } } },
        // One past each size limit.
        { ofBytes (Limits::maxBytes + 1), false, false, {} },
        { withRootAttributes (Limits::maxAttributes + 1), false, false, {} },
        { withElements (Limits::maxElements + 1), false, false, {} },
        { ofDepth (Limits::maxDepth + 1), false, false, {} },
    };
    // clang-format on

    for (const auto& [text, takenAsState, takenAsPreset, changes] : cases)
    {
        for (const bool asState : { true, false })
        {
            SCOPED_TRACE (text + (asState ? " as state" : " as preset"));
            scramble (1);
            manager.currentPresetName = "kept";
            const bool taken = asState ? takenAsState : takenAsPreset;
            auto expected = values();
            for (const auto& [id, value] : changes)
                expected[id] = taken ? value : expected[id];

            if (asState)
                restore (text.rfind ("VC2", 0) == 0 ? text : blob (text));
            else if (folder.getChildFile ("In.cvp").replaceWithData (text.data(), text.size()))
                manager.loadPresetFile (folder.getChildFile ("In.cvp"));
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

// The largest texts within the limits restore quickly, and far larger ones (20,000 attributes
// took 4.3 s, nesting 20,000 deep 18 s) are refused as quickly.
TEST_F (ProcessorTest, SizeLimitsKeepRestoresShort)
{
#if defined(__SANITIZE_ADDRESS__)
    const double boundMs = 1000.0; // the instrumented build runs several times slower
#else
    const double boundMs = 100.0;
#endif
    // clang-format off
    const std::tuple<const char*, std::string, bool> cases[] {
        { "bytes", ofBytes (Limits::maxBytes), true },
        { "attributes on the root", withRootAttributes (Limits::maxAttributes), true },
        { "attributes on a parameter", withParamAttributes (Limits::maxAttributes), true },
        { "elements", withElements (Limits::maxElements), true },
        { "depth", ofDepth (Limits::maxDepth), true },
        { "20,000 attributes", withRootAttributes (20000), false },
        { "20,000 deep", ofDepth (20000), false },
        { "16 MB", ofBytes (16 << 20), false },
    };
    // clang-format on

    for (const auto& [what, text, taken] : cases)
    {
        for (const bool asState : { true, false })
        {
            SCOPED_TRACE (std::string (what) + (asState ? " as state" : " as preset"));
            processor.valueTreeState->getParameter ("drywet")->setValueNotifyingHost (1.0f);
            const auto file = folder.getChildFile ("Large.cvp");
            const auto state = asState ? blob (text) : std::string();
            ASSERT_TRUE (asState || file.replaceWithData (text.data(), text.size()));

            const auto start = std::chrono::steady_clock::now();
            asState ? restore (state) : manager.loadPresetFile (file);
            const auto ms = std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count();
            EXPECT_LT (ms, boundMs);
            EXPECT_EQ (values()["drywet"], taken ? 25.0f : 100.0f);
        }
    }
}

TEST_F (ProcessorTest, SavedPresetFile)
{
    // An unknown child with a long id stays in the state and shows the wrapping.
    const juce::String longId ("averyveryveryveryveryveryverylongidentifierthatnoparameterhasatall");
    restore (blob (tree ("<PARAM id=\"" + longId.toStdString() + "\" value=\"1\"/>")));
    scramble (4);
    const auto saved = values();

    const auto file = folder.getChildFile ("My Patch.cvp");
    manager.writePresetFile (file);
    EXPECT_EQ (manager.currentPresetName, "My Patch");
    EXPECT_EQ (manager.presetFiles, std::vector<juce::File> ({ file }));

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
    EXPECT_EQ (manager.presetFiles.size(), 2u);
    EXPECT_FALSE (processor.isSuspended());
}

TEST_F (ProcessorTest, MenuFromARealisticFolder)
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
    EXPECT_EQ (menu.presetFiles.size() == 9 ? menu.presetFiles[2] : juce::File(), folder.getChildFile ("Live.Set/set 1.cvp"));

    // "SAVE PRESET..." opens the dialog through its own action, after the menu has closed.
    juce::PopupMenu::MenuItemIterator first (*menu.presetMenu);
    ASSERT_TRUE (first.next());
    first.getItem().action();
    EXPECT_EQ (menu.loaded[9], "save dialog");
}
