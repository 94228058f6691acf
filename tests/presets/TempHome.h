#pragma once

#include <cstdlib>

#include <juce_core/juce_core.h>

// Points $HOME (from which JUCE derives the user application-data folder on
// Linux) at a fresh temporary folder for the lifetime of the object, so no test
// reads or writes a real user's presets.
class TempHome
{
public:
    TempHome()
        : folder (juce::File::createTempFile ("corvantide-home"))
    {
        if (const char* previous = std::getenv ("HOME"))
        {
            hadHome = true;
            oldHome = previous;
        }

        folder.createDirectory();
        setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~TempHome()
    {
        if (hadHome)
            setenv ("HOME", oldHome.toRawUTF8(), 1);
        else
            unsetenv ("HOME");

        folder.deleteRecursively();
    }

    juce::File presetFolder() const
    {
        return folder.getChildFile (".config/Quenmar_Works/Presets/Corvantide");
    }

    const juce::File folder;

private:
    bool hadHome = false;
    juce::String oldHome;
};
