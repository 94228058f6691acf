#include <cstring>
#include <functional>

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "host/PluginModule.h"

// Damaged copies of what a host stores for the component (our blob, then the
// client's trailer: 8 zero bytes, its value tree, that tree's 64-bit length and
// "JUCEPrivateData") go back through the built module as a host hands them over.
namespace
{
juce::StringArray values (juce::AudioPluginInstance& plugin)
{
    juce::StringArray v;
    for (auto* p : plugin.getParameters())
        v.add (p->getCurrentValueAsText());
    return v;
}

void scramble (juce::AudioPluginInstance& plugin, int seed)
{
    juce::Random random (seed);
    for (auto* p : plugin.getParameters())
        p->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
}

// The host's saved state, whose component stream a test can replace.
struct HostState
{
    explicit HostState (juce::AudioPluginInstance& plugin)
    {
        juce::MemoryBlock saved;
        plugin.getStateInformation (saved);
        xml = juce::AudioProcessor::getXmlFromBinary (saved.getData(), (int) saved.getSize());
        if (xml != nullptr && xml->getChildByName ("IComponent") != nullptr)
            stream.fromBase64Encoding (xml->getChildByName ("IComponent")->getAllSubText());
    }

    juce::MemoryBlock with (const juce::MemoryBlock& component) const
    {
        juce::XmlElement copy (*xml);
        copy.getChildByName ("IComponent")->deleteAllTextElements();
        copy.getChildByName ("IComponent")->addTextElement (component.toBase64Encoding());
        juce::MemoryBlock result;
        juce::AudioProcessor::copyXmlToBinary (copy, result);
        return result;
    }

    std::unique_ptr<juce::XmlElement> xml;
    juce::MemoryBlock stream;
};

void restore (juce::AudioPluginInstance& plugin, const juce::MemoryBlock& state)
{
    plugin.setStateInformation (state.getData(), (int) state.getSize());
}

void setTrailerLength (juce::MemoryBlock& stream, juce::uint64 length)
{
    const auto le = juce::ByteOrder::swapIfBigEndian (length);
    stream.copyFrom (&le, (int) stream.getSize() - 23, 8);
}
} // namespace

// A trailer whose stated length does not fit inside the stream makes the whole state change
// nothing; before, the client read far outside the data and crashed the host.
TEST (HostState, TrailerLengthOutsideTheDataChangesNothing)
{
    const auto source = testutil::loadPluginModule(), target = testutil::loadPluginModule();
    ASSERT_TRUE (source != nullptr && target != nullptr);
    scramble (*source, 3);
    source->getBypassParameter()->setValueNotifyingHost (1.0f);
    const HostState state (*source);
    ASSERT_GT (state.stream.getSize(), 100u);
    const auto size = state.stream.getSize();

    // clang-format off
    const std::pair<const char*, std::function<void (juce::MemoryBlock&)>> cases[] {
        { "bit 7 of the byte 16 from the end flipped", [] (juce::MemoryBlock& s) { s[s.getSize() - 16] ^= (char) 0x80; } },
        { "one byte longer than the data allows", [&] (juce::MemoryBlock& s) { setTrailerLength (s, size - 15 - 8 - 8 + 1); } },
        { "all ones", [] (juce::MemoryBlock& s) { setTrailerLength (s, ~(juce::uint64) 0); } },
    };
    // clang-format on
    for (const auto& [what, damage] : cases)
    {
        SCOPED_TRACE (what);
        scramble (*target, 4);
        const auto before = values (*target);
        auto stream = state.stream;
        damage (stream);
        restore (*target, state.with (stream));
        EXPECT_EQ (values (*target), before);
    }

    restore (*target, state.with (state.stream));
    EXPECT_EQ (values (*target), values (*source));
}

// A bounded mutation loop over the host's whole state path, trailer included. Every
// outcome is allowed but a fault (the sanitizer build catches those) or an out-of-range
// value; and the instance still restores a good state afterwards.
TEST (HostState, MutatedStatesThroughTheClient)
{
    const auto source = testutil::loadPluginModule(), target = testutil::loadPluginModule();
    ASSERT_TRUE (source != nullptr && target != nullptr);
    scramble (*source, 5);
    const HostState state (*source);
    ASSERT_GT (state.stream.getSize(), 100u);

    juce::Random random (13);
    for (int run = 0; run < 2000; ++run)
    {
        auto stream = state.stream;
        for (int edits = 1 + random.nextInt (3); --edits >= 0 && stream.getSize() > 40;)
        {
            const auto size = (int) stream.getSize();
            // Half of the edits land in the trailer's last 40 bytes.
            const auto pos = random.nextBool() ? size - 1 - random.nextInt (40) : random.nextInt (size);
            switch (random.nextInt (4))
            {
                case 0:
                    stream[(size_t) pos] ^= (char) (1 << random.nextInt (8));
                    break;
                case 1:
                    stream[(size_t) pos] = (char) random.nextInt (256);
                    break;
                case 2:
                    stream.removeSection ((size_t) pos, (size_t) random.nextInt (24));
                    break;
                default:
                    stream.removeSection (0, (size_t) random.nextInt (24));
                    break;
            }
        }

        restore (*target, state.with (stream));
        for (auto* p : target->getParameters())
            ASSERT_TRUE (p->getValue() >= 0.0f && p->getValue() <= 1.0f) << "run " << run;
    }

    restore (*target, state.with (state.stream));
    EXPECT_EQ (values (*target), values (*source));
}
