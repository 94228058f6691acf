#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "host/PluginModule.h"
#include "presets/TempHome.h"

namespace
{
// Every parameter in the host's order, then each one's name, unit, range, default and choices.
const auto ids = juce::StringArray::fromTokens ("drywet amp lowamp lowmute lowpan pitchstage lowpitch driftdepth driftrate lowpitchwindow delaymode lowfeed "
                                                "diffusion lowdamp cutoff res lowtimesync lowtime lowsyncedtime highamp highmute highpan highpitch "
                                                "highpitchwindow highfeed highdamp hightimesync hightime highsyncedtime",
                                                false);
const juce::StringArray offOn { "OFF", "ON" }, notes { "1 BAR", "1/2D", "1/2", "1/4D", "1/2T", "1/4", "1/8D", "1/4T", "1/8",
                                                       "1/16D", "1/8T", "1/16", "1/32D", "1/16T", "1/32", "1/64D", "1/32T", "1/64" };
// clang-format off
struct Row { const char *id, *name, *label; float start, end, interval, skew, defaultValue; juce::StringArray choices; };
const Row table[] {
    { "drywet", "Dry/Wet", "%", 0, 100, 1, 1, 50, {} },
    { "amp", "Output Amp", "dB", -70, 6, 0.001f, 1.5f, 0, {} },
    { "lowamp", "Low Amp", "dB", -12, 12, 0.001f, 1, 0, {} },
    { "lowmute", "Low Mute", "", 0, 1, 1, 1, 0, offOn },
    { "lowpan", "Low Pan", "", -1, 1, 0.001f, 1, 0, {} },
    { "pitchstage", "Pitch Shifter Stage", "", 0, 2, 1, 1, 1, { "INACTIVE", "PRE", "POST" } },
    { "lowpitch", "Low Pitch", "", -24, 24, 1, 1, 0, {} },
    { "driftdepth", "Drift Amount", "%", 0, 100, 1, 1, 0, {} },
    { "driftrate", "Drift Rate", "Hz", 0.001f, 5, 0.001f, 0.5f, 0.5f, {} },
    { "lowpitchwindow", "Low Pitch Window", "", 32, 4096, 32, 1, 1024, {} },
    { "delaymode", "Delay Type", "", 0, 1, 1, 1, 0, { "REPITCH", "SMOOTH" } },
    { "lowfeed", "Low Feedback", "%", 0, 100, 1, 1, 60, {} },
    { "diffusion", "Diffusion", "%", 0, 100, 1, 1, 0, {} },
    { "lowdamp", "Low Damp Frequency", "Hz", 60, 11000, 1, 0.5f, 6000, {} },
    { "cutoff", "Cutoff", "Hz", 60, 11000, 1, 0.5f, 1000, {} },
    { "res", "Resonance", "%", 0, 100, 1, 1, 40, {} },
    { "lowtimesync", "Low Time Sync", "", 0, 1, 1, 1, 1, offOn },
    { "lowtime", "Low Time", "ms", 1, 1000, 1, 0.5f, 60, {} },
    { "lowsyncedtime", "Low Synced Time", "", 0, 17, 1, 1, 6, notes },
    { "highamp", "High Amp", "dB", -12, 12, 0.001f, 1, 0, {} },
    { "highmute", "High Mute", "", 0, 1, 1, 1, 0, offOn },
    { "highpan", "High Pan", "", -1, 1, 0.001f, 1, 0, {} },
    { "highpitch", "High Pitch", "", -24, 24, 1, 1, 0, {} },
    { "highpitchwindow", "High Pitch Window", "", 32, 4096, 32, 1, 1024, {} },
    { "highfeed", "High Feedback", "%", 0, 100, 1, 1, 60, {} },
    { "highdamp", "High Damp Frequency", "Hz", 60, 11000, 1, 0.5f, 6000, {} },
    { "hightimesync", "High Time Sync", "", 0, 1, 1, 1, 1, offOn },
    { "hightime", "High Time", "ms", 1, 1000, 1, 0.5f, 120, {} },
    { "highsyncedtime", "High Synced Time", "", 0, 17, 1, 1, 8, notes },
};
// clang-format on

juce::StringArray values (juce::AudioPluginInstance& plugin)
{
    juce::StringArray v;
    for (auto* p : plugin.getParameters())
        v.add (p->getCurrentValueAsText());
    return v;
}

void scramble (juce::AudioPluginInstance& plugin, int seed)
{
    juce::Random random (seed);
    for (auto* p : plugin.getParameters())
        p->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
}

} // namespace

