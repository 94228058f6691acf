#include "host/HostedPlugin.h"

namespace
{
    struct Expected
    {
        const char* id;
        const char* name;
        const char* label;
        float start, end, interval, skew, defaultValue;
        juce::StringArray choices;
    };

    const juce::StringArray offOn { "OFF", "ON" };
    const juce::StringArray notes { "1 BAR", "1/2D", "1/2", "1/4D", "1/2T", "1/4", "1/8D", "1/4T", "1/8",
                                    "1/16D", "1/8T", "1/16", "1/32D", "1/16T", "1/32", "1/64D", "1/32T", "1/64" };

    // The host parameter table: ids, order, kinds, ranges, defaults, names, labels.
    const std::vector<Expected> table {
        { "drywet", "Dry/Wet", "%", 0, 100, 1, 1, 50, {} },
        { "amp", "Output Amp", "dB", -70, 6, 0.001f, 1.5f, 0, {} },
        { "lowamp", "Low Amp", "dB", -12, 12, 0.001f, 1, 0, {} },
        { "lowmute", "Low Mute", "", 0, 0, 0, 0, 0, offOn },
        { "lowpan", "Low Pan", "", -1, 1, 0.001f, 1, 0, {} },
        { "pitchstage", "Pitch Shifter Stage", "", 0, 0, 0, 0, 1, { "INACTIVE", "PRE", "POST" } },
        { "lowpitch", "Low Pitch", "", -24, 24, 1, 1, 0, {} },
        { "driftdepth", "Drift Amount", "%", 0, 100, 1, 1, 0, {} },
        { "driftrate", "Drift Rate", "Hz", 0.001f, 5, 0.001f, 0.5f, 0.5f, {} },
        { "lowpitchwindow", "Low Pitch Window", "", 32, 4096, 32, 1, 1024, {} },
        { "delaymode", "Delay Type", "", 0, 0, 0, 0, 0, { "REPITCH", "SMOOTH" } },
        { "lowfeed", "Low Feedback", "%", 0, 100, 1, 1, 60, {} },
        { "diffusion", "Diffusion", "%", 0, 100, 1, 1, 0, {} },
        { "lowdamp", "Low Damp Frequency", "Hz", 60, 11000, 1, 0.5f, 6000, {} },
        { "cutoff", "Cutoff", "Hz", 60, 11000, 1, 0.5f, 1000, {} },
        { "res", "Resonance", "%", 0, 100, 1, 1, 40, {} },
        { "lowtimesync", "Low Time Sync", "", 0, 0, 0, 0, 1, offOn },
        { "lowtime", "Low Time", "ms", 1, 1000, 1, 0.5f, 60, {} },
        { "lowsyncedtime", "Low Synced Time", "", 0, 0, 0, 0, 6, notes },
        { "highamp", "High Amp", "dB", -12, 12, 0.001f, 1, 0, {} },
        { "highmute", "High Mute", "", 0, 0, 0, 0, 0, offOn },
        { "highpan", "High Pan", "", -1, 1, 0.001f, 1, 0, {} },
        { "highpitch", "High Pitch", "", -24, 24, 1, 1, 0, {} },
        { "highpitchwindow", "High Pitch Window", "", 32, 4096, 32, 1, 1024, {} },
        { "highfeed", "High Feedback", "%", 0, 100, 1, 1, 60, {} },
        { "highdamp", "High Damp Frequency", "Hz", 60, 11000, 1, 0.5f, 6000, {} },
        { "hightimesync", "High Time Sync", "", 0, 0, 0, 0, 1, offOn },
        { "hightime", "High Time", "ms", 1, 1000, 1, 0.5f, 120, {} },
        { "highsyncedtime", "High Synced Time", "", 0, 0, 0, 0, 8, notes },
    };

    // The VST3 client hashes the text id into the host's numeric id.
    juce::String hostIdOf (const char* id)
    {
        return juce::String (static_cast<juce::uint32> (juce::String (id).hashCode()) & 0x7fffffffu);
    }
} // namespace

