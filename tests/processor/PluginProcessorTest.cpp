#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <xmmintrin.h>

#include <gtest/gtest.h>

#include "presets/StateTree.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/ParameterValues.h"
#include "support/SmallStackThread.h"

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
// Kept out of line: inlined into a test, the compiler sees free() meet a pointer from new and warns.
[[gnu::noinline]] void operator delete (void* p) noexcept { std::free (p); }
[[gnu::noinline]] void operator delete (void* p, std::size_t) noexcept { std::free (p); }
// The library's temporary buffers (stable_sort) come from the nothrow form, freed by the sized one above.
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (const std::bad_alloc&) { return nullptr; }
}

namespace
{
using Metadata = std::map<std::string, std::string>;

Metadata slider (const char* min, const char* max, const char* step, const char* init, Metadata extra = {})
{
    extra.insert ({ { "uid", "p" }, { "min", min }, { "max", max }, { "step", step }, { "init", init } });
    return extra;
}

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
std::string withParamAttributes (int n)
{
    std::string attributes;
    for (int i = 0; i < n - 2; ++i)
        attributes += " a" + std::to_string (i) + "=\"\"";
    return tree ("<PARAM id=\"drywet\" value=\"25\"" + attributes + "/>");
}
std::string withElements (int n) { return tree (wetChild + times (n - 2, "<x/>")); }
std::string ofDepth (int n) { return tree (wetChild + times (n - 2, "<a>") + "<a/>" + times (n - 2, "</a>")); }
// The same depth behind a value without quotes, where the reader ends the element and reads on in its parent.
std::string ofDepthAfterBareValue (int n) { return tree (wetChild + "<PARAM id=\"x\" value=" + times (n - 2, "<a>") + "<a/>" + times (n - 2, "</a>")); }
// A quote where an attribute name should stand opens no value for the reader: it records an error and reads
// on, so everything up to the second quote is nested `levels` deep.
std::string nestedInStrayQuotes (char quote, const std::string& before, int levels)
{
    return "<corvantide><PARAM " + before + quote + times (levels, "<a>") + quote + "/></corvantide>";
}

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

    Values values() { return parameterValues (processor); }

    void scramble (int seed)
    {
        juce::Random random (seed);
        for (auto* param : processor.getParameters())
            param->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
    }

    void restore (const std::string& b, int size = -1) { processor.setStateInformation (b.data(), size < 0 ? (int) b.size() : size); }

    std::string state()
    {
        juce::MemoryBlock b;
        processor.getStateInformation (b);
        return std::string (static_cast<const char*> (b.getData()), b.getSize());
    }

