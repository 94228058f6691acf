#pragma once

#include <cstddef>

#include <juce_core/juce_core.h>

namespace qnmr
{
// Reads a file that came from outside, such as whatever a user's preset
// folder holds. Only a regular file (or a link to one) is read, and never
// more than the given number of bytes plus one, which is what tells a file
// past the limit. The size the file system reports is no bound by itself: a
// link to a device reports 0 and never ends, and the framework's file open
// waits forever on a named pipe until some other program writes to it.
class PresetFileReader
{
public:
    // False, with `data` emptied, for anything that is not a regular file,
    // cannot be read, or holds more than `maxBytes`.
    static bool read (const juce::File& file, size_t maxBytes, juce::MemoryBlock& data);
};
} // namespace qnmr
