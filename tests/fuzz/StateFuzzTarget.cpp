// Feeds arbitrary bytes to the two readers of untrusted data: the host's state
// blob (setStateInformation) and a preset file (loadPresetFile). The first
// byte picks the reader. Any input may be refused, but a refused input must
// leave every parameter exactly as it was, and an accepted one must leave every
// parameter finite and inside its range. Built as a libFuzzer target with clang
// and driven by a bounded mutation loop otherwise.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "presets/StateTree.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

namespace
{
    struct Harness
    {
        juce::ScopedJuceInitialiser_GUI juce;
        TempHome home;
        AudioPluginAudioProcessor processor;
        juce::File presetFile { home.folder.getChildFile ("fuzz.cvp") };
    };

    Harness& harness()
    {
        static Harness instance;
        return instance;
    }

    [[noreturn]] void fail (const char* what, const juce::String& detail = {})
    {
        std::fprintf (stderr, "state fuzz: %s %s\n", what, detail.toRawUTF8());
        std::abort();
    }

    std::vector<std::uint32_t> snapshot (AudioPluginAudioProcessor& p)
    {
        std::vector<std::uint32_t> bits;
        for (const auto& entry : p.bridge->entries)
        {
            const float value = entry.rawValue->load();
            std::uint32_t b;
            std::memcpy (&b, &value, sizeof b);
            bits.push_back (b);
        }
        return bits;
    }

    juce::String differences (AudioPluginAudioProcessor& p, const std::vector<std::uint32_t>& expected)
    {
        juce::String text;
        const auto now = snapshot (p);
        for (size_t i = 0; i < now.size(); ++i)
        {
            if (now[i] == expected[i])
                continue;
            float was, is;
            std::memcpy (&was, &expected[i], sizeof was);
            std::memcpy (&is, &now[i], sizeof is);
            text << p.bridge->entries[i].id << " " << was << " -> " << is << "; ";
        }
        return text;
    }

    void moveAwayFromDefaults (AudioPluginAudioProcessor& p)
    {
        int i = 0;
        for (auto* param : p.getParameters())
            param->setValueNotifyingHost (0.1f + 0.8f * (float) ((i++ * 7) % 11) / 10.0f);
    }

    void checkSane (AudioPluginAudioProcessor& p, const char* reader)
    {
        for (const auto& entry : p.bridge->entries)
        {
            const auto value = entry.rawValue->load();
            const auto& range = entry.info->range;
            const auto end = entry.info->kind == ParamInfo::choiceKind ? (float) (entry.info->choices.size() - 1) : range.end;
            const auto start = entry.info->kind == ParamInfo::choiceKind ? 0.0f : range.start;

            if (! std::isfinite (value) || value < start || value > end)
                fail (reader, "accepted input left " + entry.id + " at " + juce::String (value));
        }

        if (p.valueTreeState->state.getType().toString() != "corvantide")
            fail (reader, "state type changed to " + p.valueTreeState->state.getType().toString());
    }

    // The state blob's acceptance rules, written out from the format rather
    // than taken from the framework's reader.
    bool blobIsAcceptable (const std::uint8_t* data, size_t size)
    {
        if (size <= 8 || size > 0x7fffffff || std::memcmp (data, "VC2!", 4) != 0)
            return false;

        const auto n = (std::int32_t) ((std::uint32_t) data[4] | ((std::uint32_t) data[5] << 8)
                                       | ((std::uint32_t) data[6] << 16) | ((std::uint32_t) data[7] << 24));
        if (n <= 0)
            return false;

        auto length = std::min ((size_t) n, size - 8);
        if (const void* zero = std::memchr (data + 8, 0, length))
            length = (size_t) (static_cast<const std::uint8_t*> (zero) - (data + 8));

        const auto* text = reinterpret_cast<const char*> (data + 8);
        if (! juce::CharPointer_UTF8::isValidString (text, (int) length))
            return false;

        const auto xml = qnmr::parseParameterXml (juce::String::fromUTF8 (text, (int) length));
        return xml != nullptr && xml->getTagName() == "corvantide";
    }

    void fuzzState (const std::uint8_t* data, size_t size)
    {
        auto& p = harness().processor;
        moveAwayFromDefaults (p);
        const auto before = snapshot (p);

        p.setStateInformation (data, (int) std::min (size, (size_t) 0x7fffffff));

        if (! blobIsAcceptable (data, size))
        {
            if (snapshot (p) != before)
                fail ("state", "a refused blob changed parameters: " + differences (p, before));
            return;
        }

        checkSane (p, "state");

        // Whatever was accepted must survive a save and restore unchanged.
        const auto accepted = snapshot (p);
        juce::MemoryBlock blob;
        p.getStateInformation (blob);
        p.setStateInformation (blob.getData(), (int) blob.getSize());
        if (snapshot (p) != accepted)
            fail ("state", "save and restore changed parameters: " + differences (p, accepted) + "\nsaved as: "
                               + juce::String::fromUTF8 (static_cast<const char*> (blob.getData()) + 8, (int) blob.getSize() - 9));
    }

    void fuzzPreset (const std::uint8_t* data, size_t size)
    {
        auto& h = harness();
        auto& manager = *h.processor.presetManager;

        if (! h.presetFile.replaceWithData (data, size))
            fail ("preset", "cannot write the input file");

        moveAwayFromDefaults (h.processor);
        manager.currentPresetName = "kept";
        const auto before = snapshot (h.processor);

        manager.loadPresetFile (h.presetFile);

        if (h.processor.isSuspended())
            fail ("preset", "processing left suspended");

        const auto root = qnmr::parsePresetFile (h.presetFile);
        if (root == nullptr || ! root->getTagName().equalsIgnoreCase ("corvantide"))
        {
            if (snapshot (h.processor) != before || manager.currentPresetName != "kept")
                fail ("preset", "a refused file changed the state or the name: " + differences (h.processor, before));
            return;
        }

        if (manager.currentPresetName != "fuzz")
            fail ("preset", "an accepted file did not set the name");
        checkSane (h.processor, "preset");
    }
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;

    if ((data[0] & 1) == 0)
        fuzzState (data + 1, size - 1);
    else
        fuzzPreset (data + 1, size - 1);

    return 0;
}
