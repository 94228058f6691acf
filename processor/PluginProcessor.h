#pragma once

#include <memory>

#include <juce_audio_processors/juce_audio_processors.h>

#include "engine/PlimbradeDSP.h"
#include "presets/PresetsMenuManager.h"
#include "processor/MetaUI.h"
#include "processor/ParamBridge.h"
#include "processor/TailEstimate.h"

class AudioPluginAudioProcessor : public juce::AudioProcessor
{
public:
    AudioPluginAudioProcessor();
    ~AudioPluginAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using AudioProcessor::processBlock;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    // Declaration order fixes destruction order: the preset manager goes first,
    // and the bridge goes before the collector and the engine it points into.
    std::unique_ptr<juce::AudioProcessorValueTreeState> valueTreeState;
    std::unique_ptr<dsp> engine;
    std::unique_ptr<MetaUI> metaUI;
    std::unique_ptr<ParamBridge> bridge;
    ParamInfo* bpmZone = nullptr; // owned by bridge
    std::unique_ptr<TailEstimate> tail; // reads the bridge's entries
    std::unique_ptr<qnmr::PresetsMenuManager> presetManager;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioPluginAudioProcessor)
};
