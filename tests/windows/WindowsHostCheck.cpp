// Loads the Windows build of Corvantide.vst3 the way a Windows VST3 host does
// (JUCE's VST3 hosting, run under Wine) and checks what a host relies on.
// Prints one line per check and a closing "N passed, N failed" line; the exit
// code is non-zero when any check failed.
//
// Usage: WindowsHostCheck.exe <path to Contents/x86_64-win/Corvantide.vst3>

#include <juce_audio_processors/juce_audio_processors.h>

// The VST3 SDK's interface headers do not build cleanly with our warnings.
JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wshadow")
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 480;
constexpr int renderSeconds = 2;

class CheckLog
{
public:
    void check (bool ok, const juce::String& what, const juce::String& detail = {})
    {
        ++(ok ? passed : failed);
        auto line = juce::String (ok ? "PASS  " : "FAIL  ") + what;
        if (! ok && detail.isNotEmpty())
            line << "  (" << detail << ")";
        std::printf ("%s\n", line.toRawUTF8());
        std::fflush (stdout);
    }

    int passed = 0;
    int failed = 0;
};

juce::StringArray expectedParameterNames()
{
    return { "Dry/Wet", "Output Amp", "Low Amp", "Low Mute", "Low Pan", "Pitch Shifter Stage",
             "Low Pitch", "Drift Amount", "Drift Rate", "Low Pitch Window", "Delay Type",
             "Low Feedback", "Diffusion", "Low Damp Frequency", "Cutoff", "Resonance",
             "Low Time Sync", "Low Time", "Low Synced Time", "High Amp", "High Mute", "High Pan",
             "High Pitch", "High Pitch Window", "High Feedback", "High Damp Frequency",
             "High Time Sync", "High Time", "High Synced Time", "Bypass" };
}

//==============================================================================
// The module's PE headers, read from the file: what it exports and which DLLs
// the Windows loader will have to find for it.
class PortableExecutable
{
public:
    explicit PortableExecutable (const juce::File& file)
    {
        if (! file.loadFileAsData (data) || data.getSize() < 0x40)
            return;

        const auto peOffset = read32 (0x3c);
        if (read32 (peOffset) != 0x00004550) // "PE\0\0"
            return;

        const auto coff = peOffset + 4;
        machine = read16 (coff);
        const auto numSections = read16 (coff + 2);
        const auto optionalSize = read16 (coff + 16);
        const auto optional = coff + 20;
        if (read16 (optional) != 0x20b) // PE32+ (64-bit image)
            return;

        for (size_t i = 0; i < numSections; ++i)
        {
            const auto s = optional + optionalSize + i * 40;
            sections.push_back ({ read32 (s + 12), std::max (read32 (s + 8), read32 (s + 16)), read32 (s + 20) });
        }

        // Data directories of a PE32+ optional header start at offset 112.
        const auto exportRva = read32 (optional + 112);
        const auto importRva = read32 (optional + 120);

        if (const auto exports = toOffset (exportRva))
        {
            const auto numNames = read32 (exports + 24);
            const auto names = toOffset (read32 (exports + 32));
            for (size_t i = 0; names != 0 && i < numNames; ++i)
                exportedNames.add (readString (toOffset (read32 (names + i * 4))));
        }

        if (auto desc = toOffset (importRva))
        {
            // Import descriptors are 20 bytes each; the list ends with one whose name is 0.
            for (; desc + 20 <= data.getSize() && read32 (desc + 12) != 0; desc += 20)
                importedDlls.add (readString (toOffset (read32 (desc + 12))));
        }

        valid = true;
    }

    bool valid = false;
    uint32_t machine = 0;
    juce::StringArray exportedNames, importedDlls;

private:
    struct Section
    {
        size_t virtualAddress, size, rawOffset;
    };

    size_t toOffset (size_t rva) const
    {
        for (const auto& s : sections)
            if (rva >= s.virtualAddress && rva < s.virtualAddress + s.size)
                return s.rawOffset + (rva - s.virtualAddress);
        return 0;
    }

