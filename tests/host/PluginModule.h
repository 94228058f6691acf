#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace testutil
{
// The built Corvantide.vst3 bundle, loaded through the framework's VST3 host
// as a host application loads it. The module binary sits in
// <bundle>/Contents/<architecture>/.
inline std::unique_ptr<juce::AudioPluginInstance> loadPluginModule()
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, juce::File (CORVANTIDE_VST3_BINARY_DIR).getParentDirectory().getParentDirectory().getFullPathName());
    juce::String error;
    return types.size() == 1 ? format.createInstanceFromDescription (*types[0], 48000.0, 512, error) : nullptr;
}
} // namespace testutil
