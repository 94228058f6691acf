#pragma once

#include <juce_core/juce_core.h>

namespace qnmr
{
// Replaces a file with new contents so that it only ever holds the old bytes
// or the new ones. The framework's own replacement ignores a failed flush of
// its buffer, so a disk that fills or a file-size limit met part-way renames
// a cut file over a good one and reports success.
//
// The bytes go to a temporary file beside the target, "." + its name + "." +
// hex digits + ".tmp": never the preset extension, so a save killed half-way
// leaves nothing that the preset menu lists. Every write, the flush to disk,
// the close and the size on disk are checked before the rename; on any
// failure the temporary file is removed and the target is left as it was.
class FileReplacer
{
public:
    static bool replaceWithData (const juce::File& target, const void* data, size_t numBytes);
};
} // namespace qnmr
