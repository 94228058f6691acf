#include "editor/PreferencesFile.h"

#include "presets/FileReplacer.h"
#include "presets/StateTree.h"

#include <algorithm>
#include <vector>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
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
            // Not through a link: a dangling one would create its target, and
            // one to a device would lock the device. Without waiting, so that
            // a named pipe put there cannot hold the open up.
            handle = ::open (path.toRawUTF8(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
            if (handle < 0)
                return;

            struct stat info;
            if (::fstat (handle, &info) != 0 || ! S_ISREG (info.st_mode))
            {
                ::close (handle);
                handle = -1;
                return;
            }

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

    // Whether the writer breaks an element's start tag: it does so before an
    // attribute once those before it on the line pass the wrap length,
    // counted in bytes as they are written.
    bool attributesWrap (const juce::XmlElement& element, int wrapLength)
    {
        const auto singleLine = juce::XmlElement::TextFormat().singleLine().withoutHeader();
        const auto bare = juce::XmlElement ("a").toString (singleLine).getNumBytesAsUTF8();
        size_t length = 0;
        for (int i = 0; i + 1 < element.getNumAttributes(); ++i)
        {
            juce::XmlElement one ("a");
            one.setAttribute (element.getAttributeName (i), element.getAttributeValue (i));
            length += one.toString (singleLine).getNumBytesAsUTF8() - bare;
            if (length > (size_t) wrapLength)
                return true;
        }
        return false;
    }

    // The framework's single-line form streams a null line ending, and
    // crashes, wherever it would break a line. It writes an element that
    // follows text at indentation 0, and from there on breaks lines as the
    // indented form does: before a child element that no text precedes,
    // before a closing tag that follows an element, and in a long start tag.
    bool breaksLines (const juce::XmlElement& element, int indentation, int wrapLength)
    {
        if (element.isTextElement())
            return false;
        if (indentation >= 0 && attributesWrap (element, wrapLength))
            return true;

        bool lastWasText = false;
        for (auto* child : element.getChildIterator())
        {
            if (child->isTextElement())
            {
                lastWasText = true;
                continue;
            }
            if ((indentation >= 0 && ! lastWasText) || breaksLines (*child, lastWasText ? 0 : indentation + (indentation >= 0 ? 2 : 0), wrapLength))
                return true;
            lastWasText = false;
        }
        return indentation >= 0 && element.getFirstChildElement() != nullptr && ! lastWasText;
    }

    // A value kept as an element reads as the framework reads it, in the
    // single-line form; where that form would crash, in the default form,
    // which the writer parses back into the same element.
    juce::String valueText (const juce::XmlElement& child)
    {
        const auto format = juce::XmlElement::TextFormat().withoutHeader();
        return child.toString (breaksLines (child, -1, format.lineWrapLength) ? format : format.singleLine());
    }

    std::unique_ptr<juce::XmlElement> createValueElement (const juce::String& name, const juce::String& value)
    {
        auto element = std::make_unique<juce::XmlElement> (valueTag);
        element->setAttribute (nameAttribute, name);

        // The framework keeps a value that reads as XML as an element.
        // Values come from other writers too, so only the guarded reader
        // decides; a value it refuses is kept as text, which reads back the
        // same.
        if (auto child = qnmr::parseParameterXml (value))
            element->addChildElement (child.release());
        else
            element->setAttribute (valueAttribute, value);
        return element;
    }

    juce::MemoryBlock written (const juce::XmlElement& document)
    {
        juce::MemoryOutputStream text;
        document.writeTo (text, {});
        return text.getMemoryBlock();
    }

    int depthOf (const juce::XmlElement& element)
    {
        int deepest = 0;
        for (auto* child : element.getChildIterator())
            if (! child->isTextElement())
                deepest = std::max (deepest, depthOf (*child));
        return deepest + 1;
    }

    // A written document as the reader measures it (StateLimits): every '<'
    // not followed by '/' is an element, the declaration too, and every '='
    // an attribute. The writer escapes '<' in text and values, so each one it
    // writes is markup.
    struct Extent
    {
        juce::int64 bytes = 0;
        int elements = 0, equalSigns = 0;

        static Extent of (const juce::MemoryBlock& text)
        {
            Extent extent;
            const auto* bytes = static_cast<const char*> (text.getData());
            extent.bytes = static_cast<juce::int64> (text.getSize());
            for (size_t i = 0; i < text.getSize(); ++i)
            {
                extent.equalSigns += bytes[i] == '=' ? 1 : 0;
                extent.elements += bytes[i] == '<' && (i + 1 == text.getSize() || bytes[i + 1] != '/') ? 1 : 0;
            }
            return extent;
        }

        // Of a document holding these values only.
        static Extent with (std::initializer_list<const juce::XmlElement*> values)
        {
            juce::XmlElement document (fileTag);
            for (const auto* value : values)
                document.addChildElement (new juce::XmlElement (*value));
            return of (written (document));
        }

        Extent operator+ (const Extent& other) const { return { bytes + other.bytes, elements + other.elements, equalSigns + other.equalSigns }; }
        Extent operator- (const Extent& other) const { return { bytes - other.bytes, elements - other.elements, equalSigns - other.equalSigns }; }

        bool isWithinLimits() const
        {
            using Limits = qnmr::StateLimits;
            return bytes <= Limits::maxBytes && elements <= Limits::maxElements && equalSigns <= Limits::maxAttributes;
        }
    };

    // The file's bytes, within the limits of its own reader. A value read as
    // text may be written as elements, and lines and indents are added, so a
    // file read within the limits can come out beyond them; then the values
    // that do not fit are left out, those named in keptFirst (found by
    // index) considered before all others.
    bool createFileText (const juce::StringPairArray& properties, const juce::Array<int>& keptFirst, juce::MemoryBlock& text)
    {
        std::vector<std::unique_ptr<juce::XmlElement>> values;
        for (int i = 0; i < properties.size(); ++i)
            values.push_back (createValueElement (properties.getAllKeys()[i], properties.getAllValues()[i]));

        std::vector<bool> kept (values.size(), true);
        const auto documentOfKept = [&values, &kept] {
            juce::XmlElement document (fileTag);
            for (size_t i = 0; i < values.size(); ++i)
                if (kept[i])
                    document.addChildElement (new juce::XmlElement (*values[i]));
            return document;
        };

        const auto whole = documentOfKept();
        text = written (whole);
        if (! Extent::of (text).isWithinLimits() || depthOf (whole) > qnmr::StateLimits::maxDepth)
        {
            // The writer puts each value on a line of its own, whatever
            // stands beside it, so what one value adds is the same in any
            // company: a document of n values is the frame plus their parts.
            const juce::XmlElement empty (valueTag);
            const auto frame = Extent::with ({ &empty }) + Extent::with ({ &empty }) - Extent::with ({ &empty, &empty });
            auto total = frame;

            std::fill (kept.begin(), kept.end(), false);
            std::vector<bool> considered (values.size(), false);
            const auto consider = [&] (int index) {
                if (index < 0 || considered[(size_t) index])
                    return;
                considered[(size_t) index] = true;

                const auto& value = *values[(size_t) index];
                const auto withValue = total + Extent::with ({ &value }) - frame;
                if (withValue.isWithinLimits() && 1 + depthOf (value) <= qnmr::StateLimits::maxDepth)
                {
                    total = withValue;
                    kept[(size_t) index] = true;
                }
            };

            for (auto index : keptFirst)
                consider (index);
            for (int i = 0; i < (int) values.size(); ++i)
                consider (i);
            text = written (documentOfKept());
        }

        // The reader has the last word: it also checks what no count covers.
        return qnmr::parseXmlFileContents (text) != nullptr;
    }
} // namespace

PreferencesFile::PreferencesFile (const juce::PropertiesFile::Options& fileOptions, juce::StringArray keysToKeepFirst)
    : juce::PropertySet (fileOptions.ignoreCaseOfKeyNames)
    , file (fileOptions.getDefaultFile())
    , options (fileOptions)
    , keysKeptFirst (std::move (keysToKeepFirst))
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
        values.set (name, child != nullptr ? valueText (*child) : element->getStringAttribute (valueAttribute));
    }

    return values;
}