    TempHome home;
    AudioPluginAudioProcessor processor;
    qnmr::PresetsMenuManager& manager { *processor.presetManager };
    juce::File folder { home.presetFolder() };
    juce::AudioBuffer<float> buffer { 2, 512 };
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

// Every block, even one of no samples, carries the tempo and the parameters to the engine, allocates nothing
// and leaves the caller's floating-point mode as it found it. Only stereo in, stereo out.
TEST_F (ProcessorTest, TempoParametersAndBuses)
{
    // The framework shows the one program to the host; VST3 validation refuses a nameless one.
    EXPECT_FALSE (processor.getProgramName (0).isEmpty());
    processor.prepareToPlay (44100.9, 512);
    EXPECT_EQ (processor.engine->getSampleRate(), 44100);
    buffer.clear();
    process (64);
    EXPECT_EQ (*processor.bpmZone->zone, 120.0f) << "no play head";
    processor.setPlayHead (this);
    const auto original = _mm_getcsr();
    for (unsigned int csr : { 0x1f80u, 0x9fc0u, 0x7f81u }) // default, FTZ+DAZ already set, round-toward-zero with flags pending
    {
        _mm_setcsr (csr);
        process (128);
        const auto after = _mm_getcsr();
        _mm_setcsr (original);
        EXPECT_EQ (after, csr) << std::hex << csr;
    }
    EXPECT_EQ (*processor.bpmZone->zone, 120.0f) << "no tempo";

    bpm = 87.5;
    // Each kind of parameter: a choice, a skewed and a linear number.
    const std::tuple<const char*, float, float> sets[] { { "pitchstage", 1.0f, 2.0f }, { "cutoff", 0.5f, 2795.0f }, { "drywet", 0.5f, 50.0f } };
    for (const auto& [id, normalised, value] : sets)
        processor.valueTreeState->getParameter (id)->setValueNotifyingHost (normalised);
    for (int i = 0; i < 512; ++i) // a signal, not silence, from here on
        buffer.setSample (i % 2, i, std::sin ((float) i));
    counting = true;
    ::operator delete (::operator new (16)); // the counter must see this one, or a pass proves nothing
    process (0); // a block of no samples still carries the tempo and the parameters (as plain values)
    counting = false;
    EXPECT_EQ (*processor.bpmZone->zone, 87.5f);
    for (const auto& [id, normalised, value] : sets)
        for (const auto& entry : processor.bridge->entries)
            EXPECT_TRUE (entry.id != id || *entry.info->zone == value) << id << " " << *entry.info->zone;
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
                                          { Set::disabled(), Set::stereo() }, { Set::stereo(), Set::mono() },
                                          { Set::mono(), Set::mono() }, { Set::create5point1(), Set::create5point1() } };
    // clang-format on
    for (const auto& [in, out] : layouts)
        EXPECT_EQ (processor.checkBusesLayoutSupported ({ { in }, { out } }), &in == &layouts[0].first) << in.getDescription() << " / " << out.getDescription();
}

// NaN and infinities in the input are heard as silence: from the burst on, the output equals, bit for bit, what
// zeros in their place give (before, it stayed NaN until the plug-in was reloaded). Blocks of 255 leave a tail
// after the guard's runs of 8.
TEST_F (ProcessorTest, NonFiniteInputIsHeardAsSilence)
{
    constexpr auto nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // clang-format off
    const std::tuple<const char*, int, std::vector<int>, int, std::vector<float>> bursts[] {
        // block size, channels, every how many samples (offset by the channel), values (sample i gets values[i % size])
        { "every other sample of both channels, the last one included", 255, { 0, 1 }, 2, { inf, -nan, std::numeric_limits<float>::signaling_NaN(), -inf } },
        { "a block of NaN in the left channel", 256, { 0 }, 1, { nan } },
        { "a block of +inf in both", 256, { 0, 1 }, 1, { inf } },
        { "-inf, negative NaN and a signalling NaN on the right", 256, { 1 }, 1, { -inf, -nan, std::numeric_limits<float>::signaling_NaN(), 0.5f } },
    };
    // clang-format on

    AudioPluginAudioProcessor reference;
    for (const auto& [what, size, burstChannels, every, burst] : bursts)
    {
        SCOPED_TRACE (what);
        processor.prepareToPlay (48000.0, size);
        reference.prepareToPlay (48000.0, size);
        juce::AudioBuffer<float> in (2, size), silenced (2, size);
        juce::Random random (7);
        for (int block = 0; block < 30; ++block)
        {
            for (int channel = 0; channel < 2; ++channel)
                for (int i = 0; i < size; ++i)
                {
                    const auto signal = random.nextFloat() - 0.5f;
                    const auto inBurst = block == 10 && std::count (burstChannels.begin(), burstChannels.end(), channel) > 0 && (i + channel) % every == 0;
                    const auto value = inBurst ? burst[(size_t) i % burst.size()] : signal;
                    in.setSample (channel, i, value);
                    silenced.setSample (channel, i, std::isfinite (value) ? value : 0.0f);
                }
            processor.processBlock (in, midi);
            reference.processBlock (silenced, midi);
            for (int channel = 0; channel < 2; ++channel)
                ASSERT_EQ (std::memcmp (in.getReadPointer (channel), silenced.getReadPointer (channel), (size_t) size * sizeof (float)), 0)
                    << "block " << block << " channel " << channel;
        }
    }
}

