#pragma once

#include <juce_data_structures/juce_data_structures.h>

namespace plb
{
/** The per-user preferences file, shared by every editor of every instance,
    in this process and in others. Each editor holds its own object and
    writes it when it closes, so a save must not put back values that
    another editor or process has changed meanwhile: a save reads the file
    again and re-applies only the keys that this object has set since its
    last save, all under one inter-process lock.

    The file is the framework's properties XML, read and written here rather
    than by juce::PropertiesFile: the framework reads it with an unguarded
    parser (a hostile file crashes or hangs every editor that opens) and
    waits for its lock without end. Here the file goes through the same
    limits as states and presets, and a file they refuse counts as an
    unreadable one: the defaults apply and the next save replaces it.

    The lock is waited for only briefly on the message thread. A save that
    cannot have it, or whose write fails, keeps its keys and tries again on
    the timer; the last one, when the object goes, writes anyway, so no
    choice is lost to a busy or broken lock.

    Use it through this type: setValue hides PropertySet's non-virtual one,
    which knows nothing of the keys set here. */
class PreferencesFile : public juce::PropertySet, private juce::Timer
{
public:
    /** A save keeps the file within the limits that its reading applies
        (those of states and presets) and leaves out what would not fit,
        the keys in keysToKeepFirst last of all. */
    explicit PreferencesFile (const juce::PropertiesFile::Options& fileOptions, juce::StringArray keysToKeepFirst = {});
    ~PreferencesFile() override;

    void setValue (const juce::String& keyName, const juce::var& value);

    /** Merges and writes, waiting at most lockWaitMilliseconds for the lock.
        False when nothing was written; a busy lock or a failed write then
        retries later. */
    bool save();

    const juce::File& getFile() const noexcept { return file; }
    bool needsToBeSaved() const;

    static constexpr int lockWaitMilliseconds = 200;
    static constexpr int retryMilliseconds = 3000;

private:
    void propertyChanged() override;
    void timerCallback() override;

    enum class LockPolicy
    {
        required,
        writeAnyway
    };
    bool saveMerged (LockPolicy policy);
    juce::StringPairArray readFile() const;

    const juce::File file;
    const juce::PropertiesFile::Options options;
    const juce::StringArray keysKeptFirst;
    juce::StringArray keysSetSinceSave;
    bool needsWriting = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreferencesFile)
};
} // namespace plb
