#include <optional>

#include <gtest/gtest.h>

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

namespace
{
    using Values = std::map<juce::String, float>;

    Values valuesOf (AudioPluginAudioProcessor& p)
    {
        Values values;
        for (const auto& entry : p.bridge->entries)
            values[entry.id] = entry.rawValue->load();
        return values;
    }

    // Moves every parameter to a legal value away from its default.
    void scramble (AudioPluginAudioProcessor& p, int seed)
    {
        juce::Random random (seed);
        for (auto* param : p.getParameters())
            if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (param))
                ranged->setValueNotifyingHost (0.05f + 0.9f * random.nextFloat());
    }

    juce::MemoryBlock blobOf (AudioPluginAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block;
    }

    juce::MemoryBlock blobWith (const juce::String& xml, std::optional<int> lengthField = {})
    {
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        out.writeInt (0x21324356);
        out.writeInt (lengthField.value_or ((int) xml.getNumBytesAsUTF8()));
        out << xml;
        out.writeByte (0);
        out.flush();
        return block;
    }

    juce::String textOf (const juce::MemoryBlock& blob)
    {
        return juce::String::fromUTF8 (static_cast<const char*> (blob.getData()) + 8, (int) blob.getSize() - 9);
    }

    juce::StringArray childIds (const juce::ValueTree& tree)
    {
        juce::StringArray ids;
        for (const auto& child : tree)
            ids.add (child["id"].toString());
        return ids;
    }

    class PluginStateTest : public ::testing::Test
    {
    protected:
        void restore (const juce::MemoryBlock& blob) { processor.setStateInformation (blob.getData(), (int) blob.getSize()); }

        TempHome home;
        AudioPluginAudioProcessor processor;
    };
} // namespace

TEST_F (PluginStateTest, BlobLayout)
{
    scramble (processor, 1);
    const auto blob = blobOf (processor);
    const auto* bytes = static_cast<const unsigned char*> (blob.getData());
    ASSERT_GT (blob.getSize(), 9u);

    EXPECT_EQ (juce::String::fromUTF8 (static_cast<const char*> (blob.getData()), 4), "VC2!");
    EXPECT_EQ ((size_t) juce::ByteOrder::littleEndianInt (bytes + 4), blob.getSize() - 9);
    EXPECT_EQ (bytes[blob.getSize() - 1], 0);

    const auto text = textOf (blob);
    EXPECT_EQ (text.indexOfAnyOf ("\r\n"), -1);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <corvantide>")) << text;
    EXPECT_TRUE (text.endsWith ("</corvantide>"));
    EXPECT_TRUE (text.contains ("<PARAM id=\"amp\" value=\""));

    // Never restored: the children stand in ascending id order.
    auto ids = childIds (juce::ValueTree::fromXml (text));
    ASSERT_EQ (ids.size(), 29);
    EXPECT_EQ (ids[0], "amp");
    EXPECT_EQ (ids[28], "res");
    auto sorted = ids;
    sorted.sort (false);
    EXPECT_EQ (ids, sorted);

    // Getting the state overwrites the block rather than appending to it.
    juce::MemoryBlock reused (5000, true);
    processor.getStateInformation (reused);
    EXPECT_EQ (reused, blob);
}

TEST_F (PluginStateTest, RoundTripRestoresEveryParameter)
{
    scramble (processor, 2);
    const auto saved = valuesOf (processor);
    const auto blob = blobOf (processor);

    TempHome otherHome;
    AudioPluginAudioProcessor other;
    ASSERT_NE (valuesOf (other), saved);
    other.setStateInformation (blob.getData(), (int) blob.getSize());
    EXPECT_EQ (valuesOf (other), saved);

    // The audio path picks the restored values up on the next block.
    other.prepareToPlay (48000.0, 64);
    juce::AudioBuffer<float> buffer (2, 16);
    buffer.clear();
    juce::MidiBuffer midi;
    other.processBlock (buffer, midi);
    for (const auto& entry : other.bridge->entries)
    {
        if (entry.info->kind == ParamInfo::floatKind)
        {
            EXPECT_EQ (*entry.info->zone, saved.at (entry.id)) << entry.id;
        }
    }
}

TEST_F (PluginStateTest, RefusedBlobsChangeNothing)
{
    scramble (processor, 3);
    const auto before = valuesOf (processor);
    const auto good = blobOf (processor);
    const auto text = textOf (good);

    std::vector<std::pair<const char*, juce::MemoryBlock>> refused;
    refused.push_back ({ "8 bytes", juce::MemoryBlock (good.getData(), 8) });
    auto wrongMagic = good;
    static_cast<char*> (wrongMagic.getData())[3] = '?';
    refused.push_back ({ "wrong magic", wrongMagic });
    refused.push_back ({ "length 0", blobWith (text, 0) });
    refused.push_back ({ "negative length", blobWith (text, (int) 0x80000010u) });
    refused.push_back ({ "broken XML", blobWith ("<corvantide><PARAM id=\"amp\" value=\"1\"></corvantide>") });
    refused.push_back ({ "root case", blobWith (text.replace ("corvantide", "Corvantide")) });
    refused.push_back ({ "other root", blobWith ("<settings><PARAM id=\"amp\" value=\"1\"/></settings>") });
    refused.push_back ({ "text only", blobWith ("hello") });

    for (const auto& [what, blob] : refused)
    {
        scramble (processor, 4);
        const auto scrambled = valuesOf (processor);
        restore (blob);
        EXPECT_EQ (valuesOf (processor), scrambled) << what;
    }

    processor.setStateInformation (nullptr, 0);
    processor.setStateInformation (good.getData(), -5);

    // An empty root is accepted but names no parameter, so nothing moves.
    const auto current = valuesOf (processor);
    restore (blobWith ("<corvantide/>"));
    EXPECT_EQ (valuesOf (processor), current);
    ASSERT_NE (current, before);
}