// No state keeps the host's thread busy: the slowest shapes within the limits, and far larger ones,
// which are refused before parsing; as a state and as a preset file.
TEST_F (ProcessorTest, RestoresStayShort)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr double bound = 1000.0;
#else
    constexpr double bound = 100.0;
#endif
    // clang-format off
    const std::pair<std::string, bool> cases[] { { withAttributes (Limits::maxAttributes), true }, { withParamAttributes (Limits::maxAttributes), true },
                                                 { withElements (Limits::maxElements), true }, { tree (times (Limits::maxElements - 1, wetChild.c_str())), true },
                                                 { ofBytes (Limits::maxBytes), true }, { ofDepth (Limits::maxDepth), true },
                                                 { withAttributes (20000), false }, { ofDepth (20000), false }, { ofBytes (16 << 20), false },
                                                 { nestedInStrayQuotes ('"', "", 21000), false } };
    // clang-format on
    for (const auto& [text, taken] : cases)
        for (const bool asState : { true, false })
        {
            SCOPED_TRACE (std::to_string (text.size()) + (asState ? " bytes as state" : " bytes as preset"));
            processor.valueTreeState->getParameter ("drywet")->setValueNotifyingHost (1.0f);
            const auto file = folder.getChildFile ("Large.cvp");
            const auto b = asState ? blob (text, (juce::uint32) text.size()) : std::string();
            ASSERT_TRUE (asState || file.replaceWithData (text.data(), text.size()));
            const auto start = juce::Time::getMillisecondCounterHiRes();
            SmallStackThread::run ([&] { asState ? restore (b) : manager.loadPresetFile (file); });
            EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, bound);
            EXPECT_EQ (values()["drywet"], taken ? 25.0f : 100.0f);
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
    const auto resAmp = tree ("<PARAM id=\"res\" value=\"12\"/><PARAM id=\"amp\" value=\"1\"/>");
    restore (blob (resAmp, (juce::uint32) resAmp.size()));
    saved = juce::ValueTree::fromXml (state().c_str() + 8);
    EXPECT_EQ (saved.getChild (0)["id"].toString() + saved.getChild (1)["id"].toString(), "resamp");
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
    std::vector<std::tuple<std::string, bool, bool, Values>> cases {
        // text, taken as state, taken as preset, changes when taken
        { wet25, true, true, wet },
        { "<CORVANTIDE>" + wetChild + "</CORVANTIDE>", false, true, wet },
        { utf16, false, true, wet },
        { tree ("<PARAM id=\"drywet\" value=\"&#x32;&#53;\" value=\"90\"/><PARAM id=\"nothing\" value=\"3\"/>"), true, true, wet },
        // No value and NaN take the default; the rest is limited to the range.
        { tree ("<PARAM id=\"amp\"/><PARAM id=\"res\" value=\"nan\"/><PARAM id=\"lowpan\" value=\"-inf\"/><PARAM id=\"cutoff\" value=\"1e39\"/>"),
          true, true, { { "amp", 0.0f }, { "res", 40.0f }, { "lowpan", -1.0f }, { "cutoff", 11000.0f } } },
        { "<settings>" + wetChild + "</settings>", false, false, {} },
        { "<corvantide><PARAM id=\"drywet\" value=\"25\"></corvantide>", false, false, {} },
        { "", false, false, {} },
        // Texts that hang the XML reader, take it past its buffers or let malformed text in.
        { tree ("<?x?>b" + wetChild), false, false, {} },
        { "<corvantide><PARAM id=\"drywet\" value=\"&#x", false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#x110000;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"&#0;25\"/>"), false, false, {} },
        { "<!DOCTYPE c [<!ENTITY a \"25\">]>" + tree ("<PARAM id=\"drywet\" value=\"&a;\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xc3\"/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\xf4\x90\x80\x80\"/>"), false, false, {} },
        // Comments and CDATA are not markup: what users write in them is never looked into.
        { "<!-- <!DOCTYPE c> -->" + tree ("<!-- by A & B -->" + wetChild + "<!-- was <?old?> &#0; -->"), true, true, wet },
        { tree ("<PARAM <!-- & --> id=\"drywet\" value=\"25\"/><![CDATA[a & <?b?>]]>"), true, true, wet },
        // ...but a comment's start inside a value is no comment, and a CDATA section counts only inside an element.
        { tree (R"(<PARAM note="<!--" id="drywet" value="25" end="-->"/>)"), true, true, wet },
        { "<![CDATA[&]]>" + wet25, false, false, {} },
        // A byte-order mark and nothing after it.
        { "\xef\xbb\xbf", false, false, {} },
        // The blob's frame: 8 bytes, wrong magic, length 0 or negative; a length past the data is fine.
        { blob (wet25, (juce::uint32) wet25.size()).substr (0, 8), false, false, {} },
        { "VC2?" + blob (wet25, (juce::uint32) wet25.size()).substr (4), false, false, {} },
        { blob (wet25, 0), false, false, {} },
        { blob (wet25, 0x80000010), false, false, {} },
        { blob (wet25, 1000000), true, false, wet },
        // Exponents of ten digits and more overflow an int: infinity or zero. Leading zeros are not counted.
        { tree ("<PARAM id=\"cutoff\" value=\"1e4294967297\"/><PARAM id=\"drywet\" value=\"1E-99999999999999999999\"/>"
                "<PARAM id=\"res\" value=\"5e0000000000001\"/>"), true, true, { { "cutoff", 11000.0f }, { "drywet", 0.0f }, { "res", 50.0f } } },
        { tree ("<PARAM id=\"cutoff\" value=\"1e11111111111\"/>"), true, true, { { "cutoff", 11000.0f } } },
        // At each size limit and one past it.
        { ofBytes (Limits::maxBytes), true, true, wet },
        { withAttributes (Limits::maxAttributes), true, true, wet },
        { withParamAttributes (Limits::maxAttributes), true, true, wet },
        { withElements (Limits::maxElements), true, true, wet },
        { ofDepth (Limits::maxDepth), true, true, wet },
        { ofBytes (Limits::maxBytes + 1), false, false, {} },
        { withAttributes (Limits::maxAttributes + 1), false, false, {} },
        { withElements (Limits::maxElements + 1), false, false, {} },
        { ofDepth (Limits::maxDepth + 1), false, false, {} },
        // A value without quotes ends its element; what follows counts as the parent's content.
        { ofDepthAfterBareValue (Limits::maxDepth), true, true, wet },
        { ofDepthAfterBareValue (Limits::maxDepth + 1), false, false, {} },
        // Blanks around '=' and single quotes are the reader's too; a raw '<', and a byte beyond ASCII where a
        // blank or a name should stand, are not.
        { tree ("<PARAM\r\n id = 'drywet'\tvalue=\n\"25\" />"), true, true, wet },
        { tree ("<PARAM id=\"drywet\" value=\"25\" <a/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\"25\"\xc2\xa0/>"), false, false, {} },
        { tree ("<PARAM id=\"drywet\" value=\xe3\x80\x80\"25\"/>"), false, false, {} },
    };
    // Stray quotes around deep nesting, within every limit the walk counted before: each kind of quote, with
    // and without attributes before it, at depths from the limit to the 63 KB that fit the byte limit.
    for (const char quote : { '"', '\'' })
        for (const std::string before : { "", "id=\"drywet\" value=\"25\" " })
            for (const int levels : { Limits::maxDepth - 2, Limits::maxDepth, 1000, 3000, 7000, 21000 })
                cases.push_back ({ nestedInStrayQuotes (quote, before, levels), false, false, {} });
    // The reader decodes an over-long '<' (C0 BC, E0 80 BC) as '<', where a check of bytes sees text; a
    // surrogate's or an over-long digit's bytes turn into other text once decoded.
    for (const std::string lessThan : { "\xc0\xbc", "\xe0\x80\xbc" })
        for (const int levels : { Limits::maxDepth + 1, 3000, 7000 })
        {
            std::string nested;
            for (int level = 0; level < levels; ++level)
                nested += lessThan + "a>";
            cases.push_back ({ tree (nested), false, false, {} });
        }
    cases.push_back ({ tree ("<PARAM id=\"drywet\" value=\"2\xc0\xb5\"/>"), false, false, {} });
    cases.push_back ({ tree ("<PARAM id=\"drywet\" value=\"25\xed\xa0\x80\"/>"), false, false, {} });
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
            const auto b = text.rfind ("VC2", 0) == 0 ? text : blob (text, (juce::uint32) text.size());
            SmallStackThread::run ([&] { asState ? restore (b) : manager.loadPresetFile (file); });
            EXPECT_EQ (values(), expected);
            EXPECT_EQ (manager.currentPresetName, ! asState && taken ? "In" : "kept");
            EXPECT_FALSE (processor.isSuspended());
            EXPECT_EQ (processor.valueTreeState->state.getType().toString(), "corvantide");

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
    EXPECT_TRUE (text.endsWith ("\"/>\r\n</corvantide>\r\n"));
    EXPECT_EQ (text.replace ("\r\n", "").indexOfAnyOf ("\r\n"), -1) << "a bare CR or LF";
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

    // The menu itself: a new one starts at INIT, items show names without the extension, an empty folder
    // still gets its sub-menu, and every id loads its own file.
    RecordingManager menu (processor);
    EXPECT_EQ (menu.currentPresetName + juce::String (menu.currentPresetIndex), "INIT-1");
    juce::StringArray lines;
    describe (*menu.presetMenu, lines);
    EXPECT_EQ (lines.joinIntoString (" | "), "SAVE PRESET... -1 | - | [Bass] | a 1 | b 2 | [Empty] | [Live.Set] | set 1 3 | "
                                             ".hidden 4 | bass.mk 5 | LOUD 6 | preset 2 7 | preset 10 8 | z 9");
    for (int id = 0; id <= 10; ++id)
        menu.onPresetChosen (id);
    menu.onPresetChosen (-1);
    EXPECT_EQ (menu.loaded.joinIntoString (","), "a.cvp,b.cvp,set 1.cvp,.hidden.cvp,bass.mk.cvp,LOUD.CVP,preset 2.cvp,preset 10.cvp,z.cvp");
    EXPECT_EQ (menu.currentPresetIndex, 8);

    // "SAVE PRESET..." opens the dialog through its own action, after the menu has closed.
    juce::PopupMenu::MenuItemIterator first (*menu.presetMenu);
    ASSERT_TRUE (first.next());
    first.getItem().action();
    EXPECT_EQ (menu.loaded[9], "save dialog");
}

