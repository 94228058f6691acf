#include "presets/PresetFileReader.h"

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
    // Reads until the end or one byte past the limit; `read` returns the
    // number of bytes it gave, 0 at the end and a negative number on failure.
    template <typename ReadFunction>
    bool readBounded (size_t maxBytes, juce::MemoryBlock& data, ReadFunction&& readInto)
    {
        data.setSize (maxBytes + 1);
        size_t total = 0;
        while (total <= maxBytes)
        {
            const auto got = readInto (static_cast<char*> (data.getData()) + total, maxBytes + 1 - total);
            if (got < 0)
                return false;
            if (got == 0)
                break;
            total += static_cast<size_t> (got);
        }

        if (total > maxBytes)
            return false;

        data.setSize (total);
        return true;
    }
} // namespace

bool PresetFileReader::read (const juce::File& file, size_t maxBytes, juce::MemoryBlock& data)
{
    data.reset();
    bool ok = false;

#if JUCE_WINDOWS
    // Regular files, directories and the like are all the folder can hold
    // here; a size past the limit is refused before anything is read.
    if (file.existsAsFile() && static_cast<juce::uint64> (file.getSize()) <= maxBytes)
    {
        juce::FileInputStream in (file);
        ok = in.openedOk() && readBounded (maxBytes, data, [&in] (char* dest, size_t wanted) -> juce::int64 {
            return in.read (dest, static_cast<int> (juce::jmin (wanted, static_cast<size_t> (1 << 20))));
        });
    }
#else
    // Opening without waiting and asking the open descriptor what it is
    // leaves no moment where a named pipe or a device can be swapped in.
    const auto path = file.getFullPathName();
    const int fd = path.isEmpty() ? -1 : ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0)
    {
        struct stat info;
        if (::fstat (fd, &info) == 0 && S_ISREG (info.st_mode) && info.st_size >= 0
            && static_cast<unsigned long long> (info.st_size) <= maxBytes)
        {
            ok = readBounded (maxBytes, data, [fd] (char* dest, size_t wanted) -> long long {
                for (;;)
                {
                    const auto got = ::read (fd, dest, wanted);
                    if (got >= 0 || errno != EINTR)
                        return got;
                }
            });
        }
        ::close (fd);
    }
#endif

    if (! ok)
        data.reset();
    return ok;
}
} // namespace qnmr
