#include "processor/PluginProcessor.h"

#include "editor/PluginEditor.h"
#include "presets/StateTree.h"
#include "processor/EngineRate.h"
#include "processor/SilenceNonFinite.h"

namespace
{
// The rate the framework's clients assume until a host gives one.
constexpr double defaultRate = 44100.0;
} // namespace

AudioPluginAudioProcessor::AudioPluginAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    // Value-initialised: the engine is about 14 MB of fields that must read 0 until init.
    engine.reset (new PlimbradeDSP());

    metaUI = std::make_unique<MetaUI>();
    engine->buildUserInterface (metaUI.get());

    bridge = std::make_unique<ParamBridge>();
    bridge->zoneMetadata = &metaUI->fZoneMetadata;

    valueTreeState = std::make_unique<juce::AudioProcessorValueTreeState> (*this, nullptr, qnmr::parameterTreeType, buildParameterLayout (*bridge));

    // Resolved once, so the audio thread never looks a parameter up by name.
    for (auto& entry : bridge->entries)
        entry.rawValue = valueTreeState->getRawParameterValue (entry.id);

    bpmZone = findHiddenZone (*bridge, "bpm");
    tail = std::make_unique<TailEstimate> (*bridge);

    presetManager = std::make_unique<qnmr::PresetsMenuManager> (*this, *valueTreeState, "Quenmar_Works", "Corvantide", "cvp");

    // A host that processes before it activates us hears the effect, not NaN
    // from an engine never set up, and the tail is counted at the same rate.
    setRateAndBufferSizeDetails (defaultRate, 0);
    engine->init (engineRate (defaultRate));
}

AudioPluginAudioProcessor::~AudioPluginAudioProcessor() = default;

const juce::String AudioPluginAudioProcessor::getName() const { return "Corvantide"; }

void AudioPluginAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    // Hosts give the rate before this call; one that only calls this gets it
    // kept all the same, for the tail.
    setRateAndBufferSizeDetails (sampleRate, maximumExpectedSamplesPerBlock);
    engine->init (engineRate (sampleRate));
}

void AudioPluginAudioProcessor::releaseResources() {}

void AudioPluginAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const juce::ScopedNoDenormals noDenormals;

    if (bpmZone != nullptr)
        if (auto* host = getPlayHead())
            if (const auto position = host->getPosition())
                if (const auto bpm = position->getBpm())
                    writeZone (*bpmZone, static_cast<float> (*bpm));

    // The tempo the engine runs with, for tail queries from other threads.
    if (bpmZone != nullptr)
        tail->setTempo (*bpmZone->zone);

    for (const auto& entry : bridge->entries)
        if (entry.rawValue != nullptr)
            writeZone (*entry.info, entry.rawValue->load (std::memory_order_relaxed));

    // The engine reads and writes two channels; no supported layout gives
    // fewer, but a narrower buffer must not send it past the channel array.
    if (buffer.getNumChannels() < engine->getNumInputs())
        return;

    auto** channels = const_cast<float**> (buffer.getArrayOfWritePointers());

    // One NaN or infinity from upstream would live on in the delay lines and
    // the feedback until the plug-in is reloaded; the engine hears it as silence.
    for (int channel = 0; channel < engine->getNumInputs(); ++channel)
        silenceNonFinite (channels[channel], buffer.getNumSamples());

    engine->compute (buffer.getNumSamples(), channels, channels);
}

/*  Hosts may stop calling processBlock once the input is silent and the tail
    has passed, so the tail follows the current settings and is infinite while
    a feedback of 100 % keeps the echoes alive. The framework's VST3 client
    asks this on every getTailSamples, so a host that asks again hears the
    change. The client's only restart flag a host re-reads it on is
    kLatencyChanged, and that makes the host deactivate and reactivate us,
    which runs prepareToPlay and clears every delay line: a knob turn would cut
    the very echoes the tail is meant to keep, so no restart is requested.

    The rate is the one the host gave last: the client's setupProcessing gives
    one without an activation and counts the tail in samples at it. The
    framework keeps that rate in a plain field and calls nothing of ours after
    setting it, so there is no atomic copy to keep; the field is written only
    while the host sets up processing, and the client reads its own copy of
    the rate unguarded in the same query, so a host asking meanwhile would
    race that copy just as much.
*/
double AudioPluginAudioProcessor::getTailLengthSeconds() const { return tail->seconds (getSampleRate()); }
bool AudioPluginAudioProcessor::acceptsMidi() const { return true; }
bool AudioPluginAudioProcessor::producesMidi() const { return false; }

juce::AudioProcessorEditor* AudioPluginAudioProcessor::createEditor()
{
    return new AudioPluginAudioProcessorEditor (*this);
}

bool AudioPluginAudioProcessor::hasEditor() const { return true; }
int AudioPluginAudioProcessor::getNumPrograms() { return 1; }
int AudioPluginAudioProcessor::getCurrentProgram() { return 0; }
void AudioPluginAudioProcessor::setCurrentProgram (int) {}

// The framework shows the one program to the host, and VST3 validation
// refuses a program without a name.
const juce::String AudioPluginAudioProcessor::getProgramName (int) { return "Default"; }

void AudioPluginAudioProcessor::changeProgramName (int, const juce::String&) {}

// The blob: "VC2!", the XML's length (little-endian), the single-line XML of
// the parameter tree, and a terminating zero.
void AudioPluginAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = valueTreeState->copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

// Anything that is not our own blob, down to the letter case of the root tag,
// leaves the parameters as they are.
void AudioPluginAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = qnmr::parseStateBlob (data, sizeInBytes);
    if (xml == nullptr)
        return;

    auto tree = juce::ValueTree::fromXml (*xml);
    if (tree.getType() != qnmr::parameterTreeType)
        return;

    qnmr::completeParameterTree (*valueTreeState, tree);
    valueTreeState->replaceState (tree);
}

bool AudioPluginAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto input = layouts.getMainInputChannelSet();
    const auto output = layouts.getMainOutputChannelSet();

    return ! input.isDisabled()
           && ! output.isDisabled()
           && output == juce::AudioChannelSet::stereo()
           && input == output;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new AudioPluginAudioProcessor();
}
