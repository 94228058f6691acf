#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#define JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY 1
#include <juce_audio_processors/format_types/juce_VST3Headers.h>

#include "host/PluginModule.h"

namespace
{
// The module's own IAudioProcessor, for calls the framework's host makes only together with others.
Steinberg::Vst::IAudioProcessor* audioProcessorOf (juce::AudioPluginInstance& plugin)
{
    struct : juce::ExtensionsVisitor
    {
        void visitVST3Client (const VST3Client& client) override
        {
            client.getIComponentPtr()->queryInterface (Steinberg::Vst::IAudioProcessor::iid, reinterpret_cast<void**> (&found));
        }
        Steinberg::Vst::IAudioProcessor* found = nullptr;
    } visitor;
    plugin.getExtensions (visitor);
    return visitor.found;
}
} // namespace

// The client counts the tail in samples at the rate of the last setupProcessing, which a host may give while
// inactive without a new activation: the module must count it at that rate too, not at that of its last activation.
TEST (HostRates, TailFollowsTheLastSetUp)
{
    const auto moved = testutil::loadPluginModule(), fresh = testutil::loadPluginModule();
    ASSERT_TRUE (moved != nullptr && fresh != nullptr);
    moved->prepareToPlay (768000.0, 512);
    moved->releaseResources();
    fresh->prepareToPlay (44100.0, 512);
    fresh->releaseResources();

    auto *movedProcessor = audioProcessorOf (*moved), *freshProcessor = audioProcessorOf (*fresh);
    ASSERT_TRUE (movedProcessor != nullptr && freshProcessor != nullptr);
    Steinberg::Vst::ProcessSetup setup { Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 512, 44100.0 };
    movedProcessor->setupProcessing (setup);
    EXPECT_EQ (movedProcessor->getTailSamples(), freshProcessor->getTailSamples());
    movedProcessor->release();
    freshProcessor->release();
}