    uint32_t read16 (size_t offset) const
    {
        if (offset + 2 > data.getSize())
            return 0;
        const auto* b = static_cast<const uint8_t*> (data.getData()) + offset;
        return (uint32_t) b[0] | ((uint32_t) b[1] << 8);
    }

    size_t read32 (size_t offset) const
    {
        if (offset + 4 > data.getSize())
            return 0;
        const auto* b = static_cast<const uint8_t*> (data.getData()) + offset;
        return (size_t) b[0] | ((size_t) b[1] << 8) | ((size_t) b[2] << 16) | ((size_t) b[3] << 24);
    }

    juce::String readString (size_t offset) const
    {
        if (offset == 0 || offset >= data.getSize())
            return {};
        const auto* start = static_cast<const char*> (data.getData()) + offset;
        size_t length = 0;
        while (offset + length < data.getSize() && start[length] != 0)
            ++length;
        return juce::String (start, length);
    }

    juce::MemoryBlock data;
    std::vector<Section> sections;
};

//==============================================================================
void pumpMessages (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

std::vector<juce::AudioProcessorParameter*> hostParameters (juce::AudioPluginInstance& instance)
{
    const auto& params = instance.getParameters();
    return { params.begin(), params.end() };
}

juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& instance, const juce::String& name)
{
    for (auto* p : hostParameters (instance))
        if (p->getName (128) == name)
            return p;
    return nullptr;
}

// A stereo test signal: two tones, one per channel, with short clicks so the
// delay lines have something distinct to repeat.
void fillTestSignal (juce::AudioBuffer<float>& block, int startSample)
{
    for (int i = 0; i < block.getNumSamples(); ++i)
    {
        const auto n = startSample + i;
        const auto t = (double) n / sampleRate;
        const auto click = (n % 12000) < 48 ? 0.4f : 0.0f;
        block.setSample (0, i, 0.3f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 220.0 * t) + click);
        block.setSample (1, i, 0.3f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 330.0 * t) - click);
    }
}

struct Render
{
    std::vector<float> left, right;
    bool finite = true;
    double rms = 0.0;
};

Render renderTestSignal (juce::AudioPluginInstance& instance)
{
    instance.releaseResources();
    instance.prepareToPlay (sampleRate, blockSize);

    Render result;
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    double sumSquares = 0.0;

    for (int start = 0; start < (int) sampleRate * renderSeconds; start += blockSize)
    {
        fillTestSignal (block, start);
        instance.processBlock (block, midi);

        for (int i = 0; i < blockSize; ++i)
        {
            const auto l = block.getSample (0, i);
            const auto r = block.getSample (1, i);
            result.finite = result.finite && std::isfinite (l) && std::isfinite (r);
            sumSquares += (double) l * l + (double) r * r;
            result.left.push_back (l);
            result.right.push_back (r);
        }
    }

    result.rms = std::sqrt (sumSquares / (2.0 * (double) result.left.size()));
    return result;
}

float maxDifference (const Render& a, const Render& b)
{
    float largest = 0.0f;
    for (size_t i = 0; i < a.left.size() && i < b.left.size(); ++i)
        largest = std::max ({ largest, std::abs (a.left[i] - b.left[i]), std::abs (a.right[i] - b.right[i]) });
    return largest;
}

// The processor's own blob inside the host-side state: JUCE's VST3 host keeps
// the component's stream base64-encoded under "IComponent".
juce::MemoryBlock componentState (const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock blob;
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
        if (auto* component = xml->getChildByName ("IComponent"))
            blob.fromBase64Encoding (component->getAllSubText());
    return blob;
}

//==============================================================================
class HostCheck
{
public:
    explicit HostCheck (const juce::File& moduleFile) : module (moduleFile)
    {
        formats.addFormat (new juce::VST3PluginFormat());
    }

