#include <atomic>
#include <cstdlib>
#include <cstring>
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
static void* allocate (std::size_t size) // a function of its own, or the compiler pairs new with free
{
    allocations += counting.load() ? 1 : 0;
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new (std::size_t size) { return allocate (size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
// The library's temporary buffers (stable_sort) come from the nothrow form, freed by the sized one above.
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (const std::bad_alloc&) { return nullptr; }
}

namespace
{
using Values = std::map<juce::String, float>;
using Limits = qnmr::StateLimits;

const std::string wetChild = "<PARAM id=\"drywet\" value=\"25\"/>";
std::string tree (const std::string& children) { return "<corvantide>" + children + "</corvantide>"; }
const std::string wet25 = tree (wetChild);

// "VC2!", the length n in little-endian order, the text and a zero byte.
std::string blob (const std::string& xml, juce::uint32 n)
{
    return "VC2!" + std::string ({ (char) n, (char) (n >> 8), (char) (n >> 16), (char) (n >> 24) }) + xml + '\0';
}

// Texts that set drywet to 25 and just reach a size limit when `n` is the limit. Each restores, and so must the
// state saved after it, though its text alone would not fit the limits again.
std::string times (int n, const char* text) { return juce::String::repeatedString (text, n).toStdString(); }
std::string ofBytes (int n) { return tree ("<!--" + times (n - 7 - (int) wet25.size(), "x") + "-->" + wetChild); }
std::string withAttributes (int n)
{
    std::string attributes;
    for (int i = 0; i < n - 2; ++i)
        attributes += " a" + std::to_string (i) + "=\"\"";
    return "<corvantide" + attributes + ">" + wetChild + "</corvantide>";
}
std::string withElements (int n) { return tree (wetChild + times (n - 2, "<x/>")); }
std::string ofDepth (int n) { return tree (wetChild + times (n - 2, "<a>") + "<a/>" + times (n - 2, "</a>")); }

struct ProcessorTest : ::testing::Test, juce::AudioPlayHead
{
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setBpm (bpm);
        return info;
    }

    // A view on a buffer made beforehand, so that the block itself is all that may allocate.
    void process (int numSamples, int channels = 2)
    {
        juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), channels, numSamples);
        processor.processBlock (view, midi);
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

    void restore (const std::string& b, int size = -1) { processor.setStateInformation (b.data(), size < 0 ? (int) b.size() : size); }

    TempHome home;
    AudioPluginAudioProcessor processor;
    qnmr::PresetsMenuManager& manager { *processor.presetManager };
    juce::File folder { home.presetFolder() };
    juce::AudioBuffer<float> buffer { 2, 512 };
    juce::MidiBuffer midi;
    juce::Optional<double> bpm;
};
} // namespace

// Every block, even one of no samples, carries the tempo and the parameters to the engine, allocates nothing
// and leaves the caller's floating-point mode as it found it. Only stereo in, stereo out.
TEST_F (ProcessorTest, TempoParametersAndBuses)
{
    processor.prepareToPlay (44100.9, 512);
    EXPECT_EQ (processor.engine->getSampleRate(), 44100);
    processor.setPlayHead (this);
    buffer.clear();
    const auto original = _mm_getcsr();
    for (unsigned int csr : { 0x1f80u, 0x9fc0u, 0x7f81u }) // default, FTZ+DAZ already set, round-toward-zero with flags pending
    {
        _mm_setcsr (csr);
        process (128);
        const auto after = _mm_getcsr();
        _mm_setcsr (original);
        EXPECT_EQ (after, csr) << std::hex << csr;
    }

    bpm = 87.5;
    processor.valueTreeState->getParameter ("cutoff")->setValueNotifyingHost (0.5f);
    counting = true;
    ::operator delete (::operator new (16)); // the counter must see this one, or a pass proves nothing
    process (0); // a block of no samples still carries the tempo and the parameters (as plain values)
    counting = false;
    EXPECT_EQ (*processor.bpmZone->zone, 87.5f);
    for (const auto& entry : processor.bridge->entries)
        EXPECT_TRUE (entry.id != "cutoff" || *entry.info->zone == 2795.0f) << *entry.info->zone;
    counting = true;
    for (int n : { 512, 1, 250 })
        process (n);
    process (32, 1); // narrower than the engine's two channels: must not reach past them
    counting = false;
    EXPECT_EQ (allocations.load(), 1);
    processor.setPlayHead (nullptr);

    using Set = juce::AudioChannelSet;
    // clang-format off
    const std::pair<Set, Set> layouts[] { { Set::stereo(), Set::stereo() }, { Set::mono(), Set::stereo() },
                                          { Set::disabled(), Set::stereo() }, { Set::stereo(), Set::mono() } };
    // clang-format on
    for (const auto& [in, out] : layouts)
        EXPECT_EQ (processor.checkBusesLayoutSupported ({ { in }, { out } }), &in == &layouts[0].first) << in.getDescription() << " / " << out.getDescription();
}

