#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>
#include <sys/resource.h>

#define JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY 1
#include <juce_audio_processors/format_types/juce_VST3Headers.h>

#include "host/PluginModule.h"

// The module driven as unusual or broken hosts drive it: through its VST3 interfaces, with the host's side of them
// made here. These objects live on the test's stack; their reference counts do nothing.
namespace
{
namespace sv = Steinberg::Vst;
using Steinberg::int32;
using Steinberg::int64;
using Steinberg::tresult;

// One parameter's changes, (offset, value) in order.
struct Changes : sv::IParameterChanges, sv::IParamValueQueue
{
    Changes (sv::ParamID i, std::vector<std::pair<int32, double>> p)
        : id (i)
        , points (std::move (p))
    {}
    int32 PLUGIN_API getParameterCount() override { return 1; }
    sv::IParamValueQueue* PLUGIN_API getParameterData (int32) override { return this; }
    sv::IParamValueQueue* PLUGIN_API addParameterData (const sv::ParamID&, int32&) override { return nullptr; }
    sv::ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return (int32) points.size(); }
    tresult PLUGIN_API getPoint (int32 i, int32& offset, double& value) override
    {
        if (i < 0 || i >= getPointCount())
            return Steinberg::kResultFalse;
        std::tie (offset, value) = points[(size_t) i];
        return Steinberg::kResultTrue;
    }
    tresult PLUGIN_API addPoint (int32, double, int32&) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API queryInterface (const Steinberg::TUID, void**) override { return Steinberg::kNoInterface; }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    sv::ParamID id;
    std::vector<std::pair<int32, double>> points;
};