    int run()
    {
        checkModuleFile();
        checkFactory();
        if (checkDescription())
        {
            checkInstance();
        }
        std::printf ("\n%d passed, %d failed\n", log.passed, log.failed);
        std::fflush (stdout);
        return log.failed == 0 ? 0 : 1;
    }

private:
    void checkModuleFile()
    {
        const PortableExecutable pe (module);
        log.check (pe.valid && pe.machine == 0x8664, "module is a 64-bit x86-64 Windows DLL");

        for (const auto* name : { "GetPluginFactory", "InitDll", "ExitDll" })
            log.check (pe.exportedNames.contains (name), juce::String ("module exports ") + name);

        // Every DLL the module needs must ship with Windows: the MinGW runtime
        // (libgcc, libstdc++, winpthread) and the image libraries are linked in.
        const auto systemDir = juce::File::getSpecialLocation (juce::File::windowsSystemDirectory);
        juce::StringArray foreign;
        for (const auto& dll : pe.importedDlls)
            if (dll.startsWithIgnoreCase ("lib") || ! systemDir.getChildFile (dll).existsAsFile())
                foreign.add (dll);
        log.check (pe.importedDlls.size() > 0 && foreign.isEmpty(),
                   "module needs no DLL beyond Windows' own (" + pe.importedDlls.joinIntoString (", ") + ")",
                   "not from Windows: " + foreign.joinIntoString (", "));
    }

    // The factory as a host's scanner reads it: the module is loaded, set up
    // with InitDll, asked for its classes, shut down with ExitDll and unloaded
    // (the checks after this load it again, as hosts do after a scan).
    void checkFactory()
    {
        using InitOrExit = bool (*)();
        using GetFactory = Steinberg::IPluginFactory* (*)();

        juce::DynamicLibrary library;
        if (! library.open (module.getFullPathName()))
        {
            log.check (false, "module loads");
            return;
        }

        auto* initDll = reinterpret_cast<InitOrExit> (library.getFunction ("InitDll"));
        auto* exitDll = reinterpret_cast<InitOrExit> (library.getFunction ("ExitDll"));
        auto* getFactory = reinterpret_cast<GetFactory> (library.getFunction ("GetPluginFactory"));
        log.check (initDll != nullptr && exitDll != nullptr && initDll(), "InitDll succeeds");

        auto* factory = getFactory != nullptr ? getFactory() : nullptr;
        log.check (factory != nullptr, "GetPluginFactory returns a factory");

        if (factory != nullptr)
        {
            Steinberg::PFactoryInfo info {};
            factory->getFactoryInfo (&info);
            log.check (juce::String (info.vendor) == "Quenmar_Works", "factory vendor is \"Quenmar_Works\"", info.vendor);

            Steinberg::IPluginFactory2* factory2 = nullptr;
            factory->queryInterface (Steinberg::IPluginFactory2_iid, reinterpret_cast<void**> (&factory2));

            juce::StringArray classes;
            for (Steinberg::int32 i = 0; factory2 != nullptr && i < factory->countClasses(); ++i)
            {
                Steinberg::PClassInfo2 c {};
                if (factory2->getClassInfo2 (i, &c) == Steinberg::kResultOk)
                    classes.add (juce::StringArray { c.name, c.category, c.subCategories, c.version, c.sdkVersion }
                                     .joinIntoString (" | "));
            }

            const juce::StringArray expected { "Corvantide | " kVstAudioEffectClass " | Fx | 1.0.0 | VST 3.7.2",
                                               "Corvantide | " kVstComponentControllerClass " | Fx | 1.0.0 | VST 3.7.2" };
            log.check (classes == expected, "two classes named \"Corvantide\", Fx, 1.0.0, VST 3.7.2",
                       classes.joinIntoString ("; "));

            if (factory2 != nullptr)
                factory2->release();
            factory->release();
        }

        log.check (exitDll != nullptr && exitDll(), "ExitDll succeeds");
        library.close();
    }