// NaN and infinities in the input are heard as silence: from the burst on, the output equals, bit for bit, what
// zeros in their place give (before, it stayed NaN until the plug-in was reloaded). The burst fills every other
// sample of both channels, the last one included: blocks of 255 leave a tail after the guard's runs of 8.
TEST_F (ProcessorTest, NonFiniteInputIsHeardAsSilence)
{
    constexpr auto nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float burst[] { inf, -nan, std::numeric_limits<float>::signaling_NaN(), -inf };
    AudioPluginAudioProcessor reference;
    processor.prepareToPlay (48000.0, 255);
    reference.prepareToPlay (48000.0, 255);
    juce::AudioBuffer<float> in (2, 255), silenced (2, 255);
    juce::Random random (7);
    for (int block = 0; block < 30; ++block)
    {
        for (int channel = 0; channel < 2; ++channel)
            for (int i = 0; i < 255; ++i)
            {
                const auto signal = random.nextFloat() - 0.5f;
                const bool burstHere = block == 10 && (i + channel) % 2 == 0;
                in.setSample (channel, i, burstHere ? burst[i % 4] : signal);
                silenced.setSample (channel, i, burstHere ? 0.0f : signal);
            }
        processor.processBlock (in, midi);
        reference.processBlock (silenced, midi);
        for (int channel = 0; channel < 2; ++channel)
            ASSERT_EQ (std::memcmp (in.getReadPointer (channel), silenced.getReadPointer (channel), 255 * sizeof (float)), 0)
                << "block " << block << " channel " << channel;
    }
}

// No state keeps the host's thread busy: the slowest shapes within the limits, and far larger ones,
// which are refused before parsing.
TEST_F (ProcessorTest, RestoresStayShort)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr double bound = 1000.0;
#else
    constexpr double bound = 100.0;
#endif
    for (const auto& text : { withAttributes (Limits::maxAttributes), withElements (Limits::maxElements), ofBytes (Limits::maxBytes),
                              withAttributes (20000), ofDepth (20000), ofBytes (16 << 20) })
    {
        const auto b = blob (text, (juce::uint32) text.size());
        const auto start = juce::Time::getMillisecondCounterHiRes();
        restore (b);
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, bound) << text.size() << " bytes";
    }
}

