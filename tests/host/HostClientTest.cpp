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
// made here. These objects live on the test's stack, so their reference counts do nothing.
namespace
{
namespace sv = Steinberg::Vst;
using Steinberg::int32;
using Steinberg::int64;
using Steinberg::tresult;

struct Queue : sv::IParamValueQueue
{
    Queue (sv::ParamID i, std::vector<std::pair<int32, double>> p) : id (i), points (std::move (p)) {}
    sv::ParamID id;
    std::vector<std::pair<int32, double>> points; // (offset, value), in order
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
};

struct Changes : sv::IParameterChanges
{
    explicit Changes (std::vector<Queue> q) : queues (std::move (q)) {}
    std::vector<Queue> queues;
    int32 PLUGIN_API getParameterCount() override { return (int32) queues.size(); }
    sv::IParamValueQueue* PLUGIN_API getParameterData (int32 i) override { return &queues.at ((size_t) i); }
    sv::IParamValueQueue* PLUGIN_API addParameterData (const sv::ParamID&, int32&) override { return nullptr; }
    tresult PLUGIN_API queryInterface (const Steinberg::TUID, void**) override { return Steinberg::kNoInterface; }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

// A host's stream: `data`, then zeros up to `length` made as they are read, at most `chunk` bytes per read, and a
// size that it reports.
struct Stream : Steinberg::IBStream, Steinberg::ISizeableStream
{
    Stream (const juce::MemoryBlock& d, int64 len, int64 reported, int32 maxChunk) : data (d), length (len), reportedSize (reported), chunk (maxChunk) {}
    tresult PLUGIN_API read (void* buffer, int32 numBytes, int32* numBytesRead) override
    {
        const auto n = (int32) std::max<int64> (0, std::min<int64> ({ numBytes, chunk, length - position }));
        const auto fromData = (int32) std::clamp<int64> ((int64) data.getSize() - position, 0, n);
        std::memcpy (buffer, static_cast<const char*> (data.getData()) + position, (size_t) fromData);
        std::memset (static_cast<char*> (buffer) + fromData, 0, (size_t) (n - fromData));
        position += n;
        if (numBytesRead != nullptr)
            *numBytesRead = n;
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API write (void*, int32, int32*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API seek (int64 pos, int32 mode, int64* result) override
    {
        position = std::clamp<int64> (pos + (mode == kIBSeekCur ? position : mode == kIBSeekEnd ? length : 0), 0, length);
        if (result != nullptr)
            *result = position;
        return Steinberg::kResultTrue;
    }
    tresult PLUGIN_API tell (int64* pos) override
    {
        if (pos != nullptr)
            *pos = position;
        return Steinberg::kResultTrue;
    }
    tresult PLUGIN_API getStreamSize (int64& size) override
    {
        size = reportedSize;
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API setStreamSize (int64) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override
    {
        using Steinberg::FUnknownPrivate::iidEqual;
        if (iidEqual (iid, Steinberg::FUnknown::iid) || iidEqual (iid, Steinberg::IBStream::iid))
            *obj = static_cast<Steinberg::IBStream*> (this);
        else if (iidEqual (iid, Steinberg::ISizeableStream::iid))
            *obj = static_cast<Steinberg::ISizeableStream*> (this);
        else
            return Steinberg::kNoInterface;
        return Steinberg::kResultOk;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    const juce::MemoryBlock& data;
    int64 length, reportedSize, position = 0;
    int32 chunk;
};

// A loaded module whose processing this test drives itself: stereo in and out, 48 kHz, 32-bit.
struct DirectHost
{
    explicit DirectHost (std::initializer_list<int32> maxima)
    {
        struct : juce::ExtensionsVisitor
        {
            void visitVST3Client (const VST3Client& client) override { component = client.getIComponentPtr(); }
            sv::IComponent* component = nullptr;
        } visitor;
        if (plugin != nullptr)
            plugin->getExtensions (visitor);
        component = visitor.component;
        if (component == nullptr || component->queryInterface (sv::IAudioProcessor::iid, (void**) &processor) != Steinberg::kResultOk)
            return;
        component->activateBus (sv::kAudio, sv::kInput, 0, true);
        component->activateBus (sv::kAudio, sv::kOutput, 0, true);
        for (auto maximum : maxima)
        {
            sv::ProcessSetup setup { sv::kRealtime, sv::kSample32, maximum, 48000.0 };
            processor->setupProcessing (setup);
        }
        component->setActive (true);
        processor->setProcessing (true);
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

    std::unique_ptr<juce::AudioPluginInstance> plugin = testutil::loadPluginModule();
    sv::IComponent* component = nullptr;
    sv::IAudioProcessor* processor = nullptr;
};

juce::AudioBuffer<float> noise (int channels, int length, int seed)
{
    juce::AudioBuffer<float> buffer (channels, length);
    juce::Random random (seed);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < length; ++i)
            buffer.setSample (c, i, random.nextFloat() - 0.5f);
    return buffer;
}

bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! std::isfinite (buffer.getSample (c, i)))
                return false;
    return true;
}

juce::MemoryBlock componentState (sv::IComponent& component)
{
    Steinberg::MemoryStream stream;
    component.getState (&stream);
    return { stream.getData(), (size_t) stream.getSize() };
}
} // namespace

// A host that sends NaN for a parameter, through the controller and the process call's changes, changes nothing:
// every parameter gets NaN and then a valid value, and the output is that of a run without the NaN. The
// controller, asked directly, keeps the value it had.
TEST (Host, NanParameterValuesChangeNothing)
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const auto input = noise (2, 512, 5);
    juce::AudioBuffer<float> outputs[2];
    for (int withNan : { 0, 1 })
    {
        const auto plugin = testutil::loadPluginModule();
        ASSERT_NE (plugin, nullptr);
        plugin->prepareToPlay (48000.0, 512);
        outputs[withNan].setSize (2, 512 * 2 * plugin->getParameters().size());
        juce::MidiBuffer midi;
        int start = 0;
        const auto render = [&] {
            juce::AudioBuffer<float> block (input);
            plugin->processBlock (block, midi);
            for (int c = 0; c < 2; ++c)
                outputs[withNan].copyFrom (c, start, block, c, 0, 512);
            start += 512;
        };
        for (int i = 0; i < plugin->getParameters().size(); ++i)
        {
            plugin->getParameters()[i]->setValue (withNan != 0 ? nan : plugin->getParameters()[i]->getValue());
            render();
            plugin->getParameters()[i]->setValue (i == 29 ? 0.0f : 0.2f + 0.02f * (float) i); // the bypass last, off
            render();
        }
    }
    EXPECT_TRUE (allFinite (outputs[1]));
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < outputs[0].getNumSamples(); ++i)
            ASSERT_EQ (outputs[0].getSample (c, i), outputs[1].getSample (c, i)) << "sample " << i;

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
// stands). Such a block is processed in pieces of the prepared size, with each piece's parameter changes, and sounds
// as the same audio sent in legal blocks; the sanitizer build sees no write past a buffer. A block whose buses do
// not fit what was prepared is silence and a failure; a negative length is refused.
TEST (Host, LongBlocksGoInPieces)
{
    const std::tuple<int32, int, int> rows[] { { 512, 1024, 512 }, { 512, 16 * 512, 512 }, { 0, 1300, 512 }, { -1, 4096, 512 } };
    for (const auto& [maximum, length, piece] : rows)
    {
        SCOPED_TRACE (testing::Message() << maximum << " " << length);
        DirectHost whole ({ 512, maximum }), legal ({ 512 });
        ASSERT_TRUE (whole.processor != nullptr && legal.processor != nullptr);
        const auto input = noise (2, length, length);
        juce::AudioBuffer<float> out (3, length), expected (3, length);

        // Changes before the start, inside, and past the end of the block, on two parameters; a legal host sends
        // each in the piece it falls into.
        const std::vector<std::pair<int32, double>> dryWet { { 100, 0.9 }, { 511, 0.3 }, { 600, 0.7 }, { length - 1, 0.1 }, { length + 50, 0.6 } },
            amp { { -7, 0.5 }, { 900, 0.8 } };
        Changes changes ({ { whole.idOf (0), dryWet }, { whole.idOf (1), amp } });
        EXPECT_EQ (whole.process (input, out, 0, length, &changes), Steinberg::kResultTrue);
        for (int start = 0; start < length; start += piece)
        {
            const auto n = std::min (piece, length - start);
            Changes inPiece ({ { legal.idOf (0), {} }, { legal.idOf (1), {} } });
            for (size_t q = 0; q < 2; ++q)
                for (auto [offset, value] : changes.queues[q].points)
                    if ((start == 0 || offset >= start) && (start + n == length || offset < start + n))
                        inPiece.queues[q].points.push_back ({ std::clamp (offset - start, 0, n - 1), value });
            legal.process (input, expected, start, n, &inPiece);
        }
        EXPECT_TRUE (allFinite (out));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < length; ++i)
                ASSERT_EQ (out.getSample (c, i), expected.getSample (c, i)) << "sample " << i;

        EXPECT_EQ (whole.process (input, out, 0, length, nullptr, 3), Steinberg::kResultFalse);
        EXPECT_EQ (out.getMagnitude (0, length), 0.0f);
        EXPECT_EQ (whole.process (input, out, 0, -1, nullptr), Steinberg::kResultFalse);
    }
}

// The state restores through a stream that gives at most 64 bytes per read, and so does the largest state the
// processor accepts. A stream that reports 2^62 bytes and holds 1 GiB after a valid state is refused quickly, in
// little memory, and leaves the state as it was.
TEST (HostState, ShortReadsAndEndlessStreams)
{
    DirectHost source ({ 512 }), target ({ 512 });
    ASSERT_TRUE (source.processor != nullptr && target.processor != nullptr);
    juce::Random random (8);
    for (auto* p : source.plugin->getParameters())
        p->setValue (random.nextFloat());
    const auto saved = componentState (*source.component), before = componentState (*target.component);
    ASSERT_NE (saved, before);

    Stream endless (saved, (int64) 1 << 30, (int64) 1 << 62, 1 << 20);
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    const auto peakBefore = usage.ru_maxrss; // KiB
    const auto startTime = std::chrono::steady_clock::now();
    EXPECT_EQ (target.component->setState (&endless), Steinberg::kResultFalse);
    EXPECT_LT (std::chrono::duration<double> (std::chrono::steady_clock::now() - startTime).count(), 0.25);
    getrusage (RUSAGE_SELF, &usage);
    EXPECT_LT (usage.ru_maxrss - peakBefore, 4096);
    EXPECT_EQ (componentState (*target.component), before);

    Stream shortReads (saved, (int64) saved.getSize(), (int64) saved.getSize(), 64);
    EXPECT_EQ (target.component->setState (&shortReads), Steinberg::kResultTrue);
    EXPECT_EQ (componentState (*target.component), saved);

    // The blob's XML padded with spaces to the processor's limit of 64 KiB; the client's trailer follows it.
    const auto textLength = (int) juce::ByteOrder::littleEndianInt (saved.begin() + 4);
    const auto text = juce::String::fromUTF8 (saved.begin() + 8, textLength);
    const auto padded = text.replaceFirstOccurrenceOf (">", ">" + juce::String::repeatedString (" ", 64 * 1024 - textLength));
    juce::MemoryOutputStream largest;
    largest.write (saved.begin(), 4);
    largest.writeInt (64 * 1024);
    largest << padded;
    largest.writeByte (0);
    largest.write (saved.begin() + 9 + textLength, saved.getSize() - 9 - (size_t) textLength);
    const juce::MemoryBlock largestState (largest.getData(), largest.getDataSize());
    Stream beforeStream (before, (int64) before.getSize(), (int64) before.getSize(), 1 << 20),
        largestStream (largestState, (int64) largestState.getSize(), (int64) largestState.getSize(), 1 << 20);
    ASSERT_EQ (target.component->setState (&beforeStream), Steinberg::kResultTrue);
    ASSERT_EQ (componentState (*target.component), before);
    EXPECT_EQ (target.component->setState (&largestStream), Steinberg::kResultTrue);
    EXPECT_EQ (componentState (*target.component), saved);
}
