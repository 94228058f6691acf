// Loads the Windows build of Corvantide.vst3 the way a Windows VST3 host does
// (JUCE's VST3 hosting, run under Wine) and checks what a host relies on.
// Prints one line per check and a closing "N passed, N failed" line; the exit
// code is non-zero when any check failed.
//
// Usage: WindowsHostCheck.exe <path to Contents/x86_64-win/Corvantide.vst3>

#include <juce_audio_processors/juce_audio_processors.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 480;

int passed = 0, failed = 0;

void check (bool ok, const juce::String& what, const juce::String& detail = {})
{
    ++(ok ? passed : failed);
    const auto why = ok || detail.isEmpty() ? juce::String() : "  (" + detail + ")";
    std::printf ("%s  %s%s\n", ok ? "PASS" : "FAIL", what.toRawUTF8(), why.toRawUTF8());
    std::fflush (stdout);
}

void pumpMessages (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

// The DLL names in the import table of a loaded module: once mapped, every
// RVA is simply an offset from the module's base address.
juce::StringArray importedDlls (void* module)
{
    const auto* base = static_cast<const char*> (module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*> (base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*> (base + dos->e_lfanew);
    const auto rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;

    juce::StringArray dlls;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*> (base + rva); rva != 0 && d->Name != 0; ++d)
        dlls.add (base + d->Name);
    return dlls;
}

void checkModuleFile (const juce::File& module)
{
    juce::DynamicLibrary library;
    check (library.open (module.getFullPathName()), "module loads");
    for (const auto* name : { "GetPluginFactory", "InitDll", "ExitDll" })
        check (library.getFunction (name) != nullptr, juce::String ("module exports ") + name);

    // The MinGW runtime (libgcc, libstdc++, winpthread) and the image
    // libraries are linked in, so every DLL it imports must ship with Windows.
    const auto systemDir = juce::File::getSpecialLocation (juce::File::windowsSystemDirectory);
    const auto dlls = library.getNativeHandle() != nullptr ? importedDlls (library.getNativeHandle()) : juce::StringArray();
    juce::StringArray foreign;
    for (const auto& dll : dlls)
        if (dll.startsWithIgnoreCase ("lib") || ! systemDir.getChildFile (dll).existsAsFile())
            foreign.add (dll);
    check (! dlls.isEmpty() && foreign.isEmpty(),
           "module needs no DLL beyond Windows' own (" + dlls.joinIntoString (", ") + ")",
           "not from Windows: " + foreign.joinIntoString (", "));
}

// Two seconds of a stereo test signal (a tone per channel, with clicks for the
// delay lines to repeat) through the instance; the output interleaved L, R.
std::vector<float> render (juce::AudioPluginInstance& instance)
{
    instance.prepareToPlay (sampleRate, blockSize);
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    std::vector<float> output;

    for (int start = 0; start < 2 * (int) sampleRate; start += blockSize)
    {
        for (int i = 0; i < blockSize; ++i)
        {
            const auto n = start + i;
            const auto click = n % 12000 < 48 ? 0.4f : 0.0f;
            const auto phase = juce::MathConstants<double>::twoPi * n / sampleRate;
            block.setSample (0, i, 0.3f * (float) std::sin (220.0 * phase) + click);
            block.setSample (1, i, 0.3f * (float) std::sin (330.0 * phase) - click);
        }
        instance.processBlock (block, midi);
        for (int i = 0; i < blockSize; ++i)
            output.insert (output.end(), { block.getSample (0, i), block.getSample (1, i) });
    }

    instance.releaseResources();
    return output;
}

bool allFinite (const std::vector<float>& x)
{
    return std::all_of (x.begin(), x.end(), [] (float s) { return std::isfinite (s); });
}

float maxDifference (const std::vector<float>& a, const std::vector<float>& b)
{
    float largest = 0.0f;
    for (size_t i = 0; i < std::min (a.size(), b.size()); ++i)
        largest = std::max (largest, std::abs (a[i] - b[i]));
    return largest;
}

void checkProcessing (juce::AudioPluginInstance& instance)
{
    const auto defaults = render (instance);
    double sumSquares = 0.0;
    for (auto s : defaults)
        sumSquares += (double) s * s;
    const auto rms = std::sqrt (sumSquares / (double) defaults.size());
    check (allFinite (defaults) && rms > 1.0e-3, "stereo output is finite and not silent", "RMS " + juce::String (rms));

    const auto& params = instance.getParameters();
    const auto found = std::find_if (params.begin(), params.end(), [] (auto* p) { return p->getName (128) == "Dry/Wet"; });
    if (found == params.end())
        return check (false, "drywet changes the output", "no \"Dry/Wet\" parameter");

    (*found)->setValueNotifyingHost (0.0f);
    const auto dry = render (instance);
    (*found)->setValueNotifyingHost (1.0f);
    const auto wet = render (instance);
    check (allFinite (dry) && allFinite (wet) && maxDifference (defaults, dry) > 1.0e-3 && maxDifference (dry, wet) > 1.0e-3,
           "drywet changes the output, which stays finite at 0 and 100",
           "differences " + juce::String (maxDifference (defaults, dry)) + ", " + juce::String (maxDifference (dry, wet)));
}

void checkState (juce::AudioPluginInstance& instance, juce::AudioPluginInstance& second)
{
    // Every parameter, "Bypass" included, to the end of its range away from
    // its default; rendering hands the new values to the processor side,
    // which is what writes the state.
    const auto& params = instance.getParameters();
    for (auto* p : params)
        p->setValueNotifyingHost (p->getDefaultValue() > 0.5f ? 0.0f : 1.0f);
    render (instance);
    pumpMessages (50);

    // JUCE's VST3 host keeps the component's stream base64-encoded under "IComponent".
    juce::MemoryBlock hostState, blob;
    instance.getStateInformation (hostState);
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
        if (auto* component = xml->getChildByName ("IComponent"))
            blob.fromBase64Encoding (component->getAllSubText());
    check (blob.getSize() > 4 && std::memcmp (blob.getData(), "VC2!", 4) == 0, "state blob starts with \"VC2!\"",
           juce::String::toHexString (blob.getData(), (int) std::min<size_t> (blob.getSize(), 8)));

    second.setStateInformation (hostState.getData(), (int) hostState.getSize());
    pumpMessages (50);
    const auto& restored = second.getParameters();
    juce::StringArray mismatches;
    for (int i = 0; i < params.size(); ++i)
        if (i >= restored.size() || std::abs (restored[i]->getValue() - params[i]->getValue()) > 1.0e-4f)
            mismatches.add (params[i]->getName (64));
    check (! params.isEmpty() && restored.size() == params.size() && mismatches.isEmpty(),
           "state restores every parameter into a second instance", "differ: " + mismatches.joinIntoString (", "));
}

// The editor keeps its width in %APPDATA%\Quenmar_Works\Corvantide.prefs.
juce::File preferencesFile()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getChildFile ("Quenmar_Works").getChildFile ("Corvantide.prefs");
}

void checkEditor (juce::AudioPluginInstance& instance)
{
    // The Wine prefix belongs to this check: start as a first-time user.
    preferencesFile().deleteFile();

    std::unique_ptr<juce::AudioProcessorEditor> editor (instance.createEditorIfNeeded());
    if (editor == nullptr)
        return check (false, "editor created and shown");

    // A real (Wine) window: that is when the module attaches its view.
    editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    editor->setVisible (true);
    pumpMessages (500);
    const auto size = juce::String (editor->getWidth()) + " x " + juce::String (editor->getHeight());
    check (editor->isOnDesktop() && size == "800 x 520", "editor shown at 800 x 520 with no preferences file", size);

    instance.editorBeingDeleted (editor.get());
    editor.reset();
    pumpMessages (200);

    juce::PropertiesFile::Options options;
    options.applicationName = "Corvantide";
    options.filenameSuffix = ".prefs";
    options.folderName = "Quenmar_Works";
    const auto stored = juce::PropertiesFile (preferencesFile(), options).getValue ("editor_width", "none");
    check (stored == "800", "closing the editor stores its width in " + preferencesFile().getFullPathName(), "editor_width: " + stored);
}

void checkHost (const juce::File& module)
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, module.getFullPathName());
    if (found.size() != 1)
        return check (false, "factory offers one audio effect", juce::String (found.size()) + " found");

    const auto& d = *found.getFirst();
    const auto description = d.name + "|" + d.manufacturerName + "|" + d.version;
    check (description == "Corvantide|Quenmar_Works|1.0.0", "name, vendor and version", description);

    juce::String error;
    auto instance = format.createInstanceFromDescription (d, sampleRate, blockSize, error);
    auto second = format.createInstanceFromDescription (d, sampleRate, blockSize, error);
    if (instance == nullptr || second == nullptr)
        return check (false, "two instances created", error);

    const juce::StringArray expected { "Dry/Wet", "Output Amp", "Low Amp", "Low Mute", "Low Pan", "Pitch Shifter Stage",
                                       "Low Pitch", "Drift Amount", "Drift Rate", "Low Pitch Window", "Delay Type",
                                       "Low Feedback", "Diffusion", "Low Damp Frequency", "Cutoff", "Resonance",
                                       "Low Time Sync", "Low Time", "Low Synced Time", "High Amp", "High Mute", "High Pan",
                                       "High Pitch", "High Pitch Window", "High Feedback", "High Damp Frequency",
                                       "High Time Sync", "High Time", "High Synced Time", "Bypass" };
    juce::StringArray names;
    for (auto* p : instance->getParameters())
        names.add (p->getName (128));
    check (names == expected, "29 parameters in host order, then \"Bypass\"", names.joinIntoString (", "));

    checkProcessing (*instance);
    checkState (*instance, *second);
    checkEditor (*instance);

    instance.reset();
    second.reset();
    pumpMessages (100);
}
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
    checkModuleFile (module);
    checkHost (module);

    std::printf ("\n%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