TEST (Host, DescriptionAndParameterTable)
{
    const auto plugin = testutil::loadPluginModule();
    ASSERT_NE (plugin, nullptr);
    const auto d = plugin->getPluginDescription();
    EXPECT_EQ (d.name + "|" + d.manufacturerName + "|" + d.version + "|" + d.category, "Corvantide|Quenmar_Works|1.0.0|Fx");
    EXPECT_EQ (plugin->getTotalNumInputChannels() * 10 + plugin->getTotalNumOutputChannels(), 22);
    const auto& params = plugin->getParameters();
    ASSERT_EQ (params.size(), 30); // no "bpm": the processor drives the tempo itself
    EXPECT_EQ (params[29]->getName (128) + (params[29] == plugin->getBypassParameter() ? " last" : ""), "Bypass last");

    // The VST3 client hashes the text id into the host's numeric id.
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ (dynamic_cast<juce::HostedAudioProcessorParameter*> (params[i])->getParameterID(),
                   juce::String ((juce::uint32) ids[i].hashCode() & 0x7fffffffu))
            << ids[i];

    for (const auto& e : table)
    {
        SCOPED_TRACE (e.id);
        auto* p = params[ids.indexOf (e.id)];
        EXPECT_EQ (p->getName (128) + "|" + p->getLabel(), juce::String (e.name) + "|" + e.label);
        EXPECT_EQ (p->isDiscrete(), ! e.choices.isEmpty());
        const juce::NormalisableRange<float> range (e.start, e.end, e.interval, e.skew);
        EXPECT_NEAR (p->getDefaultValue(), range.convertTo0to1 (e.defaultValue), 1.0e-6);
        for (int c = 0; c < e.choices.size(); ++c)
            EXPECT_EQ (p->getText (range.convertTo0to1 ((float) c), 128), e.choices[c]);
        // A number's display rounds to the interval's decimals; half of that is the tolerance.
        const auto tolerance = e.interval < 1.0f ? 0.0006f : 0.5f;
        for (float x : e.choices.isEmpty() ? std::vector<float> { 0.0f, 0.25f, 0.5f, 0.8f, 1.0f } : std::vector<float>())
            EXPECT_NEAR (p->getText (x, 128).getFloatValue(), range.snapToLegalValue (range.convertFrom0to1 (x)), tolerance) << x;
    }
}

// A synced "1/4" echo, all wet and fed back nowhere, lands where the tempo puts it:
// 24000 samples at 48 kHz for 120 bpm without a play head, 32000 for the play head's 90.
TEST (Host, SyncedEchoFollowsTheTempo)
{
    struct TempoHead : juce::AudioPlayHead
    {
        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setBpm (90.0);
            info.setTimeInSamples (0); // a VST3 host must always report one
            return info;
        }
    } head;

    // clang-format off
    const std::pair<const char*, float> settings[] { { "drywet", 1.0f }, { "lowfeed", 0.0f }, { "highfeed", 0.0f }, { "pitchstage", 0.0f },
                                                     { "lowsyncedtime", 5.0f / 17 }, { "highsyncedtime", 5.0f / 17 } };
    // clang-format on
    for (auto [playHead, expected] : { std::pair<juce::AudioPlayHead*, int> { nullptr, 24000 }, { &head, 32000 } })
    {
        const auto plugin = testutil::loadPluginModule();
        ASSERT_NE (plugin, nullptr);
        for (auto [id, value] : settings)
            plugin->getParameters()[ids.indexOf (id)]->setValueNotifyingHost (value);
        plugin->setPlayHead (playHead);
        plugin->prepareToPlay (48000.0, 512);

        // One second of silence lets every smoothed control settle, then an impulse at 48128.
        juce::AudioBuffer<float> block (2, 512);
        juce::MidiBuffer midi;
        std::pair<float, int> loudest;
        for (int start = 0; start < 48000 + 40000; start += 512)
        {
            block.clear();
            block.setSample (0, 0, start == 48128 ? 1.0f : 0.0f);
            plugin->processBlock (block, midi);
            for (int i = 0; i < 512 && start > 48128; ++i)
                loudest = std::max (loudest, std::pair (std::abs (block.getSample (0, i)) + std::abs (block.getSample (1, i)), start + i));
        }
        EXPECT_NEAR (loudest.second - 48128, expected, 4);
    }
}

