#pragma once

#include <vector>

#include <juce_core/juce_core.h>

namespace qnmr
{
// The entries of one folder, each asked once whether it is a folder, in the
// order the file system returns them. Entries are taken as the framework's
// own directory iterator takes them, so a user's folder lists as it always
// has: hidden entries are included, a link counts as what it points to (a
// broken link as a file), and the names "." and ".." (and any other name made
// only of dots) are left out.
//
// On Linux the folder is read with the system's own calls, because the
// framework's iterator converts every name to a string itself, and a name
// that is not well-formed UTF-8 (as an archive made with another encoding
// can leave) makes it write past its buffer. Such names are skipped here
// before any string is made of them: they could not be loaded by name anyway.
// Elsewhere the framework's iterator is used; its names come from the
// system's UTF-16 or Unicode calls and are always well-formed.
class PresetFolderListing
{
public:
    struct Entry
    {
        juce::File file;
        bool isFolder = false;
    };

    // Nothing (not even an error) when the folder cannot be read.
    static std::vector<Entry> list (const juce::File& folder, bool includeFolders);

};
} // namespace qnmr