// A preset file that cannot be written keeps the current name; the menu is still rebuilt.
TEST_F (ProcessorTest, FailedPresetWriteKeepsTheName)
{
    const auto blocker = folder.getChildFile ("New.cvp");
    ASSERT_TRUE (blocker.create());
    manager.currentPresetName = "Before";
    manager.writePresetFile (blocker.getChildFile ("New.cvp"));
    EXPECT_EQ (manager.currentPresetName, "Before");
    EXPECT_EQ (manager.presetFiles, std::vector<juce::File> ({ blocker }));
    EXPECT_FALSE (processor.isSuspended());
}

namespace
{
// Sets a parameter to a value in its own range.
void setRaw (AudioPluginAudioProcessor& p, const char* id, float value)
{
    auto* parameter = p.valueTreeState->getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}
} // namespace

// The tail query runs on whatever thread a host likes: it allocates nothing and is cheap. Settings whose echoes
// are never heard leave only the output's own short ring; what the engine runs as 192 kHz gives half the tail at
// 384 kHz; a feedback that would take longer than an hour to die counts as endless.
TEST_F (ProcessorTest, TailFollowsTheSettings)
{
    constexpr double endless = std::numeric_limits<double>::infinity();
    processor.prepareToPlay (48000.0, 512);
    // Only the queries are counted: moving a parameter is the framework's business.
    allocations = 0;
    double queried = 0.0;
    for (int i = 0; i < 200; ++i)
    {
        setRaw (processor, "lowfeed", i % 2 == 0 ? 60.0f : 61.0f);
        counting = true;
        const auto start = juce::Time::getMillisecondCounterHiRes();
        const auto tail = processor.getTailLengthSeconds();
        queried += juce::Time::getMillisecondCounterHiRes() - start;
        counting = false;
        ASSERT_GT (tail, 0.0);
    }
    const auto perQuery = queried / 200.0;
    EXPECT_EQ (allocations.load(), 0);
    EXPECT_LT (perQuery, 0.5) << "ms";

    // clang-format off
    const std::tuple<const char*, std::vector<std::pair<const char*, float>>, double, double, double> rows[] {
        // settings, rate, shortest and longest tail in seconds
        { "both bands muted, full feedback", { { "lowfeed", 100 }, { "highfeed", 100 }, { "lowmute", 1 }, { "highmute", 1 } }, 48000, 0.0, 0.1 },
        { "all dry, full feedback", { { "lowfeed", 100 }, { "drywet", 0 } }, 48000, 0.0, 0.1 },
        { "full feedback on the muted band only", { { "lowfeed", 100 }, { "lowmute", 1 } }, 48000, 4.0, 10.0 },
        { "full feedback on the heard band", { { "lowfeed", 100 }, { "highmute", 1 } }, 48000, endless, endless },
        { "a bar, 99 % and full diffusion", { { "lowsyncedtime", 0 }, { "lowfeed", 99 }, { "diffusion", 100 } }, 48000, endless, endless },
        { "a bar, 99 %", { { "lowsyncedtime", 0 }, { "lowfeed", 99 } }, 48000, 1000.0, 3600.0 },
        { "defaults at 192 kHz", {}, 192000, 6.0, 9.0 },
        { "defaults at 384 kHz", {}, 384000, 3.0, 4.5 },
    };
    // clang-format on
    for (const auto& [name, settings, rate, shortest, longest] : rows)
    {
        AudioPluginAudioProcessor fresh;
        for (const auto& [id, value] : settings)
            setRaw (fresh, id, value);
        fresh.prepareToPlay (rate, 512);
        const auto tail = fresh.getTailLengthSeconds();
        EXPECT_TRUE (tail >= shortest && tail <= longest) << name << ": " << tail;
    }
}

