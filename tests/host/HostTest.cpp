#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "host/PluginModule.h"
#include "presets/TempHome.h"

namespace
{
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
} // namespace

TEST (Host, DescriptionAndParameterTable)
{
    const auto plugin = testutil::loadPluginModule();
    ASSERT_NE (plugin, nullptr);
    const auto d = plugin->getPluginDescription();
    EXPECT_EQ (d.name + "|" + d.manufacturerName + "|" + d.version + "|" + d.category, "Corvantide|Quenmar_Works|1.0.0|Fx");
    const auto& params = plugin->getParameters();
    ASSERT_EQ (params.size(), 30); // no "bpm": the processor drives the tempo itself
    EXPECT_EQ (params[29], plugin->getBypassParameter());
    EXPECT_EQ (params[29]->getName (128), "Bypass");

    for (int i = 0; i < 29; ++i)
    {
        const auto& e = table[i];
        auto* p = dynamic_cast<juce::HostedAudioProcessorParameter*> (params[i]);
        SCOPED_TRACE (e.id);
        // The VST3 client hashes the text id into the host's numeric id.
        EXPECT_EQ (p->getParameterID(), juce::String ((juce::uint32) juce::String (e.id).hashCode() & 0x7fffffffu));
        EXPECT_EQ (p->getName (128) + "|" + p->getLabel(), juce::String (e.name) + "|" + e.label);
        EXPECT_EQ (p->isDiscrete(), ! e.choices.isEmpty());

        const juce::NormalisableRange<float> range (e.start, e.end, e.interval, e.skew);
        EXPECT_NEAR (p->getDefaultValue(), range.convertTo0to1 (e.defaultValue), 1.0e-6);
        for (int c = 0; c < e.choices.size(); ++c)
            EXPECT_EQ (p->getText (range.convertTo0to1 ((float) c), 128), e.choices[c]);

        // The display rounds to the interval's decimals; half of that is the tolerance.
        const auto tolerance = e.interval < 1.0f ? 0.0006f : 0.5f;
        for (float x : e.choices.isEmpty() ? std::vector<float> { 0.0f, 0.25f, 0.5f, 0.8f, 1.0f } : std::vector<float>())
            EXPECT_NEAR (p->getText (x, 128).getFloatValue(), range.snapToLegalValue (range.convertFrom0to1 (x)), tolerance) << x;
    }
    EXPECT_EQ (plugin->getTotalNumInputChannels() * 10 + plugin->getTotalNumOutputChannels(), 22);
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

    for (auto [playHead, expected] : { std::pair<juce::AudioPlayHead*, int> { nullptr, 24000 }, { &head, 32000 } })
    {
        const auto plugin = testutil::loadPluginModule();
        ASSERT_NE (plugin, nullptr);
        for (auto [i, value] : { std::pair { 0, 1.0f }, { 11, 0.0f }, { 24, 0.0f }, { 5, 0.0f }, { 18, 5.0f / 17 }, { 28, 5.0f / 17 } })
            plugin->getParameters()[i]->setValueNotifyingHost (value);
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

// The host keeps the component's stream: our blob, then the client's trailer.
TEST (Host, StateRoundTripWithTheClientsTrailer)
{
    const auto first = testutil::loadPluginModule(), second = testutil::loadPluginModule();
    ASSERT_TRUE (first != nullptr && second != nullptr);
    juce::Random random (11);
    for (auto* p : first->getParameters())
        p->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
    first->getBypassParameter()->setValueNotifyingHost (1.0f);

    juce::MemoryBlock state, stream;
    first->getStateInformation (state);
    const auto hostXml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
    ASSERT_TRUE (hostXml != nullptr && hostXml->getChildByName ("IComponent") != nullptr);
    ASSERT_TRUE (stream.fromBase64Encoding (hostXml->getChildByName ("IComponent")->getAllSubText()));
    const auto* bytes = static_cast<const char*> (stream.getData());
    ASSERT_GT (stream.getSize(), 15u);
    EXPECT_EQ (juce::String (bytes, 4) + juce::String (bytes + stream.getSize() - 15, 15), "VC2!JUCEPrivateData");

    second->setStateInformation (state.getData(), (int) state.getSize());
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ (second->getParameters()[i]->getCurrentValueAsText(), first->getParameters()[i]->getCurrentValueAsText()) << i;
    EXPECT_GE (second->getBypassParameter()->getValue(), 0.5f);
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    TempHome home; // the plug-in creates its preset folder under $HOME
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
