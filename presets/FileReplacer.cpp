#include "presets/FileReplacer.h"

#if ! JUCE_WINDOWS
    #include <fcntl.h>
    #include <sys/stat.h>
    #include <unistd.h>

    #include <cerrno>
#endif

namespace qnmr
{
namespace
{
    enum class Outcome
    {
        replaced,
        nameTaken,
        failed
    };

#if ! JUCE_WINDOWS
    bool writeAll (int handle, const char* data, size_t numBytes)
    {
        while (numBytes > 0)
        {
            const auto written = ::write (handle, data, numBytes);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            numBytes -= static_cast<size_t> (written);
        }
        return true;
    }

    Outcome replaceThrough (const juce::File& temporary, const juce::File& target, const void* data, size_t numBytes)
    {
        const auto temporaryPath = temporary.getFullPathName();
        // Exclusive, so a file of that name that is already there (left by a
        // save killed half-way, or put there by someone else) is never reused.
        const int handle = ::open (temporaryPath.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (handle < 0)
            return errno == EEXIST ? Outcome::nameTaken : Outcome::failed;

        struct stat info;
        bool ok = writeAll (handle, static_cast<const char*> (data), numBytes)
                  && ::fsync (handle) == 0
                  && ::fstat (handle, &info) == 0
                  && info.st_size >= 0 && static_cast<unsigned long long> (info.st_size) == numBytes;
        ok = ::close (handle) == 0 && ok;
        ok = ok && ::rename (temporaryPath.toRawUTF8(), target.getFullPathName().toRawUTF8()) == 0;

        if (! ok)
            ::unlink (temporaryPath.toRawUTF8());
        return ok ? Outcome::replaced : Outcome::failed;
    }
#else
    Outcome replaceThrough (const juce::File& temporary, const juce::File& target, const void* data, size_t numBytes)
    {
        if (temporary.exists())
            return Outcome::nameTaken;

        bool ok = false;
        {
            juce::FileOutputStream out (temporary);
            if (! out.openedOk())
                return Outcome::failed;

            ok = out.write (data, numBytes);
            out.flush();
            ok = ok && out.getStatus().wasOk();
        }

        // The stream's flush reports nothing when its last buffer is cut
        // short; the size on disk does.
        ok = ok && temporary.getSize() == static_cast<juce::int64> (numBytes) && temporary.replaceFileIn (target);
        if (! ok)
            temporary.deleteFile();
        return ok ? Outcome::replaced : Outcome::failed;
    }
#endif
} // namespace

bool FileReplacer::replaceWithData (const juce::File& target, const void* data, size_t numBytes)
{
    if (target == juce::File())
        return false;

    juce::Random random;
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const auto temporary = target.getSiblingFile ("." + target.getFileName() + "." + juce::String::toHexString (random.nextInt()) + ".tmp");
        const auto outcome = replaceThrough (temporary, target, data, numBytes);
        if (outcome != Outcome::nameTaken)
            return outcome == Outcome::replaced;
    }

    return false;
}
} // namespace qnmr
