#include "presets/PresetFolderListing.h"

#include "presets/StateTree.h"

#if JUCE_LINUX || JUCE_BSD
    #include <dirent.h>
    #include <fcntl.h>
    #include <sys/stat.h>

    #include <cstring>
#endif

namespace qnmr
{
#if JUCE_LINUX || JUCE_BSD
namespace
{
    // The entry's own type where the file system gives it; a link, or a file
    // system that gives none, is asked once, following links as the
    // framework's iterator does.
    bool isFolderEntry (DIR* dir, const dirent& entry)
    {
       #ifdef _DIRENT_HAVE_D_TYPE
        if (entry.d_type == DT_DIR)
            return true;
        if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
            return false;
       #endif
        struct stat info;
        return fstatat (dirfd (dir), entry.d_name, &info, 0) == 0 && S_ISDIR (info.st_mode);
    }
} // namespace
#endif

std::vector<PresetFolderListing::Entry> PresetFolderListing::list (const juce::File& folder, bool includeFolders)
{
    std::vector<Entry> entries;

#if JUCE_LINUX || JUCE_BSD
    const auto path = folder.getFullPathName();
    auto* dir = path.isEmpty() ? nullptr : opendir (path.toRawUTF8());
    if (dir == nullptr)
        return entries;

    const auto base = juce::File::addTrailingSeparator (path);
    while (const auto* entry = readdir (dir))
    {
        const char* name = entry->d_name;
        const auto length = std::strlen (name);
        if (std::strspn (name, ".") == length || ! isWellFormedUtf8 (name, length))
            continue;

        const bool isFolder = isFolderEntry (dir, *entry);
        if (isFolder && ! includeFolders)
            continue;

        entries.push_back ({ juce::File (base + juce::String::fromUTF8 (name, (int) length)), isFolder });
    }
    closedir (dir);
#else
    const auto what = includeFolders ? juce::File::findFilesAndDirectories : juce::File::findFiles;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", what))
        entries.push_back ({ entry.getFile(), entry.isDirectory() });
#endif

    return entries;
}
} // namespace qnmr