TEST (HostedPlugin, DescribesItselfAsTheProduct)
{
    const auto description = HostedPlugin::describe();
    ASSERT_NE (description, nullptr) << HostedPlugin::bundle().getFullPathName();

    EXPECT_EQ (description->name, "Corvantide");
    EXPECT_EQ (description->manufacturerName, "Quenmar_Works");
    EXPECT_EQ (description->version, "1.0.0");
    EXPECT_EQ (description->pluginFormatName, "VST3");
    EXPECT_TRUE (description->category.contains ("Fx"));
    EXPECT_FALSE (description->isInstrument);
    EXPECT_EQ (description->numInputChannels, 2);
    EXPECT_EQ (description->numOutputChannels, 2);
}

TEST (HostedPlugin, OffersStereoOnly)
{
    auto plugin = HostedPlugin::create();
    ASSERT_NE (plugin, nullptr);

    EXPECT_EQ (plugin->getTotalNumInputChannels(), 2);
    EXPECT_EQ (plugin->getTotalNumOutputChannels(), 2);
    EXPECT_EQ (plugin->getMainBusNumInputChannels(), 2);
    EXPECT_EQ (plugin->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (plugin->getBus (false, 0)->getName(), "Output");

    auto layout = plugin->getBusesLayout();
    layout.inputBuses.getReference (0) = juce::AudioChannelSet::mono();
    layout.outputBuses.getReference (0) = juce::AudioChannelSet::mono();
    EXPECT_FALSE (plugin->setBusesLayout (layout));
    EXPECT_EQ (plugin->getTotalNumOutputChannels(), 2);
}

TEST (HostedPlugin, ParameterTableAsTheHostSeesIt)
{
    auto plugin = HostedPlugin::create();
    ASSERT_NE (plugin, nullptr);

    const auto& params = plugin->getParameters();
    ASSERT_EQ (params.size(), (int) table.size() + 1);

    for (size_t i = 0; i < table.size(); ++i)
    {
        const auto& e = table[i];
        auto* p = dynamic_cast<juce::HostedAudioProcessorParameter*> (params[(int) i]);
        ASSERT_NE (p, nullptr);
        SCOPED_TRACE (e.id);

        EXPECT_EQ (p->getParameterID(), hostIdOf (e.id));
        EXPECT_EQ (p->getName (128), e.name);
        EXPECT_EQ (p->getLabel(), e.label);
        EXPECT_TRUE (p->isAutomatable());

        if (! e.choices.isEmpty())
        {
            const auto n = e.choices.size();
            EXPECT_TRUE (p->isDiscrete());
            EXPECT_EQ (p->getNumSteps(), n);
            for (int c = 0; c < n; ++c)
                EXPECT_EQ (p->getText ((float) c / (float) (n - 1), 128), e.choices[c]);
            EXPECT_NEAR (p->getDefaultValue(), e.defaultValue / (float) (n - 1), 1.0e-6);
            continue;
        }

        EXPECT_FALSE (p->isDiscrete());
        const juce::NormalisableRange<float> range (e.start, e.end, e.interval, e.skew);
        // The display rounds to the interval's decimals; half of that is the tolerance.
        const auto tolerance = e.interval < 1.0f ? 0.0006f : 0.5f;
        const auto shown = [p] (float normalised) { return p->getText (normalised, 128).getFloatValue(); };

        EXPECT_NEAR (shown (0.0f), e.start, tolerance);
        EXPECT_NEAR (shown (1.0f), e.end, tolerance);
        for (float x : { 0.25f, 0.5f, 0.8f })
            EXPECT_NEAR (shown (x), range.snapToLegalValue (range.convertFrom0to1 (x)), tolerance) << "at " << x;
        EXPECT_NEAR (p->getDefaultValue(), range.convertTo0to1 (e.defaultValue), 1.0e-6);
        EXPECT_NEAR (shown (p->getDefaultValue()), e.defaultValue, tolerance);
    }

    // The tempo is driven by the processor, never by the host.
    for (auto* p : params)
        EXPECT_NE (p->getName (128), "bpm");

    EXPECT_EQ (params.getLast()->getName (128), "Bypass");
    EXPECT_EQ (plugin->getBypassParameter(), params.getLast());
}
