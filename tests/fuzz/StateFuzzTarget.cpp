// Feeds arbitrary bytes to the three readers of outside data, the host's state
// blob, a preset file and the preferences file (the first byte picks one), on
// a thread with a small stack as a Windows host's main thread has. Any input
// may be refused, but a refused one must leave every parameter exactly as it
// was; preferences, read or not, must take a theme, save it and read it back.
// A libFuzzer target with clang; otherwise main() below runs a bounded,
// reproducible mutation loop.

#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "editor/EditorController.h"
#include "presets/StateTree.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/SmallStackThread.h"

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size);
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    // One object, so that it is destroyed before the statics that the framework creates on the way.
    static struct
    {
        juce::ScopedJuceInitialiser_GUI juce;
        TempHome home;
        AudioPluginAudioProcessor p;
    } harness;
    auto& p = harness.p;
    const auto file = harness.home.folder.getChildFile ("fuzz.cvp");
    if (size-- == 0)
        return 0;

    if (*data % 4 == 2)
    {
        const auto preferences = plb::EditorController::createPreferencesFile();
        if (preferences->getFile().getParentDirectory().createDirectory() && preferences->getFile().replaceWithData (data + 1, size))
        {
            bool kept = false;
            SmallStackThread::run ([&kept] {
                const auto read = plb::EditorController::createPreferencesFile();
                read->setValue ("theme", "fuzzed");
                kept = read->save() && plb::EditorController::createPreferencesFile()->getValue ("theme") == "fuzzed";
            });
            if (! kept)
                std::fprintf (stderr, "state fuzz: preferences lost the theme saved in them\n"), std::abort();
        }
        return 0;
    }

    for (auto* param : p.getParameters())
        param->setValueNotifyingHost ((float) (param->getParameterIndex() % 7 + 1) / 8.0f);
    const auto before = p.valueTreeState->copyState().toXmlString();

    std::unique_ptr<juce::XmlElement> xml;
    const bool asState = *data++ % 2 == 0;
    if (asState)
        SmallStackThread::run ([&] { p.setStateInformation (data, (int) size), xml = qnmr::parseStateBlob (data, (int) size); });
    else if (file.replaceWithData (data, size))
        SmallStackThread::run ([&] { p.presetManager->loadPresetFile (file), xml = qnmr::parseXmlFile (file); });

    const bool refused = xml == nullptr || (asState ? xml->getTagName() != "corvantide" : ! xml->getTagName().equalsIgnoreCase ("corvantide"));
    if (refused && p.valueTreeState->copyState().toXmlString() != before)
        std::fprintf (stderr, "state fuzz: a refused input changed parameters\n"), std::abort();
    return 0;
}

#ifndef CORVANTIDE_LIBFUZZER
// Usage: corvantide_state_fuzz [runs] [seed]. Mutates a few seeds (the blob's length field
// runs past its data, which is allowed) by bit flips, inserted tokens, cuts and truncation.
int main (int argc, char** argv)
{
    const std::string xml ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<corvantide><PARAM id=\"amp\" value=\"3\"/>"
                           "<PARAM id=\"pitchstage\" value=\"2.5\"/><PARAM id=\"drywet\"/><PARAM id=\"res\" value=\"nan\"/></corvantide>");
    // Preferences one step from the framework's single-line crash (one attribute more), with a text value that is
    // written as elements 17 levels deep, one more than the reader takes.
    std::string deep = "&lt;a/&gt;";
    for (int i = 1; i < 15; ++i)
        deep = "&lt;a&gt;" + deep + "&lt;/a&gt;";
    const std::string preferences = "\2<PROPERTIES><VALUE name=\"theme\" val=\"pink\"/><VALUE name=\"x\" val=\"" + deep + "\"/>"
                                    "<VALUE name=\"y\"><a>t<b c=\"0123456789\" d=\"0123456789\" e=\"0123456789\" f=\"0123456789\" g=\"0123456789\"/></a></VALUE></PROPERTIES>";
    const std::string seeds[] { std::string ("\0VC2!\0\0\1\0", 9) + xml + '\0', "\1" + xml, "\1<CORVANTIDE/>", "\1\xef\xbb\xbf", preferences };
    const std::string tokens[] { "<", "/>", "\"", "=", "PARAM", "corvantide", "-inf", "1e39", "&#0;", "&#x41;", "<?x?>", "<!--", "-->",
                                 "<![CDATA[", "]]>", "'", std::string (1, '\0'), "\xff\xfe", "\xef\xbb\xbf", "\xc3", "e11111111111", "<a><a><a>",
                                 "\xc0\xbc", "\xe0\x80\xbc", "\xed\xa0\x80", "&lt;a/&gt;", "<VALUE name=\"k\" val=\"v\"/>", " q=\"0123456789\"" };
    for (const auto& seed : seeds)
        LLVMFuzzerTestOneInput (reinterpret_cast<const std::uint8_t*> (seed.data()), seed.size());
    const int runs = argc > 1 ? std::atoi (argv[1]) : 3000;
    juce::Random random (argc > 2 ? std::atoll (argv[2]) : 1);
    for (int run = 0; run < runs; ++run)
    {
        auto input = seeds[random.nextInt ((int) std::size (seeds))];
        for (int edits = random.nextInt (5); --edits >= 0 && input.size() > 1;)
        {
            const auto pos = (size_t) (1 + random.nextInt ((int) input.size() - 1));
            const auto kind = random.nextInt (4);
            if (kind == 0)
                input[pos] = (char) (input[pos] ^ (1 << random.nextInt (8)));
            else if (kind == 1)
                input.insert (pos, tokens[random.nextInt ((int) std::size (tokens))]);
            else
                input.erase (pos, kind == 2 ? (size_t) random.nextInt (16) : std::string::npos); // a cut, or truncation
        }
        LLVMFuzzerTestOneInput (reinterpret_cast<const std::uint8_t*> (input.data()), input.size());
    }
    std::printf ("state fuzz: %d mutated inputs, no fault\n", runs);
}
#endif