TEST_F (PluginStateTest, LengthFieldBeyondTheDataStillRestores)
{
    scramble (processor, 5);
    const auto saved = valuesOf (processor);
    auto blob = blobOf (processor);
    static_cast<juce::uint32*> (blob.getData())[1] = juce::ByteOrder::swapIfBigEndian ((juce::uint32) 1000000);

    scramble (processor, 6);
    restore (blob);
    EXPECT_EQ (valuesOf (processor), saved);
}

TEST_F (PluginStateTest, ChildrenDecideParameterByParameter)
{
    scramble (processor, 7);
    const auto before = valuesOf (processor);

    // "res" first, "amp" without a value, an unknown id, and everything else missing.
    restore (blobWith ("<corvantide><PARAM id=\"res\" value=\"12\"/><PARAM id=\"amp\"/>"
                       "<PARAM id=\"nothing\" value=\"3\"/></corvantide>"));

    auto after = valuesOf (processor);
    EXPECT_EQ (after["res"], 12.0f);
    EXPECT_EQ (after["amp"], 0.0f) << "no value resets to the default";
    for (const auto& [id, value] : before)
    {
        if (id != "res" && id != "amp")
        {
            EXPECT_EQ (after[id], value) << id;
        }
    }

    // The restored order leads; parameters that were missing follow it.
    const auto ids = childIds (juce::ValueTree::fromXml (textOf (blobOf (processor))));
    EXPECT_EQ (ids[0], "res");
    EXPECT_EQ (ids[1], "amp");
    EXPECT_EQ (ids[2], "nothing");
    EXPECT_EQ (ids.size(), 30);
}

TEST_F (PluginStateTest, TextsThatTheXmlReaderMishandlesAreRefused)
{
    // Each of these once hung the reader, read or wrote past a buffer, or let
    // malformed text into the state.
    const char* texts[] {
        "<corvantide><?x?>b<PARAM id=\"amp\" value=\"1\"/></corvantide>",
        "<corvantide><PARAM id=\"amp\" value=\"&#x",
        "<corvantide><PARAM id=\"amp\" value=\"&#x110000;\"/></corvantide>",
        "<corvantide><PARAM id=\"amp\" value=\"&#0;\"/></corvantide>",
        "<!DOCTYPE corvantide [<!ENTITY a \"1\">]><corvantide><PARAM id=\"amp\" value=\"&a;\"/></corvantide>",
    };

    scramble (processor, 10);
    const auto before = valuesOf (processor);
    for (auto* text : texts)
    {
        restore (blobWith (text));
        EXPECT_EQ (valuesOf (processor), before) << text;
    }

    // Malformed UTF-8: a cut-off sequence and a stray continuation byte.
    for (auto bad : { "\xc3", "\x80", "\xf4\x90\x80\x80" })
    {
        restore (blobWith (juce::String ("<corvantide><PARAM id=\"amp\" value=\"1\"/></corvantide>")));
        scramble (processor, 11);
        const auto scrambled = valuesOf (processor);

        juce::MemoryBlock blob;
        juce::MemoryOutputStream out (blob, false);
        const std::string xml = std::string ("<corvantide><PARAM id=\"amp\" value=\"1") + bad + "\"/></corvantide>";
        out.writeInt (0x21324356);
        out.writeInt ((int) xml.size());
        out.write (xml.data(), xml.size());
        out.writeByte (0);
        out.flush();
        restore (blob);
        EXPECT_EQ (valuesOf (processor), scrambled);
    }

    // Well-formed references still read as before.
    restore (blobWith ("<corvantide><PARAM id=\"drywet\" value=\"&#x32;&#53;\"/></corvantide>"));
    EXPECT_EQ (valuesOf (processor)["drywet"], 25.0f);
}

TEST_F (PluginStateTest, ValuesThatAreNoNumbersGiveTheDefault)
{
    scramble (processor, 12);
    restore (blobWith ("<corvantide><PARAM id=\"amp\" value=\"nan\"/><PARAM id=\"res\" value=\"-inf\"/>"
                       "<PARAM id=\"cutoff\" value=\"1e39\"/><PARAM id=\"lowpan\" value=\"nan\" value=\"0.5\"/></corvantide>"));
    auto values = valuesOf (processor);
    EXPECT_EQ (values["amp"], 0.0f) << "NaN never reaches the engine";
    EXPECT_EQ (values["lowpan"], 0.0f);
    EXPECT_EQ (values["res"], 0.0f) << "clamped to the range";
    EXPECT_EQ (values["cutoff"], 11000.0f);
}

TEST_F (PluginStateTest, RepeatedAttributesSaveWhatWasRestored)
{
    restore (blobWith ("<corvantide><PARAM id=\"drywet\" value=\"10\" value=\"90\"/></corvantide>"));
    EXPECT_EQ (valuesOf (processor)["drywet"], 10.0f);

    const auto blob = blobOf (processor);
    scramble (processor, 13);
    restore (blob);
    EXPECT_EQ (valuesOf (processor)["drywet"], 10.0f);
}
