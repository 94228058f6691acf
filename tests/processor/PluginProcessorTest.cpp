#include <atomic>
#include <cstdlib>
#include <new>

#include <xmmintrin.h>

#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

// Counts heap allocations made while a test has armed the counter, so a test
// can prove that processBlock allocates nothing.
namespace
{
    std::atomic<bool> countingAllocations { false };
    std::atomic<int> allocationCount { 0 };

    void* allocate (std::size_t size)
    {
        if (countingAllocations.load())
            ++allocationCount;
        if (void* p = std::malloc (size == 0 ? 1 : size))
            return p;
        throw std::bad_alloc();
    }
} // namespace

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

namespace
{
    class FixedPlayHead : public juce::AudioPlayHead
    {
    public:
        juce::Optional<PositionInfo> getPosition() const override
        {
            if (! hasPosition)
                return {};
            PositionInfo info;
            if (bpm)
                info.setBpm (*bpm);
            return info;
        }

        bool hasPosition = true;
        juce::Optional<double> bpm;
    };

    class ProcessorTest : public ::testing::Test
    {
    protected:
        float zoneOf (const juce::String& id)
        {
            for (auto& entry : processor.bridge->entries)
                if (entry.id == id)
                    return *entry.info->zone;
            ADD_FAILURE() << "no parameter " << id;
            return 0.0f;
        }

        float bpmZone()
        {
            if (processor.bpmZone == nullptr)
            {
                ADD_FAILURE() << "no tempo zone";
                return 0.0f;
            }
            return *processor.bpmZone->zone;
        }

        void setParameter (const juce::String& id, float value)
        {
            auto* param = processor.valueTreeState->getParameter (id);
            param->setValueNotifyingHost (param->convertTo0to1 (value));
        }

        void process (int numSamples, int channels = 2)
        {
            juce::AudioBuffer<float> buffer (channels, numSamples);
            buffer.clear();
            juce::MidiBuffer midi;
            processor.processBlock (buffer, midi);
        }

        TempHome home;
        AudioPluginAudioProcessor processor;
    };
} // namespace

TEST_F (ProcessorTest, BuildsTheEngineParametersAndHiddenTempo)
{
    EXPECT_EQ (processor.getName(), "Corvantide");
    EXPECT_EQ (processor.getParameters().size(), 29);
    ASSERT_EQ (processor.bridge->entries.size(), 29u);
    for (const auto& entry : processor.bridge->entries)
        EXPECT_EQ (entry.rawValue, processor.valueTreeState->getRawParameterValue (entry.id)) << entry.id;

    ASSERT_NE (processor.bpmZone, nullptr);
    EXPECT_EQ (processor.bpmZone->id, "bpm");
    EXPECT_EQ (processor.valueTreeState->getParameter ("bpm"), nullptr);
    EXPECT_EQ (processor.valueTreeState->state.getType().toString(), "corvantide");
    EXPECT_EQ (processor.engine->getSampleRate(), 0);
}

TEST_F (ProcessorTest, TheOneProgramHasAName)
{
    // The framework shows the program to the host; a nameless one fails VST3 validation.
    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_FALSE (processor.getProgramName (0).isEmpty());
}

TEST_F (ProcessorTest, PrepareTruncatesTheRate)
{
    processor.prepareToPlay (44100.9, 512);
    EXPECT_EQ (processor.engine->getSampleRate(), 44100);
    processor.prepareToPlay (48000.0, 512);
    EXPECT_EQ (processor.engine->getSampleRate(), 48000);
}

TEST_F (ProcessorTest, HostTempoReachesTheHiddenZoneUnclamped)
{
    processor.prepareToPlay (48000.0, 256);
    process (64);
    EXPECT_EQ (bpmZone(), 120.0f);

    FixedPlayHead head;
    processor.setPlayHead (&head);

    process (64);
    EXPECT_EQ (bpmZone(), 120.0f) << "no tempo reported";

    for (double bpm : { 87.5, 0.0, 1500.0 })
    {
        head.bpm = bpm;
        process (64);
        EXPECT_EQ (bpmZone(), static_cast<float> (bpm));
    }

    head.hasPosition = false;
    process (64);
    EXPECT_EQ (bpmZone(), 1500.0f) << "no position keeps the last tempo";

    processor.prepareToPlay (48000.0, 256);
    processor.setPlayHead (nullptr);
    process (64);
    EXPECT_EQ (bpmZone(), 120.0f);
}

