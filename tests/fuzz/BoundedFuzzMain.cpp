// A bounded, reproducible mutation loop for the state fuzz target, for builds
// without libFuzzer (CI's GCC build).
// Usage: corvantide_state_fuzz [runs] [seed]   mutate the built-in seeds
//        corvantide_state_fuzz <file>...       run saved inputs once each
// With CORVANTIDE_FUZZ_INPUT=<file> every mutated input is written there
// before it runs, so the one that fails can be replayed.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <juce_core/juce_core.h>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size);

namespace
{
    using Bytes = std::vector<std::uint8_t>;

    Bytes blob (const std::string& xml, std::int64_t lengthField = -1)
    {
        const auto n = (std::uint32_t) (lengthField >= 0 ? lengthField : (std::int64_t) xml.size());
        Bytes b { 0, 'V', 'C', '2', '!' };
        for (int i = 0; i < 4; ++i)
            b.push_back ((std::uint8_t) (n >> (8 * i)));
        b.insert (b.end(), xml.begin(), xml.end());
        b.push_back (0);
        return b;
    }

    Bytes preset (const std::string& text)
    {
        Bytes b { 1 };
        b.insert (b.end(), text.begin(), text.end());
        return b;
    }

    std::vector<Bytes> seeds()
    {
        std::string params;
        for (auto id : { "amp", "cutoff", "delaymode", "drywet", "lowsyncedtime", "lowtimesync", "pitchstage", "res" })
            params += std::string ("<PARAM id=\"") + id + "\" value=\"3\"/>";

        const auto header = std::string ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        const auto state = header + " <corvantide>" + params + "</corvantide>";
        const auto file = header + "\r\n\r\n<corvantide>\r\n  " + params + "\r\n</corvantide>\r\n";

        return {
            blob (state),
            blob (state, 1000000),
            blob ("<corvantide><PARAM id=\"amp\" value=\"nan\"/><PARAM id=\"res\" value=\"-inf\"/>"
                  "<PARAM id=\"cutoff\" value=\"1e39\"/><PARAM id=\"lowsyncedtime\" value=\"-7\"/></corvantide>"),
            blob ("<corvantide><PARAM id=\"amp\"/><PARAM id=\"zzz\" value=\"1\"/><PARAM value=\"2\"/></corvantide>"),
            blob ("<Corvantide/>"),
            preset (file),
            preset ("<CORVANTIDE><PARAM id=\"drywet\" value=\"1e-45\"/><PARAM id=\"pitchstage\" value=\"2.5\"/></CORVANTIDE>"),
            preset ("<corvantide><PARAM id=\"drywet\" value=\"&#x41;\"/><!-- x --><![CDATA[<]]></corvantide>"),
            preset (""),
        };
    }

    const std::vector<std::string> tokens {
        "<", ">", "/>", "</", "\"", "=", "PARAM", "id", "value", "corvantide", "CORVANTIDE",
        "nan", "inf", "-", "1e39", "0x10", "&amp;", "&#0;", "<!--", "-->", "<![CDATA[", "]]>",
        "<?xml version=\"1.0\"?>", " ", "\r\n", std::string (1, '\0'), "\xff\xfe", "\xc3\xa9"
    };

    void mutate (Bytes& b, juce::Random& random)
    {
        const int edits = 1 + random.nextInt (4);
        for (int e = 0; e < edits; ++e)
        {
            // Keep the reader selector; mutate what follows it.
            const auto size = (int) b.size();
            const auto pos = 1 + (size > 1 ? random.nextInt (size - 1) : 0);

            switch (random.nextInt (7))
            {
                case 0: // flip a bit
                    if (pos < size)
                        b[(size_t) pos] ^= (std::uint8_t) (1u << random.nextInt (8));
                    break;
                case 1: // random byte
                    if (pos < size)
                        b[(size_t) pos] = (std::uint8_t) random.nextInt (256);
                    break;
                case 2: // insert a token
                {
                    const auto& t = tokens[(size_t) random.nextInt ((int) tokens.size())];
                    b.insert (b.begin() + std::min (pos, size), t.begin(), t.end());
                    break;
                }
                case 3: // delete a range
                    if (pos < size)
                        b.erase (b.begin() + pos, b.begin() + std::min (size, pos + 1 + random.nextInt (16)));
                    break;
                case 4: // duplicate a range
                    if (pos < size)
                    {
                        const Bytes range (b.begin() + pos, b.begin() + std::min (size, pos + 1 + random.nextInt (64)));
                        b.insert (b.begin() + 1 + random.nextInt (size), range.begin(), range.end());
                    }
                    break;
                case 5: // truncate
                    b.resize ((size_t) std::max (1, random.nextInt (size + 1)));
                    break;
                default: // a new length field for a state blob
                    if (b[0] % 2 == 0 && size >= 9)
                    {
                        const auto n = (std::uint32_t) random.nextInt();
                        for (int i = 0; i < 4; ++i)
                            b[(size_t) (5 + i)] = (std::uint8_t) (n >> (8 * i));
                    }
                    break;
            }
        }
    }
} // namespace

int main (int argc, char** argv)
{
    if (argc > 1 && juce::File::isAbsolutePath (argv[1]))
    {
        for (int i = 1; i < argc; ++i)
        {
            juce::MemoryBlock data;
            if (! juce::File (argv[i]).loadFileAsData (data))
                return 2;
            LLVMFuzzerTestOneInput (static_cast<const std::uint8_t*> (data.getData()), data.getSize());
        }
        return 0;
    }

    const int runs = argc > 1 ? std::atoi (argv[1]) : 3000;
    const auto seed = argc > 2 ? std::atoll (argv[2]) : 1;

    const auto corpus = seeds();
    for (const auto& s : corpus)
        LLVMFuzzerTestOneInput (s.data(), s.size());

    const char* keep = std::getenv ("CORVANTIDE_FUZZ_INPUT");
    juce::Random random (seed);
    for (int run = 0; run < runs; ++run)
    {
        auto input = corpus[(size_t) random.nextInt ((int) corpus.size())];
        mutate (input, random);
        if (keep != nullptr)
            juce::File (keep).replaceWithData (input.data(), input.size());
        LLVMFuzzerTestOneInput (input.data(), input.size());
    }

    std::printf ("state fuzz: %d mutated inputs, seed %lld, no fault\n", runs, (long long) seed);
    return 0;
}