// Random settings rendered in-process: the last sample above -90 dBFS after full-scale noise or a low tone
// never comes after the reported tail (tails beyond 40 s are left to the host's table).
TEST_F (ProcessorTest, TailCoversRandomSettings)
{
    // clang-format off
    const std::tuple<const char*, float, float, bool> ranges[] {
        // id, lowest, highest, on a log scale
        { "drywet", 0, 100, false }, { "amp", -20, 6, false }, { "lowamp", -12, 12, false }, { "highamp", -12, 12, false },
        { "lowfeed", 0, 92, false }, { "highfeed", 0, 92, false }, { "diffusion", 0, 100, false }, { "driftdepth", 0, 100, false },
        { "lowdamp", 60, 11000, true }, { "highdamp", 60, 11000, true }, { "cutoff", 60, 11000, true }, { "res", 0, 100, false },
        { "lowtime", 1, 1000, true }, { "hightime", 1, 1000, true }, { "lowsyncedtime", 0, 17, false }, { "highsyncedtime", 0, 17, false },
        { "lowtimesync", 0, 1, false }, { "hightimesync", 0, 1, false }, { "pitchstage", 0, 2, false }, { "delaymode", 0, 1, false },
        { "lowpitch", -24, 24, false }, { "highpitch", -24, 24, false }, { "lowpitchwindow", 32, 4096, false }, { "highpitchwindow", 32, 4096, false },
    };
    // clang-format on
    const float threshold = std::pow (10.0f, -90.0f / 20.0f);
    juce::Random random (1021);
    processor.setPlayHead (this);
    int checked = 0;
    for (int run = 0; run < 40 && checked < 12; ++run)
    {
        for (const auto& [id, lowest, highest, logScale] : ranges)
            setRaw (processor, id, logScale ? lowest * std::pow (highest / lowest, random.nextFloat()) : lowest + (highest - lowest) * random.nextFloat());
        const double rate = random.nextBool() ? 44100.0 : 96000.0;
        bpm = 40.0 + 160.0 * random.nextDouble();
        const int kind = random.nextInt (2);
        processor.prepareToPlay (rate, 512);
        process (512);
        const auto reported = processor.getTailLengthSeconds();
        if (! (reported < 40.0))
            continue;
        ++checked;

        const int burst = (int) (2.5 * rate), length = burst + (int) (rate * (reported * 1.25 + 1.0));
        int lastLoud = burst;
        for (int at = 512; at < length; at += 512)
        {
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i)
                    buffer.setSample (c, i, at + i >= burst ? 0.0f : kind == 0 ? 2.0f * random.nextFloat() - 1.0f : std::sin (6.2831853f * 40.0f * (float) (at + i) / (float) rate));
            process (512);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i)
                    if (std::abs (buffer.getSample (c, i)) > threshold)
                        lastLoud = std::max (lastLoud, at + i + 1);
        }
        EXPECT_LE ((lastLoud - burst) / rate, reported) << "run " << run;
    }
    EXPECT_EQ (checked, 12);
    processor.setPlayHead (nullptr);
}