// A host's stream: `data`, then zeros up to `length` made as they are read, at most `chunk` bytes per read, and a
// size that it reports. The client only ever seeks to the start.
struct Stream : Steinberg::IBStream, Steinberg::ISizeableStream
{
    Stream (const juce::MemoryBlock& d, int32 maxChunk, int64 len = -1, int64 reported = -1)
        : data (d)
        , length (len < 0 ? (int64) d.getSize() : len)
        , reportedSize (reported < 0 ? length : reported)
        , chunk (maxChunk)
    {}
    tresult PLUGIN_API read (void* buffer, int32 numBytes, int32* numBytesRead) override
    {
        const auto n = (int32) std::max<int64> (0, std::min<int64> ({ numBytes, chunk, length - position }));
        const auto fromData = (int32) std::clamp<int64> ((int64) data.getSize() - position, 0, n);
        if (fromData > 0)
            std::memcpy (buffer, static_cast<const char*> (data.getData()) + position, (size_t) fromData);
        std::memset (static_cast<char*> (buffer) + fromData, 0, (size_t) (n - fromData));
        position += n;
        *numBytesRead = n;
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API write (void*, int32, int32*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API seek (int64 pos, int32, int64*) override { return (position = pos) == 0 ? Steinberg::kResultTrue : Steinberg::kResultFalse; }
    tresult PLUGIN_API tell (int64*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API getStreamSize (int64& size) override
    {
        size = reportedSize;
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API setStreamSize (int64) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override
    {
        const auto sizeable = Steinberg::FUnknownPrivate::iidEqual (iid, Steinberg::ISizeableStream::iid);
        *obj = sizeable ? static_cast<void*> (static_cast<Steinberg::ISizeableStream*> (this)) : static_cast<Steinberg::IBStream*> (this);
        return Steinberg::kResultOk;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    const juce::MemoryBlock& data;
    int64 length, reportedSize, position = 0;
    int32 chunk;
};

// A loaded module that this test processes itself: stereo in and out, 32-bit, after setupProcessing with each of the
// maxima at the given rate.
struct DirectHost
{
    explicit DirectHost (std::initializer_list<int32> maxima, double rate = 48000.0)
    {
        struct : juce::ExtensionsVisitor
        {
            void visitVST3Client (const VST3Client& client) override { found = client.getIComponentPtr(); }
            sv::IComponent* found = nullptr;
        } visitor;
        if (plugin != nullptr)
            plugin->getExtensions (visitor);
        component = visitor.found;
        if (component == nullptr || component->queryInterface (sv::IAudioProcessor::iid, (void**) &processor) != Steinberg::kResultOk)
            return;
        component->activateBus (sv::kAudio, sv::kInput, 0, true);
        component->activateBus (sv::kAudio, sv::kOutput, 0, true);
        for (auto maximum : maxima)
            setUp (maximum, rate);
        component->setActive (true);
        processor->setProcessing (true);
    }
    void setUp (int32 maximum, double rate)
    {
        sv::ProcessSetup setup { sv::kRealtime, sv::kSample32, maximum, rate };
        processor->setupProcessing (setup);
    }
    ~DirectHost()
    {
        if (processor != nullptr)
        {
            processor->setProcessing (false);
            component->setActive (false);
            processor->release();
        }
    }
    tresult process (const juce::AudioBuffer<float>& in, juce::AudioBuffer<float>& out, int start, int numSamples, Changes* changes, int outChannels = 2)
    {
        float* inputs[] { const_cast<float*> (in.getReadPointer (0, start)), const_cast<float*> (in.getReadPointer (1, start)) };
        float* outputs[] { out.getWritePointer (0, start), out.getWritePointer (1, start), out.getWritePointer (2, start) };
        sv::AudioBusBuffers inBus, outBus;
        inBus.numChannels = 2;
        inBus.channelBuffers32 = inputs;
        outBus.numChannels = outChannels;
        outBus.channelBuffers32 = outputs;
        sv::ProcessData data;
        data.numSamples = numSamples;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        data.inputParameterChanges = changes;
        return processor->process (data);
    }
    sv::ParamID idOf (int index) const
    {
        return (sv::ParamID) dynamic_cast<juce::HostedAudioProcessorParameter*> (plugin->getParameters()[index])->getParameterID().getLargeIntValue();
    }
    juce::MemoryBlock state() const
    {
        Steinberg::MemoryStream stream;
        component->getState (&stream);
        return { stream.getData(), (size_t) stream.getSize() };
    }

    std::unique_ptr<juce::AudioPluginInstance> plugin = testutil::loadPluginModule();
    sv::IComponent* component = nullptr;
    sv::IAudioProcessor* processor = nullptr;
};

juce::AudioBuffer<float> noise (int length)
{
    juce::AudioBuffer<float> buffer (2, length);
    juce::Random random (length);
    for (int i = 0; i < 2 * length; ++i)
        buffer.setSample (i % 2, i / 2, random.nextFloat() - 0.5f);
    return buffer;
}

void expectFiniteAndEqual (const juce::AudioBuffer<float>& actual, const juce::AudioBuffer<float>& expected)
{
    for (int i = 0; i < 2 * expected.getNumSamples(); ++i)
    {
        ASSERT_TRUE (std::isfinite (actual.getSample (i % 2, i / 2))) << "sample " << i / 2;
        ASSERT_EQ (actual.getSample (i % 2, i / 2), expected.getSample (i % 2, i / 2)) << "sample " << i / 2;
    }
}
} // namespace

// A host that sends NaN for a parameter, through the controller and the process call's changes, changes nothing:
// every parameter gets NaN and then a valid value, and the output is that of a run without the NaN. A controller
// asked directly keeps the value it had.
TEST (Host, NanParameterValuesChangeNothing)
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const auto input = noise (512);
    juce::AudioBuffer<float> outputs[2];
    for (int withNan : { 0, 1 })
    {
        const auto plugin = testutil::loadPluginModule();
        ASSERT_NE (plugin, nullptr);
        plugin->prepareToPlay (48000.0, 512);
        const auto& params = plugin->getParameters();
        outputs[withNan].setSize (2, 1024 * params.size());
        juce::MidiBuffer midi;
        for (int i = 0, start = 0; i < params.size(); ++i)
            for (float value : { withNan != 0 ? nan : params[i]->getValue(), i == 29 ? 0.0f : 0.2f + 0.02f * (float) i }) // the bypass last, off
            {
                params[i]->setValue (value);
                juce::AudioBuffer<float> block (input);
                plugin->processBlock (block, midi);
                for (int c = 0; c < 2; ++c)
                    outputs[withNan].copyFrom (c, start, block, c, 0, 512);
                start += 512;
            }
    }
    expectFiniteAndEqual (outputs[1], outputs[0]);

    // A second controller of the same component, made as a host makes one.
    DirectHost host ({});
    ASSERT_NE (host.processor, nullptr);
    juce::DynamicLibrary module (juce::File (CORVANTIDE_VST3_BINARY_DIR).getChildFile ("Corvantide.so").getFullPathName());
    const auto getFactory = (Steinberg::IPluginFactory * (PLUGIN_API*) ()) module.getFunction ("GetPluginFactory");
    ASSERT_NE (getFactory, nullptr);
    Steinberg::TUID controllerId;
    host.component->getControllerClassId (controllerId);
    sv::IEditController* controller = nullptr;
    ASSERT_EQ (getFactory()->createInstance (controllerId, sv::IEditController::iid, (void**) &controller), Steinberg::kResultOk);
    Steinberg::FUnknownPtr<sv::IConnectionPoint> controllerPoint (controller), componentPoint (host.component);
    controller->initialize (nullptr);
    controllerPoint->connect (componentPoint);
    for (int i = 0; i < host.plugin->getParameters().size(); ++i)
    {
        const auto before = controller->getParamNormalized (host.idOf (i));
        controller->setParamNormalized (host.idOf (i), nan);
        EXPECT_EQ (controller->getParamNormalized (host.idOf (i)), before) << i;
    }
    controllerPoint->disconnect (componentPoint);
    controller->terminate();
    controller->release();
}

// Hosts that outgrow the maximum block they announced, or announce none (0, -1: the last usable one, 512 here,
// stands). Such a block sounds as the same audio sent in legal blocks, each with the changes that fall into it; the
// sanitizer build sees no write past a buffer. A long block whose buses do not fit those prepared is silence and a
// failure; a negative length is refused.
TEST (Host, LongBlocksGoInPieces)
{
    for (const auto& [maximum, length] : { std::pair<int32, int> { 512, 1024 }, { 512, 16 * 512 }, { 0, 1300 }, { -1, 4096 } })
    {
        SCOPED_TRACE (testing::Message() << maximum << " " << length);
        DirectHost whole ({ 512, maximum }), legal ({ 512 });
        ASSERT_TRUE (whole.processor != nullptr && legal.processor != nullptr);
        const auto input = noise (length);
        juce::AudioBuffer<float> out (3, length), expected (3, length);
        // Dry/wet before the start (alone in the first piece), twice in the second, and past the end.
        Changes changes (whole.idOf (0), { { -7, 0.8 }, { 600, 0.9 }, { 700, 0.3 }, { length - 1, 0.1 }, { length + 50, 0.6 } });
        EXPECT_EQ (whole.process (input, out, 0, length, &changes), Steinberg::kResultTrue);
        for (int start = 0, n = 0; start < length; start += n)
        {
            n = std::min (512, length - start);
            Changes inPiece (changes.id, {});
            for (auto [offset, value] : changes.points)
                if ((start == 0 || offset >= start) && (start + n == length || offset < start + n))
                    inPiece.points.push_back ({ std::clamp (offset - start, 0, n - 1), value });
            legal.process (input, expected, start, n, &inPiece);
        }
        expectFiniteAndEqual (out, expected);

        EXPECT_EQ (whole.process (input, out, 0, length, nullptr, 3), Steinberg::kResultFalse);
        EXPECT_EQ (out.getMagnitude (0, length), 0.0f);
        EXPECT_EQ (whole.process (input, out, 0, -1, nullptr), Steinberg::kResultFalse);
    }
}

// A stream that reports 2^62 bytes and holds 1 GiB after a valid state is refused quickly, in little memory, and
// leaves the state as it was. The state restores through a stream that gives at most 64 bytes per read, and so does
// the largest state the processor accepts.
TEST (HostState, ShortReadsAndEndlessStreams)
{
    DirectHost source ({ 512 }), target ({ 512 });
    ASSERT_TRUE (source.processor != nullptr && target.processor != nullptr);
    juce::Random random (8);
    for (auto* p : source.plugin->getParameters())
        p->setValue (random.nextFloat());
    const auto saved = source.state(), before = target.state();
    ASSERT_NE (saved, before);

    Stream endless (saved, 1 << 20, (int64) 1 << 30, (int64) 1 << 62);
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    const auto peakBefore = usage.ru_maxrss; // KiB
    const auto startTime = std::chrono::steady_clock::now();
    EXPECT_EQ (target.component->setState (&endless), Steinberg::kResultFalse);
    EXPECT_LT (std::chrono::duration<double> (std::chrono::steady_clock::now() - startTime).count(), 0.25);
    getrusage (RUSAGE_SELF, &usage);
    EXPECT_LT (usage.ru_maxrss - peakBefore, 4096);
    EXPECT_EQ (target.state(), before);

    Stream shortReads (saved, 64);
    EXPECT_EQ (target.component->setState (&shortReads), Steinberg::kResultTrue);
    EXPECT_EQ (target.state(), saved);

    // The blob's XML padded with blanks to the processor's limit of 64 KiB, then the client's trailer.
    const auto textLength = (int) juce::ByteOrder::littleEndianInt (saved.begin() + 4);
    const auto text = juce::String::fromUTF8 (saved.begin() + 8, textLength);
    juce::MemoryOutputStream largest;
    largest.write (saved.begin(), 4);
    largest.writeInt (64 * 1024);
    largest << text.replaceFirstOccurrenceOf (">", ">" + juce::String::repeatedString (" ", 64 * 1024 - textLength));
    largest.write (saved.begin() + 8 + textLength, saved.getSize() - 8 - (size_t) textLength);
    const juce::MemoryBlock largestState (largest.getData(), largest.getDataSize());
    Stream beforeStream (before, 1 << 20), largestStream (largestState, 1 << 20);
    ASSERT_EQ (target.component->setState (&beforeStream), Steinberg::kResultTrue);
    EXPECT_EQ (target.component->setState (&largestStream), Steinberg::kResultTrue);
    EXPECT_EQ (target.state(), saved);
}

// The client counts the tail in samples at the rate of the last setupProcessing, which a host may give without a new
// activation: the module must count it at that rate too, not at that of its last activation.
TEST (HostRates, TailFollowsTheLastSetUp)
{
    DirectHost moved ({ 512 }, 768000.0), fresh ({ 512 }, 44100.0);
    ASSERT_TRUE (moved.processor != nullptr && fresh.processor != nullptr);
    moved.setUp (512, 44100.0);
    EXPECT_EQ (moved.processor->getTailSamples(), fresh.processor->getTailSamples());
}
