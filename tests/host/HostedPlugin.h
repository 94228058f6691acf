#pragma once

#include <memory>

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

// The built Corvantide.vst3 bundle, loaded through the framework's VST3 host
// exactly as a host application would load it.
struct HostedPlugin
{
    // The module binary sits in <bundle>/Contents/<architecture>/.
    static juce::File bundle() { return juce::File (CORVANTIDE_VST3_BINARY_DIR).getParentDirectory().getParentDirectory(); }

    static std::unique_ptr<juce::PluginDescription> describe()
    {
        juce::VST3PluginFormat format;
        juce::OwnedArray<juce::PluginDescription> types;
        format.findAllTypesForFile (types, bundle().getFullPathName());
        if (types.size() != 1)
            return nullptr;
        return std::make_unique<juce::PluginDescription> (*types[0]);
    }

    static std::unique_ptr<juce::AudioPluginInstance> create (double sampleRate = 48000.0, int blockSize = 512)
    {
        const auto description = describe();
        if (description == nullptr)
            return nullptr;

        juce::VST3PluginFormat format;
        juce::String error;
        auto instance = format.createInstanceFromDescription (*description, sampleRate, blockSize, error);
        EXPECT_TRUE (error.isEmpty()) << error;
        return instance;
    }
};