// A rate the engine cannot run at (not a number, infinite, not positive, or so low that its smoothers diverge)
// runs it as at its lowest rate, 8 kHz: the output is that of 8 kHz to the bit, and the tail as many samples at
// the host's rate (up to an hour). A processor never activated runs as at the framework's default 44.1 kHz.
TEST_F (ProcessorTest, RatesBelowTheFloorRunAsTheFloor)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<std::optional<double>, double> rows[] { { nan, 8000 }, { inf, 8000 }, { -inf, 8000 }, { 0, 8000 }, { -48000, 8000 },
                                                            { 1, 8000 }, { 20, 8000 }, { 22, 8000 }, { std::nullopt, 44100 } };
    // clang-format on
    for (const auto& [rate, as] : rows)
    {
        SCOPED_TRACE (rate ? std::to_string (*rate) : "never activated");
        AudioPluginAudioProcessor given, reference;
        for (auto* p : { &given, &reference }) // damped well below 4 kHz, or the tail at 8 kHz is endless
            for (const char* id : { "lowdamp", "highdamp" })
                setRaw (*p, id, 1000.0f);
        if (rate)
            given.prepareToPlay (*rate, 512);
        reference.prepareToPlay (as, 512);

        juce::Random random (5);
        juce::AudioBuffer<float> out (2, 512), expected (2, 512);
        int bad = 0;
        for (int block = 0; block < 24; ++block)
        {
            for (int i = 0; i < 1024; ++i)
                out.setSample (i / 512, i % 512, random.nextFloat() - 0.5f);
            expected.makeCopyOf (out);
            given.processBlock (out, midi);
            reference.processBlock (expected, midi);
            for (int c = 0; c < 2; ++c) // NaN or not, any sample unlike the reference's
                bad += std::memcmp (out.getReadPointer (c), expected.getReadPointer (c), 512 * sizeof (float)) != 0 ? 1 : 0;
        }
        EXPECT_EQ (bad, 0) << "blocks not finite or unlike those at " << as << " Hz";

        const double hostRate = rate && std::isfinite (*rate) && *rate > 0.0 ? *rate : as;
        EXPECT_NEAR (std::min (given.getTailLengthSeconds(), 3600.0) * hostRate, std::min (reference.getTailLengthSeconds() * as, 3600.0 * hostRate), 1.0e-6);
    }
}
