#include "host/HostedPlugin.h"

namespace
{
    class TempoHead : public juce::AudioPlayHead
    {
    public:
        explicit TempoHead (double tempo) : bpm (tempo) {}

        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setBpm (bpm);
            info.setTimeInSamples (0); // a VST3 host must always report one
            info.setIsPlaying (true);
            return info;
        }

        double bpm;
    };

    juce::AudioProcessorParameter* parameterNamed (juce::AudioPluginInstance& plugin, const juce::String& name)
    {
        for (auto* p : plugin.getParameters())
            if (p->getName (128) == name)
                return p;
        ADD_FAILURE() << "no parameter " << name;
        return nullptr;
    }

    void setChoice (juce::AudioPluginInstance& plugin, const juce::String& name, int index, int count)
    {
        if (auto* p = parameterNamed (plugin, name))
            p->setValueNotifyingHost ((float) index / (float) (count - 1));
    }

    void setNormalised (juce::AudioPluginInstance& plugin, const juce::String& name, float value)
    {
        if (auto* p = parameterNamed (plugin, name))
            p->setValueNotifyingHost (value);
    }

    // Feeds one second of silence (so every smoothed control settles), then a
    // unit impulse, and returns the distance from the impulse to the loudest
    // later output sample.
    int echoDistance (juce::AudioPluginInstance& plugin, int totalSamples)
    {
        constexpr int blockSize = 512, impulseAt = 48000;
        juce::AudioBuffer<float> block (2, blockSize);
        juce::MidiBuffer midi;
        int loudestAt = -1;
        float loudest = 0.0f;

        for (int start = 0; start < totalSamples; start += blockSize)
        {
            block.clear();
            if (impulseAt >= start && impulseAt < start + blockSize)
                for (int ch = 0; ch < 2; ++ch)
                    block.setSample (ch, impulseAt - start, 1.0f);

            plugin.processBlock (block, midi);

            for (int i = 0; i < blockSize; ++i)
            {
                const auto level = std::abs (block.getSample (0, i)) + std::abs (block.getSample (1, i));
                if (! std::isfinite (level))
                    return -1;
                if (start + i > impulseAt + 100 && level > loudest)
                {
                    loudest = level;
                    loudestAt = start + i;
                }
            }
        }
        return loudestAt - impulseAt;
    }

    // One synced echo per band at "1/4", all wet, nothing fed back or shifted.
    std::unique_ptr<juce::AudioPluginInstance> quarterNoteEcho()
    {
        auto plugin = HostedPlugin::create (48000.0, 512);
        if (plugin == nullptr)
            return nullptr;

        setNormalised (*plugin, "Dry/Wet", 1.0f);
        setNormalised (*plugin, "Low Feedback", 0.0f);
        setNormalised (*plugin, "High Feedback", 0.0f);
        setChoice (*plugin, "Pitch Shifter Stage", 0, 3);
        setChoice (*plugin, "Low Synced Time", 5, 18);
        setChoice (*plugin, "High Synced Time", 5, 18);
        plugin->prepareToPlay (48000.0, 512);
        return plugin;
    }
} // namespace

TEST (HostedPlugin, SyncedEchoFollowsTheDefaultTempo)
{
    auto plugin = quarterNoteEcho();
    ASSERT_NE (plugin, nullptr);

    // Without a play head: 120 bpm, a quarter note is 24000 samples at 48 kHz.
    EXPECT_NEAR (echoDistance (*plugin, 48000 + 30000), 24001, 4);
    plugin->releaseResources();
}

TEST (HostedPlugin, SyncedEchoFollowsThePlayHeadTempo)
{
    auto plugin = quarterNoteEcho();
    ASSERT_NE (plugin, nullptr);

    TempoHead head (90.0);
    plugin->setPlayHead (&head);
    // 90 bpm: 32000 samples.
    EXPECT_NEAR (echoDistance (*plugin, 48000 + 40000), 32001, 4);
    plugin->setPlayHead (nullptr);
    plugin->releaseResources();
}

TEST (HostedPlugin, StateRoundTripThroughTheHost)
{
    auto first = HostedPlugin::create();
    ASSERT_NE (first, nullptr);

    juce::Random random (11);
    const auto& params = first->getParameters();
    for (auto* p : params)
        if (p != first->getBypassParameter())
            p->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
    first->getBypassParameter()->setValueNotifyingHost (1.0f);

    juce::MemoryBlock state;
    first->getStateInformation (state);
    // The host keeps each VST3 object's stream; the component's is our blob
    // followed by the client's trailer.
    const auto hostXml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
    ASSERT_NE (hostXml, nullptr);
    const auto* componentState = hostXml->getChildByName ("IComponent");
    ASSERT_NE (componentState, nullptr);
    juce::MemoryBlock stream;
    ASSERT_TRUE (stream.fromBase64Encoding (componentState->getAllSubText()));

    const auto* bytes = static_cast<const char*> (stream.getData());
    ASSERT_GT (stream.getSize(), 32u);
    EXPECT_EQ (juce::String::fromUTF8 (bytes, 4), "VC2!");
    const auto n = (size_t) juce::ByteOrder::littleEndianInt (bytes + 4);
    ASSERT_LT (n + 9 + 8, stream.getSize());
    EXPECT_EQ (bytes[8 + n], 0);
    EXPECT_TRUE (juce::String::fromUTF8 (bytes + 8, (int) n).startsWith ("<?xml"));
    EXPECT_EQ (juce::String::fromUTF8 (bytes + stream.getSize() - 15, 15), "JUCEPrivateData");

    auto second = HostedPlugin::create();
    ASSERT_NE (second, nullptr);
    second->setStateInformation (state.getData(), (int) state.getSize());

    const auto& restored = second->getParameters();
    ASSERT_EQ (restored.size(), params.size());
    ASSERT_EQ (restored.size(), 30);
    for (int i = 0; i < params.size(); ++i)
    {
        EXPECT_EQ (restored[i]->getName (128), params[i]->getName (128));
        // The plug-in's own text shows the value snapped to the parameter's step,
        // which is what its state holds.
        EXPECT_EQ (restored[i]->getCurrentValueAsText(), params[i]->getCurrentValueAsText()) << params[i]->getName (128);
    }
    EXPECT_GE (second->getBypassParameter()->getValue(), 0.5f);
}