bool PreferencesFile::saveMerged (LockPolicy policy)
{
    const juce::ScopedLock propertiesLock (getLock());
    stopTimer();

    if (options.doNotSave || file == juce::File() || file.isDirectory())
        return false;

    // A folder that cannot be made yet, a lock busy or broken, a disk that is
    // full: the keys set here wait for the next try, if one is to come.
    const auto tryAgainLater = [this, policy] {
        needsWriting = true;
        if (policy == LockPolicy::required)
            startTimer (retryMilliseconds);
        return false;
    };

    if (! file.getParentDirectory().createDirectory())
        return tryAgainLater();

    // Held across the reading and the writing, so no other process writes in
    // between.
    const ScopedFileLock fileLock (file, lockWaitMilliseconds);
    if (! fileLock.isHeld() && policy == LockPolicy::required)
        return tryAgainLater();

    juce::StringPairArray ours;
    for (const auto& key : keysSetSinceSave)
        ours.set (key, getValue (key));

    auto& merged = getAllProperties();
    merged.addArray (readFile());
    merged.addArray (ours);

    juce::Array<int> keptFirst;
    for (const auto& key : keysKeptFirst)
        keptFirst.add (merged.getAllKeys().indexOf (key, options.ignoreCaseOfKeyNames));
    for (const auto& key : keysSetSinceSave)
        keptFirst.add (merged.getAllKeys().indexOf (key, options.ignoreCaseOfKeyNames));

    // Written through a temporary file and a rename, so readers never see
    // half a file and need no lock.
    juce::MemoryBlock text;
    if (! createFileText (merged, keptFirst, text) || ! qnmr::FileReplacer::replaceWithData (file, text.getData(), text.getSize()))
        return tryAgainLater();

    needsWriting = false;
    keysSetSinceSave.clear();
    return true;
}
} // namespace plb