// The same bytes as a state blob (framed unless they start with "VC2") and as a preset file. A refused input
// changes nothing; a taken one changes what its row says, and the host saves that next.
TEST_F (ProcessorTest, InputsAsStateAndAsPresetFile)
{
    std::string utf16 ("\xff\xfe");
    for (auto c : wet25)
        utf16 += { c, '\0' };

    const Values wet { { "drywet", 25.0f } };
    // clang-format off
    const std::tuple<std::string, bool, bool, Values> cases[] {
        // text, taken as state, taken as preset, changes when taken
        { wet25, true, true, wet },
        { "<CORVANTIDE>" + wetChild + "</CORVANTIDE>", false, true, wet },
        { utf16, false, true, wet },
        { tree ("<PARAM id=\"drywet\" value=\"&#x32;&#53;\" value=\"90\"/><PARAM id=\"nothing\" value=\"3\"/>"), true, true, wet },
        // No value and NaN take the default; the rest is limited to the range.
        { tree ("<PARAM id=\"amp\"/><PARAM id=\"res\" value=\"nan\"/><PARAM id=\"lowpan\" value=\"-inf\"/><PARAM id=\"cutoff\" value=\"1e39\"/>"),
          true, true, { { "amp", 0.0f }, { "res", 40.0f }, { "lowpan", -1.0f }, { "cutoff", 11000.0f } } },
        { "<settings>" + wetChild + "</settings>", false, false, {} },
        // Texts that hang the XML reader, take it past its buffers or let malformed text in.
        { tree ("<?x?>b" + wetChild), false, false, {} },
        { "<corvantide><PARAM id=\"drywet\" value=\"&#x", false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#x110000;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#0;25\"/>"), false, false, {} },
        { "<!DOCTYPE c [<!ENTITY a \"25\">]>" + tree ("<PARAM id=\"drywet\" value=\"&a;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xc3\"/>"), false, false, {} },
        // The blob's frame: wrong magic, a negative length; a length past the data is fine.
        { "VC2?" + blob (wet25, (juce::uint32) wet25.size()).substr (4), false, false, {} },
        { blob (wet25, 0x80000010), false, false, {} },
        { blob (wet25, 1000000), true, false, wet },
        // Exponents of ten digits and more overflow an int: infinity or zero. Leading zeros are not counted.
        { tree ("<PARAM id=\"cutoff\" value=\"1e4294967297\"/><PARAM id=\"drywet\" value=\"1E-99999999999999999999\"/>"
                "<PARAM id=\"res\" value=\"5e0000000000001\"/>"), true, true, { { "cutoff", 11000.0f }, { "drywet", 0.0f }, { "res", 50.0f } } },
        // At each size limit and one past it.
        { ofBytes (Limits::maxBytes), true, true, wet },
        { withAttributes (Limits::maxAttributes), true, true, wet },
        { withElements (Limits::maxElements), true, true, wet },
        { ofDepth (Limits::maxDepth), true, true, wet },
        { ofBytes (Limits::maxBytes + 1), false, false, {} },
        { withAttributes (Limits::maxAttributes + 1), false, false, {} },
        { withElements (Limits::maxElements + 1), false, false, {} },
        { ofDepth (Limits::maxDepth + 1), false, false, {} },
    };
    // clang-format on

    for (const auto& [text, takenAsState, takenAsPreset, changes] : cases)
        for (const bool asState : { true, false })
        {
            SCOPED_TRACE (text.substr (0, 200) + (asState ? " as state" : " as preset"));
            scramble (1);
            manager.currentPresetName = "kept";
            const bool taken = asState ? takenAsState : takenAsPreset;
            auto expected = values();
            for (const auto& [id, value] : changes)
                expected[id] = taken ? value : expected[id];

            const auto file = folder.getChildFile ("In.cvp");
            ASSERT_TRUE (asState || file.replaceWithData (text.data(), text.size()));
            asState ? restore (text.rfind ("VC2", 0) == 0 ? text : blob (text, (juce::uint32) text.size())) : manager.loadPresetFile (file);
            EXPECT_EQ (values(), expected);
            EXPECT_EQ (manager.currentPresetName, ! asState && taken ? "In" : "kept");
            EXPECT_FALSE (processor.isSuspended());

            // A preset's root matches in any case, but the state keeps its own type: the host's copy restores.
            juce::MemoryBlock saved;
            processor.getStateInformation (saved);
            scramble (2);
            processor.setStateInformation (saved.getData(), (int) saved.getSize());
            EXPECT_EQ (values(), expected);
        }

    // Only the bytes handed over count, not the memory behind them.
    processor.valueTreeState->getParameter ("drywet")->setValueNotifyingHost (1.0f);
    const auto unterminated = blob (wet25, 1000000).substr (0, 8 + wet25.size()) + "\xff";
    restore (unterminated, (int) unterminated.size() - 1);
    EXPECT_EQ (values()["drywet"], 25.0f);
}

// A preset saved into a realistic folder, the menu of that folder, and the saved preset chosen from it.
TEST_F (ProcessorTest, PresetFileAndMenu)
{
    for (auto name : { "Bass/b.cvp", "Bass/a.cvp", "z.cvp", "preset 10.cvp", "preset 2.cvp", "LOUD.CVP", ".hidden.cvp", "bass.mk.cvp", "notes.txt",
                       "Bass/readme.md", "Bass/Deep/deep.cvp", "Empty/", "Live.Set/" })
    {
        const auto file = folder.getChildFile (name);
        file.getParentDirectory().createDirectory();
        juce::String (name).endsWith ("/") ? file.createDirectory() : file.create();
    }
    scramble (4);
    const auto saved = values();
    const auto file = folder.getChildFile ("Live.Set/set 1.cvp");
    manager.writePresetFile (file);
    EXPECT_EQ (manager.currentPresetName, "set 1");
    const auto text = file.loadFileAsString();
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<corvantide>\r\n  <PARAM id=\"")) << text;
    EXPECT_EQ (text.replace ("\r\n  <PARAM id=\"", "@").retainCharacters ("@<").length(), 29 + 3) << "one child a line";

    // Folders first, then natural order ignoring case; one level of sub-folders; menu item id i + 1 is file i.
    juce::StringArray files;
    for (const auto& f : manager.presetFiles)
        files.add (f.getRelativePathFrom (folder));
    EXPECT_EQ (files.joinIntoString (","), "Bass/a.cvp,Bass/b.cvp,Live.Set/set 1.cvp,.hidden.cvp,bass.mk.cvp,LOUD.CVP,preset 2.cvp,preset 10.cvp,z.cvp");

    // 0 (dismissed), -1 (the save item) and ids past the list load nothing.
    scramble (5);
    for (int id : { 0, -1, 10, 3 })
        manager.onPresetChosen (id);
    EXPECT_EQ (manager.currentPresetName + juce::String (manager.currentPresetIndex), "set 12");
    EXPECT_EQ (values(), saved);
}
