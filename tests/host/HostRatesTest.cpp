#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#define JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY 1
#include <juce_audio_processors/format_types/juce_VST3Headers.h>

#include "host/PluginModule.h"

namespace
{
namespace Vst = Steinberg::Vst;

// The module driven through its own VST3 interfaces, as a host written on the SDK drives it: the framework's host
// would replace the rates tried here before they reach the module.
struct DirectHost
{
    static constexpr int blockSize = 512;

    DirectHost()
    {
        struct : juce::ExtensionsVisitor
        {
            void visitVST3Client (const VST3Client& client) override { found = client.getIComponentPtr(); }
            Vst::IComponent* found = nullptr;
        } visitor;
        if (plugin != nullptr)
            plugin->getExtensions (visitor);
        component = visitor.found;
        if (component != nullptr)
            component->queryInterface (Vst::IAudioProcessor::iid, reinterpret_cast<void**> (&processor));
        if (processor != nullptr)
            for (auto direction : { Vst::kInput, Vst::kOutput })
                component->activateBus (Vst::kAudio, direction, 0, true);
    }

    ~DirectHost()
    {
        if (active)
            setActive (false);
        if (processor != nullptr)
            processor->release();
    }

    void setUp (double rate)
    {
        Vst::ProcessSetup setup { Vst::kRealtime, Vst::kSample32, blockSize, rate };
        processor->setupProcessing (setup);
    }

    void setActive (bool state)
    {
        if (! state)
            processor->setProcessing (false);
        component->setActive (state);
        if (state)
            processor->setProcessing (true);
        active = state;
    }

    // The same noise every time, in blocks; the output of both channels one after the other.
    std::vector<float> process (int blocks)
    {
        std::vector<float> output;
        float in[2][blockSize], out[2][blockSize];
        float* inputs[] { in[0], in[1] };
        float* outputs[] { out[0], out[1] };
        Vst::AudioBusBuffers inBus {}, outBus {};
        inBus.numChannels = outBus.numChannels = 2;
        inBus.channelBuffers32 = inputs;
        outBus.channelBuffers32 = outputs;
        Vst::ProcessData data {};
        data.processMode = Vst::kRealtime;
        data.symbolicSampleSize = Vst::kSample32;
        data.numSamples = blockSize;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;

        juce::Random random (5);
        for (int block = 0; block < blocks; ++block)
        {
            for (auto& channel : in)
                for (auto& sample : channel)
                    sample = random.nextFloat() - 0.5f;
            processor->process (data);
            for (const auto& channel : out)
                output.insert (output.end(), std::begin (channel), std::end (channel));
        }
        return output;
    }

    std::unique_ptr<juce::AudioPluginInstance> plugin = testutil::loadPluginModule();
    Vst::IComponent* component = nullptr;
    Vst::IAudioProcessor* processor = nullptr;
    bool active = false;
};
} // namespace

// Rates the engine cannot run at, as setupProcessing gives them, run the module as at 8 kHz, sample for sample, with
// no report from the sanitizers. A module that is processed without ever being activated runs as at the client's
// default 44.1 kHz.
TEST (HostRates, RatesTheEngineCannotRunAt)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<std::optional<double>, double> rows[] { { nan, 8000 }, { inf, 8000 }, { -inf, 8000 }, { 0, 8000 }, { -48000, 8000 },
                                                            { 1, 8000 }, { 20, 8000 }, { 22, 8000 }, { std::nullopt, 44100 } };
    // clang-format on
    for (const auto& [rate, as] : rows)
    {
        SCOPED_TRACE (rate ? std::to_string (*rate) : "never activated");
        DirectHost given, reference;
        ASSERT_TRUE (given.processor != nullptr && reference.processor != nullptr);
        if (rate)
        {
            given.setUp (*rate);
            given.setActive (true);
        }
        reference.setUp (as);
        reference.setActive (true);

        const auto out = given.process (24), expected = reference.process (24);
        ASSERT_EQ (out.size(), expected.size());
        int nonFinite = 0, differing = 0;
        for (size_t i = 0; i < out.size(); ++i)
        {
            nonFinite += std::isfinite (out[i]) ? 0 : 1;
            differing += out[i] != expected[i] ? 1 : 0;
        }
        EXPECT_EQ (nonFinite, 0);
        EXPECT_EQ (differing, 0);
    }
}

// The client counts the tail at the rate of the last setupProcessing; the module must too, not at the rate it
// was last activated with.
TEST (HostRates, TailFollowsTheLastSetUp)
{
    DirectHost moved, fresh;
    ASSERT_TRUE (moved.processor != nullptr && fresh.processor != nullptr);
    moved.setUp (768000.0);
    moved.setActive (true);
    moved.setActive (false);
    moved.setUp (44100.0);
    fresh.setUp (44100.0);
    fresh.setActive (true);
    fresh.setActive (false);
    EXPECT_EQ (moved.processor->getTailSamples(), fresh.processor->getTailSamples());
}