    bool checkDescription()
    {
        juce::OwnedArray<juce::PluginDescription> found;
        juce::VST3PluginFormat format;
        format.findAllTypesForFile (found, module.getFullPathName());

        log.check (found.size() == 1, "factory offers one audio effect", juce::String (found.size()) + " found");
        if (found.isEmpty())
            return false;

        description = *found.getFirst();
        log.check (description.name == "Corvantide", "name is \"Corvantide\"", description.name);
        log.check (description.manufacturerName == "Quenmar_Works", "vendor is \"Quenmar_Works\"", description.manufacturerName);
        log.check (description.version == "1.0.0", "version is \"1.0.0\"", description.version);
        log.check (! description.isInstrument && description.category.contains ("Fx"),
                   "an effect in category Fx", description.category);
        return true;
    }

    std::unique_ptr<juce::AudioPluginInstance> createInstance()
    {
        juce::String error;
        auto instance = formats.createPluginInstance (description, sampleRate, blockSize, error);
        if (instance == nullptr)
            log.check (false, "instance created", error);
        return instance;
    }

    void checkInstance()
    {
        auto instance = createInstance();
        if (instance == nullptr)
            return;
        log.check (true, "instance created");

        const auto presetFolder = juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
                                      .getChildFile ("Quenmar_Works/Presets/Corvantide");
        log.check (presetFolder.isDirectory(), "preset folder in the user's application data", presetFolder.getFullPathName());

        checkBuses (*instance);
        checkParameters (*instance);
        checkProcessing (*instance);
        checkState (*instance);
        checkEditor (*instance);

        instance.reset();
        pumpMessages (100);
    }

    void checkBuses (juce::AudioPluginInstance& instance)
    {
        log.check (instance.getTotalNumInputChannels() == 2 && instance.getTotalNumOutputChannels() == 2,
                   "2 inputs and 2 outputs",
                   juce::String (instance.getTotalNumInputChannels()) + " in, "
                       + juce::String (instance.getTotalNumOutputChannels()) + " out");

        auto mono = instance.getBusesLayout();
        mono.inputBuses.getReference (0) = juce::AudioChannelSet::mono();
        mono.outputBuses.getReference (0) = juce::AudioChannelSet::mono();
        const auto accepted = instance.setBusesLayout (mono);
        log.check (! accepted && instance.getTotalNumOutputChannels() == 2, "a mono layout is refused");
    }

    void checkParameters (juce::AudioPluginInstance& instance)
    {
        juce::StringArray names;
        for (auto* p : hostParameters (instance))
            names.add (p->getName (128));

        const auto expected = expectedParameterNames();
        log.check (names == expected, "29 parameters in host order, then \"Bypass\"",
                   juce::String (names.size()) + " parameters: " + names.joinIntoString (", "));
    }

    void checkProcessing (juce::AudioPluginInstance& instance)
    {
        const auto defaults = renderTestSignal (instance);
        log.check (defaults.finite, "stereo output is finite");
        log.check (defaults.rms > 1.0e-3, "stereo output is not silent", "RMS " + juce::String (defaults.rms));

        auto* drywet = findParameter (instance, "Dry/Wet");
        log.check (drywet != nullptr, "\"Dry/Wet\" parameter found");
        if (drywet == nullptr)
            return;

        drywet->setValueNotifyingHost (0.0f);
        const auto dry = renderTestSignal (instance);
        drywet->setValueNotifyingHost (1.0f);
        const auto wet = renderTestSignal (instance);
        drywet->setValueNotifyingHost (drywet->getDefaultValue());

        log.check (dry.finite && wet.finite, "output stays finite at drywet 0 and 100");
        log.check (maxDifference (defaults, dry) > 1.0e-3 && maxDifference (dry, wet) > 1.0e-3,
                   "drywet changes the output",
                   "differences " + juce::String (maxDifference (defaults, dry)) + ", "
                       + juce::String (maxDifference (dry, wet)));
        instance.releaseResources();
    }

