#include "editor/PreferencesFile.h"

#include "presets/StateTree.h"

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <unistd.h>
#endif

namespace plb
{
namespace
{
    // The framework's properties XML, so that files stay interchangeable with
    // juce::PropertiesFile in both directions.
    constexpr const char* fileTag = "PROPERTIES";
    constexpr const char* valueTag = "VALUE";
    constexpr const char* nameAttribute = "name";
    constexpr const char* valueAttribute = "val";

    // Held while it lives if it could be had within the wait. A lock that
    // cannot be had, busy or broken, never counts as held: the framework's
    // own lock reports a lock file it cannot open as taken and lets the
    // merge run unprotected.
    class ScopedFileLock
    {
    public:
        ScopedFileLock (const juce::File& preferences, int waitMilliseconds)
#if JUCE_WINDOWS
            // A named mutex; its name must hold no backslash, and the path's
            // hash keeps the files of different users apart.
            : mutex (preferences.getFileName() + "." + juce::String::toHexString (preferences.getFullPathName().hashCode64()) + ".lock")
        {
            held = mutex.enter (waitMilliseconds);
        }
#else
        {
            // Beside the file, where only its owner can create it: a lock file
            // in the shared temporary folder can be taken by any local user.
            const auto path = preferences.getSiblingFile (preferences.getFileName() + ".lock").getFullPathName();
            handle = ::open (path.toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (handle < 0)
                return;

            struct flock request = {};
            request.l_type = F_WRLCK;
            request.l_whence = SEEK_SET;
            const auto deadline = juce::Time::getMillisecondCounterHiRes() + waitMilliseconds;
            for (;;)
            {
                if (::fcntl (handle, F_SETLK, &request) == 0)
                {
                    held = true;
                    return;
                }

                const auto error = errno;
                if (error == EINTR)
                    continue;
                // Anything but another holder (no locking on this file
                // system, for one) will not go away by waiting.
                if ((error != EACCES && error != EAGAIN) || juce::Time::getMillisecondCounterHiRes() >= deadline)
                    break;
                juce::Thread::sleep (5);
            }

            ::close (handle);
            handle = -1;
        }
#endif

        ~ScopedFileLock()
        {
#if JUCE_WINDOWS
            if (held)
                mutex.exit();
#else
            // Closing the descriptor releases the lock.
            if (handle >= 0)
                ::close (handle);
#endif
        }

        bool isHeld() const noexcept { return held; }

    private:
        bool held = false;
#if JUCE_WINDOWS
        juce::InterProcessLock mutex;
#else
        int handle = -1;
#endif

        JUCE_DECLARE_NON_COPYABLE (ScopedFileLock)
    };

    bool writeProperties (const juce::File& file, const juce::StringPairArray& properties)
    {
        juce::XmlElement document (fileTag);
        for (int i = 0; i < properties.size(); ++i)
        {
            auto* element = document.createNewChildElement (valueTag);
            element->setAttribute (nameAttribute, properties.getAllKeys()[i]);

            // The framework keeps a value that reads as XML as an element.
            // Values come from other writers too, so only the guarded reader
            // decides; a value it refuses is kept as text, which reads back the
            // same.
            if (auto child = qnmr::parseParameterXml (properties.getAllValues()[i]))
                element->addChildElement (child.release());
            else
                element->setAttribute (valueAttribute, properties.getAllValues()[i]);
        }

        // Written through a temporary file and a rename, so readers never see
        // half a file and need no lock.
        return document.writeTo (file, {});
    }
} // namespace

PreferencesFile::PreferencesFile (const juce::PropertiesFile::Options& fileOptions)
    : juce::PropertySet (fileOptions.ignoreCaseOfKeyNames)
    , file (fileOptions.getDefaultFile())
    , options (fileOptions)
{
    jassert (options.storageFormat == juce::PropertiesFile::storeAsXML);
    const juce::ScopedLock propertiesLock (getLock());
    getAllProperties().addArray (readFile());
}

PreferencesFile::~PreferencesFile()
{
    stopTimer();
    // The last chance to keep what was chosen: a lock still busy or broken
    // no longer holds the write back.
    if (needsToBeSaved())
        saveMerged (LockPolicy::writeAnyway);
}

void PreferencesFile::setValue (const juce::String& keyName, const juce::var& value)
{
    const juce::ScopedLock propertiesLock (getLock());
    // Remembered even when the value is unchanged: the editor closed last
    // stores its width although it may equal what it read at opening.
    keysSetSinceSave.addIfNotAlreadyThere (keyName);
    juce::PropertySet::setValue (keyName, value);
}

bool PreferencesFile::save()
{
    return saveMerged (LockPolicy::required);
}

bool PreferencesFile::needsToBeSaved() const
{
    const juce::ScopedLock propertiesLock (getLock());
    return needsWriting;
}

void PreferencesFile::propertyChanged()
{
    const juce::ScopedLock propertiesLock (getLock());
    needsWriting = true;
    if (options.millisecondsBeforeSaving > 0)
        startTimer (options.millisecondsBeforeSaving);
    else if (options.millisecondsBeforeSaving == 0)
        save();
}

void PreferencesFile::timerCallback()
{
    if (needsToBeSaved())
        save();
    else
        stopTimer();
}

juce::StringPairArray PreferencesFile::readFile() const
{
    // No lock: the file is only ever replaced whole, by a rename. Missing,
    // unreadable and refused alike give no values, and the defaults apply.
    juce::StringPairArray values (options.ignoreCaseOfKeyNames);
    const auto document = qnmr::parseXmlFile (file);
    if (document == nullptr || ! document->hasTagName (fileTag))
        return values;

    for (auto* element : document->getChildWithTagNameIterator (valueTag))
    {
        const auto name = element->getStringAttribute (nameAttribute);
        if (name.isEmpty())
            continue;

        const auto* child = element->getFirstChildElement();
        values.set (name, child != nullptr ? child->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                                           : element->getStringAttribute (valueAttribute));
    }

    return values;
}

bool PreferencesFile::saveMerged (LockPolicy policy)
{
    const juce::ScopedLock propertiesLock (getLock());
    stopTimer();

    if (options.doNotSave || file == juce::File() || file.isDirectory() || ! file.getParentDirectory().createDirectory())
        return false;

    // Held across the reading and the writing, so no other process writes in
    // between.
    const ScopedFileLock fileLock (file, lockWaitMilliseconds);
    if (! fileLock.isHeld() && policy == LockPolicy::required)
    {
        needsWriting = true;
        startTimer (retryMilliseconds);
        return false;
    }

    juce::StringPairArray ours;
    for (const auto& key : keysSetSinceSave)
        ours.set (key, getValue (key));

    auto& merged = getAllProperties();
    merged.addArray (readFile());
    merged.addArray (ours);

    if (! writeProperties (file, merged))
        return false;

    needsWriting = false;
    keysSetSinceSave.clear();
    return true;
}
} // namespace plb
