#pragma once

#include <juce_data_structures/juce_data_structures.h>

namespace plb
{
/** The per-user preferences file, shared by every editor of every instance,
    in this process and in others. Each editor holds its own object and
    writes it when it closes, so a save must not put back values that
    another editor or process has changed meanwhile: a save reads the file
    again and re-applies only the keys that this object has set since its
    last save, all under one inter-process lock. The framework's own save
    timer and destructor take the same path.

    Use it through this type: setValue and save hide the framework's
    non-virtual ones, which know nothing of the keys set here. */
class PreferencesFile : private juce::InterProcessLock, public juce::PropertiesFile
{
public:
    explicit PreferencesFile (const Options& fileOptions);
    ~PreferencesFile() override;

    void setValue (const juce::String& keyName, const juce::var& value);
    bool save();

private:
    void timerCallback() override;

    static Options withLock (Options fileOptions, juce::InterProcessLock& lock);

    juce::StringArray keysSetSinceSave;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreferencesFile)
};
} // namespace plb