    void checkState (juce::AudioPluginInstance& instance)
    {
        // Every parameter, "Bypass" included, moved to the end of its range
        // away from its default (the ends are legal values of every range, so
        // nothing is snapped), and pushed through one block so the processor
        // side holds them too.
        const auto params = hostParameters (instance);
        for (auto* p : params)
            p->setValueNotifyingHost (p->getDefaultValue() > 0.5f ? 0.0f : 1.0f);

        instance.prepareToPlay (sampleRate, blockSize);
        juce::AudioBuffer<float> block (2, blockSize);
        block.clear();
        juce::MidiBuffer midi;
        instance.processBlock (block, midi);
        instance.releaseResources();
        pumpMessages (50);

        juce::MemoryBlock hostState;
        instance.getStateInformation (hostState);
        const auto blob = componentState (hostState);
        log.check (blob.getSize() > 9 && std::memcmp (blob.getData(), "VC2!", 4) == 0, "state blob starts with \"VC2!\"",
                   juce::String (blob.getSize()) + " bytes: "
                       + juce::String::toHexString (blob.getData(), (int) std::min<size_t> (blob.getSize(), 8)));

        // Behind the magic: a little-endian length n, n bytes of XML whose root
        // is "corvantide", and a zero byte; the VST3 client's trailer follows.
        const auto n = blob.getSize() >= 8 ? (size_t) blob.getBitRange (32, 32) : 0;
        const auto xmlText = n > 0 && 8 + n < blob.getSize()
                                 ? juce::String::fromUTF8 (static_cast<const char*> (blob.getData()) + 8, (int) n)
                                 : juce::String();
        const auto xml = juce::parseXML (xmlText);
        log.check (xml != nullptr && xml->hasTagName ("corvantide") && blob[8 + n] == 0
                       && ! xmlText.containsAnyOf ("\r\n"),
                   "state blob holds the length, one line of \"corvantide\" XML and a zero byte",
                   "length " + juce::String ((int) n) + " of " + juce::String (blob.getSize()));

        auto second = createInstance();
        if (second == nullptr)
            return;
        second->setStateInformation (hostState.getData(), (int) hostState.getSize());
        pumpMessages (50);

        const auto restored = hostParameters (*second);
        juce::StringArray mismatches;
        for (size_t i = 0; i < params.size(); ++i)
            if (i >= restored.size() || std::abs (restored[i]->getValue() - params[i]->getValue()) > 1.0e-4f)
                mismatches.add (params[i]->getName (64));

        log.check (! params.empty() && restored.size() == params.size() && mismatches.isEmpty(),
                   "state restores every parameter into a second instance (" + juce::String ((int) params.size()) + ")",
                   "differ: " + mismatches.joinIntoString (", "));

        second.reset();
        pumpMessages (50);
    }

    void checkEditor (juce::AudioPluginInstance& instance)
    {
        log.check (instance.hasEditor(), "module reports an editor");

        std::unique_ptr<juce::AudioProcessorEditor> editor (instance.createEditorIfNeeded());
        log.check (editor != nullptr, "editor created");
        if (editor == nullptr)
            return;

        // Show it in a real (Wine) window: that is when the module's view is attached.
        editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
        editor->setVisible (true);
        pumpMessages (500);
        log.check (editor->isOnDesktop() && editor->getWidth() > 0 && editor->getHeight() > 0,
                   "editor shown with a size",
                   juce::String (editor->getWidth()) + " x " + juce::String (editor->getHeight()));

        instance.editorBeingDeleted (editor.get());
        editor.reset();
        pumpMessages (200);
        log.check (instance.getActiveEditor() == nullptr, "editor closed");
    }

    juce::File module;
    juce::AudioPluginFormatManager formats;
    juce::PluginDescription description;
    CheckLog log;
};
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: WindowsHostCheck <path to the module's .vst3 file>\n");
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    const juce::File module { juce::String (argv[1]) };
    if (! module.existsAsFile())
    {
        std::fprintf (stderr, "no module file at %s\n", argv[1]);
        return 2;
    }

    return HostCheck (module).run();
}