// Damaged copies of the host's state go back through the built module as a host hands them over. What the host
// saves for the component is our blob, then the client's trailer: 8 zero bytes, its value tree, that tree's 64-bit
// length and "JUCEPrivateData". A trailer whose stated length does not fit inside the stream makes the whole state
// change nothing (before, the client read far outside the data and crashed the host). Under random damage, half of
// it in the trailer, every outcome is allowed but a fault (the sanitizer build catches those) or a value out of
// range. The intact state restores every value.
TEST (HostState, DamagedStatesThroughTheClient)
{
    const auto source = testutil::loadPluginModule(), target = testutil::loadPluginModule();
    ASSERT_TRUE (source != nullptr && target != nullptr);
    scramble (*source, 3);
    source->getBypassParameter()->setValueNotifyingHost (1.0f);
    juce::MemoryBlock saved, stream;
    source->getStateInformation (saved);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (saved.getData(), (int) saved.getSize());
    auto* component = xml != nullptr ? xml->getChildByName ("IComponent") : nullptr;
    ASSERT_TRUE (component != nullptr && stream.fromBase64Encoding (component->getAllSubText()) && stream.getSize() > 100);
    const auto size = stream.getSize();
    EXPECT_EQ (juce::String ((const char*) stream.getData(), 4) + juce::String ((const char*) stream.getData() + size - 15, 15), "VC2!JUCEPrivateData");
    const auto restoreWith = [&] (const juce::MemoryBlock& damaged) {
        component->deleteAllTextElements();
        component->addTextElement (damaged.toBase64Encoding());
        juce::MemoryBlock state;
        juce::AudioProcessor::copyXmlToBinary (*xml, state);
        target->setStateInformation (state.getData(), (int) state.getSize());
    };

    // Bit 7 of the byte 16 from the end flipped, one byte longer than the data allows, all ones.
    const auto length = juce::ByteOrder::littleEndianInt64 (static_cast<const char*> (stream.getData()) + size - 23);
    for (const juce::uint64 badLength : { length ^ (1ull << 63), (juce::uint64) size - 30, ~(juce::uint64) 0 })
    {
        scramble (*target, 4);
        const auto before = values (*target);
        auto damaged = stream;
        const auto le = juce::ByteOrder::swapIfBigEndian (badLength);
        damaged.copyFrom (&le, (int) size - 23, 8);
        restoreWith (damaged);
        EXPECT_EQ (values (*target), before) << badLength;
    }

    juce::Random random (13);
    for (int run = 0; run < 2000; ++run)
    {
        auto damaged = stream;
        for (int edits = 1 + random.nextInt (3); --edits >= 0 && damaged.getSize() > 40;)
        {
            const auto n = (int) damaged.getSize(), pos = random.nextBool() ? n - 1 - random.nextInt (40) : random.nextInt (n);
            const auto kind = random.nextInt (4);
            if (kind < 2)
                damaged[(size_t) pos] = (char) (kind == 0 ? damaged[(size_t) pos] ^ (1 << random.nextInt (8)) : random.nextInt (256));
            else
                damaged.removeSection (kind == 2 ? (size_t) pos : 0, (size_t) random.nextInt (24));
        }
        restoreWith (damaged);
        for (auto* p : target->getParameters())
            ASSERT_TRUE (p->getValue() >= 0.0f && p->getValue() <= 1.0f) << "run " << run;
    }

    restoreWith (stream);
    EXPECT_EQ (values (*target), values (*source)); // the bypass included
}

