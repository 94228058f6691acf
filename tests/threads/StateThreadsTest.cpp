// The processor as a host drives it from several threads at once: an audio
// thread processing blocks while other threads restore states, load preset
// files and move parameters. Built with ThreadSanitizer (CORVANTIDE_TSAN),
// this reports any unsynchronised access on those paths; in any build it
// checks that the audio stays finite and the state whole.

#include <atomic>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/ParameterValues.h"

namespace
{

struct StateThreads : ::testing::Test
{
    Values values() { return parameterValues (processor); }

    void scramble (int seed)
    {
        juce::Random random (seed);
        for (auto* param : processor.getParameters())
            param->setValueNotifyingHost (random.nextFloat());
    }

    TempHome home;
    AudioPluginAudioProcessor processor;
};
} // namespace

TEST_F (StateThreads, AudioRunsWhileStatesPresetsAndParametersChange)
{
    constexpr int blockSize = 256, variants = 4, restores = 400, loads = 400, moves = 4000;

    // Real preset files, as the plug-in writes them, and saved states, each of other values.
    std::vector<juce::File> presets;
    std::vector<juce::MemoryBlock> states;
    std::vector<Values> stateValues;
    for (int i = 0; i < variants; ++i)
    {
        scramble (10 + i);
        presets.push_back (home.presetFolder().getChildFile ("Preset " + juce::String (i) + ".cvp"));
        processor.presetManager->writePresetFile (presets.back());
        ASSERT_TRUE (presets.back().existsAsFile());

        scramble (20 + i);
        states.emplace_back();
        processor.getStateInformation (states.back());
        stateValues.push_back (values());
    }

    processor.setRateAndBufferSizeDetails (48000.0, blockSize);
    processor.prepareToPlay (48000.0, blockSize);

    std::atomic<bool> stop { false }, nonFinite { false };
    std::atomic<int> blocks { 0 };

    // As the framework's VST3 client calls the processor: under the callback lock, with cleared
    // buffers while processing is suspended.
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        juce::Random noise (3);
        while (! stop)
        {
            for (int channel = 0; channel < 2; ++channel)
                for (int i = 0; i < blockSize; ++i)
                    buffer.setSample (channel, i, noise.nextFloat() * 2.0f - 1.0f);
            {
                const juce::ScopedLock lock (processor.getCallbackLock());
                if (processor.isSuspended())
                    buffer.clear();
                else
                    processor.processBlock (buffer, midi);
            }
            for (int channel = 0; channel < 2; ++channel)
                for (int i = 0; i < blockSize; ++i)
                    nonFinite = nonFinite || ! std::isfinite (buffer.getSample (channel, i));
            ++blocks;
        }
    });

    std::thread restorer ([&] {
        for (int i = 0; i < restores; ++i)
            processor.setStateInformation (states[(size_t) (i % variants)].getData(), (int) states[(size_t) (i % variants)].getSize());
    });
    std::thread loader ([&] {
        for (int i = 0; i < loads; ++i)
            processor.presetManager->loadPresetFile (presets[(size_t) (i % variants)]);
    });
    std::thread automation ([&] {
        juce::Random random (5);
        const auto& parameters = processor.getParameters();
        for (int i = 0; i < moves; ++i)
            parameters[random.nextInt (parameters.size())]->setValueNotifyingHost (random.nextFloat());
    });

    restorer.join();
    loader.join();
    automation.join();
    stop = true;
    audio.join();

    EXPECT_GT (blocks.load(), 0);
    EXPECT_FALSE (nonFinite.load());
    EXPECT_FALSE (processor.isSuspended());
    EXPECT_EQ (processor.valueTreeState->copyState().getType().toString(), "corvantide");
    EXPECT_TRUE (processor.presetManager->currentPresetName.startsWith ("Preset "));

    // Whatever order the threads ran in, the state is whole: a saved state still restores every value.
    processor.setStateInformation (states[1].getData(), (int) states[1].getSize());
    EXPECT_EQ (values(), stateValues[1]);
}
