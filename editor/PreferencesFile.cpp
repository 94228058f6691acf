#include "editor/PreferencesFile.h"

namespace plb
{
namespace
{
    // The lock's name becomes a file name (or a mutex name), so no path
    // separators; the path's hash keeps files of different users apart.
    juce::String lockNameFor (const juce::File& file)
    {
        return file.getFileName() + "." + juce::String::toHexString (file.getFullPathName().hashCode64()) + ".lock";
    }
} // namespace

// The lock is a base rather than a member so that it is built before the
// framework's file, whose constructor reads under it, and outlives it.
PreferencesFile::PreferencesFile (const Options& fileOptions)
    : juce::InterProcessLock (lockNameFor (fileOptions.getDefaultFile()))
    , juce::PropertiesFile (withLock (fileOptions, *this))
{
}

PreferencesFile::~PreferencesFile()
{
    // Written here, the framework's destructor finds nothing left to save.
    if (needsToBeSaved())
        save();
}

juce::PropertiesFile::Options PreferencesFile::withLock (Options fileOptions, juce::InterProcessLock& lock)
{
    fileOptions.processLock = &lock;
    return fileOptions;
}

void PreferencesFile::setValue (const juce::String& keyName, const juce::var& value)
{
    // Remembered even when the value is unchanged: the editor closed last
    // stores its width although it may equal what it read at opening.
    keysSetSinceSave.addIfNotAlreadyThere (keyName);
    juce::PropertiesFile::setValue (keyName, value);
}

bool PreferencesFile::save()
{
    const juce::ScopedLock propertiesLock (getLock());
    // The reading and writing below take the lock again; held across both,
    // no other process can write in between.
    const juce::InterProcessLock::ScopedLockType fileLock (*this);

    juce::StringPairArray ours;
    for (const auto& key : keysSetSinceSave)
        ours.set (key, getValue (key));

    reload();
    for (const auto& key : ours.getAllKeys())
        getAllProperties().set (key, ours[key]);

    if (! juce::PropertiesFile::save())
        return false;

    keysSetSinceSave.clear();
    return true;
}

void PreferencesFile::timerCallback()
{
    if (needsToBeSaved())
        save();
}
} // namespace plb
