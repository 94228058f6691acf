#pragma once

#include <cstdlib>

#include <juce_core/juce_core.h>

// Points $HOME (from which JUCE derives the user application-data folder on
// Linux) at a fresh temporary folder while the object lives, so no test reads
// or writes a real user's presets.
struct TempHome
{
    TempHome()
        : old (std::getenv ("HOME"))
    {
        folder.createDirectory();
        setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~TempHome()
    {
        setenv ("HOME", old.toRawUTF8(), 1);
        folder.deleteRecursively();
    }

    juce::File presetFolder() const { return folder.getChildFile (".config/Quenmar_Works/Presets/Corvantide"); }

    const juce::String old;
    const juce::File folder { juce::File::createTempFile ("corvantide-home") };
};