// A host may stop processing once the input is silent and the reported tail has passed. Through the module: full-scale
// noise long enough to fill the longest delay, then silence. The last sample above -90 dBFS must fall inside the
// reported tail, and the tail may be at most twice as long plus a quarter second. A feedback of 100 % rings on
// without end and reports the framework's infinite tail. The client asks the processor on every query, so a
// change shows at once, without a new activation.
TEST (Host, TailCoversTheRingOut)
{
    struct TempoHead : juce::AudioPlayHead
    {
        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setBpm (bpm);
            info.setTimeInSamples (0);
            return info;
        }
        double bpm = 120.0;
    } head;

    constexpr double rate = 48000.0, endless = std::numeric_limits<double>::infinity();
    const float threshold = std::pow (10.0f, -90.0f / 20.0f);
    using Settings = std::vector<std::pair<const char*, const char*>>;
    const auto set = [] (juce::AudioPluginInstance& plugin, const char* id, const char* text) {
        auto* p = plugin.getParameters()[ids.indexOf (id)];
        p->setValueNotifyingHost (p->getValueForText (text));
        return p->getCurrentValueAsText();
    };

    // clang-format off
    const std::tuple<const char*, Settings, double> rows[] {
        { "defaults", {}, 0.0 },
        { "95 % feedback", { { "lowfeed", "95" }, { "highfeed", "95" } }, 0.0 },
        { "no feedback", { { "lowfeed", "0" }, { "highfeed", "0" } }, 0.0 },
        { "2 s synced at 90 bpm, drifting", { { "lowsyncedtime", "1/2D" }, { "highsyncedtime", "1/2" }, { "lowfeed", "70" }, { "driftdepth", "100" } }, 90.0 },
        { "1 s free, damped at 60 Hz", { { "lowtimesync", "OFF" }, { "lowtime", "1000" }, { "lowdamp", "60" }, { "hightimesync", "OFF" }, { "hightime", "400" } }, 0.0 },
        { "short and fully diffused", { { "lowtimesync", "OFF" }, { "lowtime", "10" }, { "hightimesync", "OFF" }, { "hightime", "25" },
                                        { "diffusion", "100" }, { "highfeed", "30" } }, 0.0 },
        { "loud, resonant, shifted after the delay", { { "amp", "6" }, { "lowamp", "12" }, { "highmute", "ON" }, { "cutoff", "60" }, { "res", "100" },
                                                       { "pitchstage", "POST" }, { "lowpitch", "12" }, { "lowpitchwindow", "4096" } }, 0.0 },
        { "100 % feedback", { { "highfeed", "100" } }, 0.0 },
    };
    // clang-format on

    // Noise fills every band; a low tone is what damping leaves longest.
    const auto burstSample = [rate] (juce::Random& random, int kind, int n) {
        return kind == 0 ? 2.0f * random.nextFloat() - 1.0f : (float) std::sin (2.0 * juce::MathConstants<double>::pi * 40.0 * n / rate);
    };
    juce::Random random (21);
    for (const auto& [name, settings, bpm] : rows)
    {
        SCOPED_TRACE (name);
        double reported = 0.0, measured = 0.0;
        for (int kind : { 0, 1 })
        {
            const auto plugin = testutil::loadPluginModule();
            ASSERT_NE (plugin, nullptr);
            for (const auto& [id, text] : settings)
            {
                const auto shown = set (*plugin, id, text);
                ASSERT_TRUE (shown == text || (shown.containsOnly ("-0123456789.") && shown.getFloatValue() == juce::String (text).getFloatValue())) << id << " " << shown;
            }
            head.bpm = bpm;
            plugin->setPlayHead (bpm > 0.0 ? &head : nullptr);
            plugin->prepareToPlay (rate, 512);

            // Asked once the first block has brought the tempo, as a host asks while it plays; then rendered past
            // the reported tail, so that an echo it misses is seen. An endless one is heard for 30 s.
            juce::AudioBuffer<float> block (2, 512);
            juce::MidiBuffer midi;
            block.clear();
            plugin->processBlock (block, midi);
            reported = plugin->getTailLengthSeconds();
            if (kind == 1)
            {
                // Feedback that never lets go shows at once, without a new activation, and so does letting it go.
                const auto feed = plugin->getParameters()[ids.indexOf ("lowfeed")]->getCurrentValueAsText();
                ASSERT_EQ (set (*plugin, "lowfeed", "100"), "100");
                EXPECT_EQ (plugin->getTailLengthSeconds(), endless);
                set (*plugin, "lowfeed", feed.toRawUTF8());
                EXPECT_EQ (plugin->getTailLengthSeconds(), reported);
            }

            constexpr int burst = (int) (2.5 * rate);
            const int length = burst + (int) (rate * (reported == endless ? 30.0 : std::min (400.0, reported * 1.25 + 2.0)));
            int lastLoud = burst;
            for (int start = 512; start < length; start += 512)
            {
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < 512; ++i)
                        block.setSample (c, i, start + i < burst ? burstSample (random, kind, start + i) : 0.0f);
                plugin->processBlock (block, midi);
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < 512; ++i)
                        if (std::abs (block.getSample (c, i)) > threshold)
                            lastLoud = std::max (lastLoud, start + i + 1);
            }
            measured = std::max (measured, (lastLoud - burst) / rate);
        }

        if (std::string (name) == "100 % feedback")
        {
            EXPECT_EQ (reported, endless);
            EXPECT_GT (measured, 29.0);
            continue;
        }
        EXPECT_GE (reported, measured);
        EXPECT_LE (reported, 2.0 * measured + 0.25) << "measured " << measured;
    }
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    TempHome home; // the plug-in creates its preset folder under $HOME
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
