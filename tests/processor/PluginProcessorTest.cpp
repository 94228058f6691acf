#include <atomic>
#include <cstdlib>
#include <new>

#include <xmmintrin.h>

#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

// Counts heap allocations while armed, so a test can prove that processBlock allocates nothing.
static std::atomic<bool> counting { false };
static std::atomic<int> allocations { 0 };

static void* allocate (std::size_t size)
{
    allocations += counting.load() ? 1 : 0;
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// The library's array forms call these.
void* operator new (std::size_t size) { return allocate (size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }

namespace
{
    struct TempoHead : juce::AudioPlayHead
    {
        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setBpm (bpm);
            return info;
        }
        juce::Optional<double> bpm;
    };

    struct ProcessorTest : ::testing::Test
    {
        void process (int numSamples, int channels = 2)
        {
            juce::AudioBuffer<float> buffer (channels, numSamples);
            buffer.clear();
            processor.processBlock (buffer, midi);
        }

        TempHome home;
        AudioPluginAudioProcessor processor;
        juce::MidiBuffer midi;
        TempoHead head;
    };
} // namespace

TEST_F (ProcessorTest, TempoParametersAndBuses)
{
    // The framework shows the one program to the host; VST3 validation refuses a nameless one.
    EXPECT_FALSE (processor.getProgramName (0).isEmpty());
    processor.prepareToPlay (44100.9, 256);
    EXPECT_EQ (processor.engine->getSampleRate(), 44100);

    process (64);
    EXPECT_EQ (*processor.bpmZone->zone, 120.0f) << "no play head";
    processor.setPlayHead (&head);
    process (64);
    EXPECT_EQ (*processor.bpmZone->zone, 120.0f) << "no tempo";

    // A block of no samples still carries tempo and parameters, each by its kind.
    head.bpm = 87.5;
    const std::tuple<const char*, float, float> sets[] { { "pitchstage", 1.0f, 2.0f }, { "lowmute", 1.0f, 1.0f }, { "cutoff", 0.5f, 2795.0f }, { "drywet", 0.5f, 50.0f } };
    for (const auto& [id, normalised, value] : sets)
        processor.valueTreeState->getParameter (id)->setValueNotifyingHost (normalised);
    process (0);
    EXPECT_EQ (*processor.bpmZone->zone, 87.5f);
    for (const auto& [id, normalised, value] : sets)
        for (const auto& entry : processor.bridge->entries)
            EXPECT_TRUE (entry.id != id || *entry.info->zone == value) << id << " " << *entry.info->zone;

    process (32, 1); // narrower than the engine's two channels: must not reach past them
    processor.setPlayHead (nullptr);

    // Only stereo in, stereo out.
    using Set = juce::AudioChannelSet;
    const std::pair<Set, Set> layouts[] { { Set::stereo(), Set::stereo() }, { Set::mono(), Set::mono() }, { Set::stereo(), Set::mono() },
                                          { Set::mono(), Set::stereo() }, { Set::disabled(), Set::stereo() }, { Set::create5point1(), Set::create5point1() } };
    for (const auto& [in, out] : layouts)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (in);
        layout.outputBuses.add (out);
        EXPECT_EQ (processor.checkBusesLayoutSupported (layout), &in == &layouts[0].first) << in.getDescription() << " / " << out.getDescription();
    }
}

TEST_F (ProcessorTest, ProcessBlockKeepsMxcsrAndAllocatesNothing)
{
    processor.prepareToPlay (48000.0, 512);
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

    head.bpm = 133.0;
    processor.setPlayHead (&head);
    juce::AudioBuffer<float> buffer (2, 512);
    for (int i = 0; i < 512; ++i)
        buffer.setSample (i % 2, i, std::sin ((float) i));

    // The counter must see one direct allocation, or a pass proves nothing.
    counting = true;
    ::operator delete (::operator new (16));
    for (int n : { 512, 1, 0, 250 })
    {
        juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), 2, n);
        processor.processBlock (view, midi);
    }
    counting = false;
    EXPECT_EQ (allocations.load(), 1);
    processor.setPlayHead (nullptr);
}