TEST_F (ProcessorTest, ParametersReachTheirZonesByKind)
{
    processor.prepareToPlay (48000.0, 256);
    setParameter ("pitchstage", 2.0f);
    setParameter ("lowsyncedtime", 11.0f);
    setParameter ("cutoff", 2795.0f);
    setParameter ("lowpan", -0.25f);

    // A block of no samples still carries tempo and parameters.
    FixedPlayHead head;
    head.bpm = 90.0;
    processor.setPlayHead (&head);
    process (0);

    EXPECT_EQ (zoneOf ("pitchstage"), 2.0f);
    EXPECT_EQ (zoneOf ("lowsyncedtime"), 11.0f);
    EXPECT_EQ (zoneOf ("cutoff"), 2795.0f);
    // A number goes through untouched, whatever the normalisation did to it.
    EXPECT_EQ (zoneOf ("lowpan"), processor.valueTreeState->getRawParameterValue ("lowpan")->load());
    EXPECT_FLOAT_EQ (zoneOf ("lowpan"), -0.25f);
    EXPECT_EQ (zoneOf ("drywet"), 50.0f);
    EXPECT_EQ (bpmZone(), 90.0f);
    processor.setPlayHead (nullptr);
}

TEST_F (ProcessorTest, OnlyStereoInStereoOutIsSupported)
{
    using Set = juce::AudioChannelSet;
    const auto layout = [] (Set in, Set out) {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };

    EXPECT_TRUE (processor.checkBusesLayoutSupported (layout (Set::stereo(), Set::stereo())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::mono(), Set::mono())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::stereo(), Set::mono())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::mono(), Set::stereo())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::disabled(), Set::stereo())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::stereo(), Set::disabled())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::create5point1(), Set::create5point1())));
}

TEST_F (ProcessorTest, NarrowBufferIsLeftAlone)
{
    processor.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> mono (1, 32);
    mono.clear();
    mono.setSample (0, 3, 0.5f);
    juce::MidiBuffer midi;
    processor.processBlock (mono, midi);
    EXPECT_EQ (mono.getSample (0, 3), 0.5f);
}

TEST_F (ProcessorTest, ProcessBlockRestoresMxcsr)
{
    processor.prepareToPlay (48000.0, 256);
    const auto original = _mm_getcsr();

    // Default, FTZ+DAZ already set, and round-toward-zero with flags pending.
    for (unsigned int csr : { 0x1f80u, 0x9fc0u, 0x7f81u })
    {
        _mm_setcsr (csr);
        process (128);
        const auto after = _mm_getcsr();
        _mm_setcsr (original);
        EXPECT_EQ (after, csr) << std::hex << csr;
    }
}

TEST_F (ProcessorTest, ProcessBlockAllocatesNothing)
{
    processor.prepareToPlay (48000.0, 512);
    FixedPlayHead head;
    head.bpm = 133.0;
    processor.setPlayHead (&head);
    setParameter ("pitchstage", 2.0f);

    juce::AudioBuffer<float> buffer (2, 512);
    juce::Random random (7);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            buffer.setSample (ch, i, random.nextFloat() * 2.0f - 1.0f);
    juce::MidiBuffer midi;

    // The counter must see an ordinary allocation, or a pass proves nothing.
    allocationCount = 0;
    countingAllocations = true;
    ::operator delete (::operator new (16)); // a direct call, which the compiler may not elide
    countingAllocations = false;
    ASSERT_EQ (allocationCount.load(), 1);

    allocationCount = 0;
    countingAllocations = true;
    for (int n : { 512, 1, 0, 250, 512 })
    {
        juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), 2, n);
        processor.processBlock (view, midi);
    }
    countingAllocations = false;

    EXPECT_EQ (allocationCount.load(), 0);
    processor.setPlayHead (nullptr);
}
