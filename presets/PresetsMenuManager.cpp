#include "presets/PresetsMenuManager.h"

#include "presets/FileReplacer.h"
#include "presets/PresetFolderListing.h"
#include "presets/StateTree.h"

#include <algorithm>
#include <cstdint>

namespace qnmr
{
namespace
{
    struct PresetSubfolder
    {
        juce::PopupMenu menu;
        juce::String name;
        juce::Array<juce::File> files;
    };

    // A listed entry and, for a top-level folder, the index of its record.
    struct ListedEntry
    {
        PresetFolderListing::Entry entry;
        juce::String sortKey;
        size_t subfolder = 0;
    };

    // The entries of one list share their folder, so their paths from the
    // last separator on compare as the full paths do, without walking the
    // common part again at every comparison. The separator stays in the
    // key: the natural comparison treats what comes first specially.
    ListedEntry listed (PresetFolderListing::Entry entry, size_t subfolder = 0)
    {
        const auto& path = entry.file.getFullPathName();
        auto key = path.substring (juce::jmax (0, path.lastIndexOfChar (juce::File::getSeparatorChar())));
        return { std::move (entry), std::move (key), subfolder };
    }

    // Folders first, then natural order of the full paths ignoring case
    // ("preset 2" before "preset 10", "a" before "B") on every platform,
    // not only where the file system itself ignores case. Whether an entry
    // is a folder was asked once when it was listed, not at every comparison.
    bool comesBefore (const ListedEntry& first, const ListedEntry& second)
    {
        if (first.entry.isFolder != second.entry.isFolder)
            return first.entry.isFolder;

        return first.sortKey.compareNatural (second.sortKey, false) < 0;
    }
} // namespace

PresetsMenuManager::PresetsMenuManager (juce::AudioProcessor& processorToUse,
                                        juce::AudioProcessorValueTreeState& state,
                                        const juce::String& vendorName,
                                        const juce::String& productName,
                                        juce::String extension)
    : presetFileExtension (std::move (extension))
    , processor (processorToUse)
    , valueTreeState (state)
{
    presetFolder = juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
                       .getChildFile (vendorName)
                       .getChildFile ("Presets")
                       .getChildFile (productName);

    // A folder that cannot be created simply lists nothing.
    presetFolder.createDirectory();

    rebuildPresetMenu();
}

PresetsMenuManager::~PresetsMenuManager() = default;

void PresetsMenuManager::savePresetAs()
{
    fileChooser = std::make_unique<juce::FileChooser> ("Save Preset", presetFolder, "*." + presetFileExtension, true, false, nullptr);

    const auto flags = juce::FileBrowserComponent::saveMode
                       | juce::FileBrowserComponent::canSelectFiles
                       | juce::FileBrowserComponent::warnAboutOverwriting;

    // The dialog belongs to this manager: deleting the chooser drops the
    // completion, so it never runs after the manager has gone.
    fileChooser->launchAsync (flags, [this] (const juce::FileChooser& chooser) { writePresetFile (chooser); });
}

void PresetsMenuManager::writePresetFile (const juce::FileChooser& chooser)
{
    writePresetFile (chooser.getResult());
}

void PresetsMenuManager::writePresetFile (const juce::File& chosen)
{
    if (chosen == juce::File())
        return;

    processor.suspendProcessing (true);

    const auto state = valueTreeState.copyState();
    const auto xml = state.createXml();

    // Default text format: declaration, empty line, two-space indent,
    // 60-column attribute wrapping, CR LF line ends.
    juce::MemoryOutputStream text;
    if (xml != nullptr)
        xml->writeTo (text, juce::XmlElement::TextFormat());

    if (xml != nullptr && FileReplacer::replaceWithData (chosen, text.getData(), text.getDataSize()))
        currentPresetName = chosen.getFileNameWithoutExtension();

    processor.suspendProcessing (false);

    if (xml != nullptr)
        rebuildPresetMenu();
}

void PresetsMenuManager::loadPresetFile (const juce::File& file)
{
    processor.suspendProcessing (true);
    // Whatever the file turns out to be, the track must not stay silent.
    const juce::ScopeGuard resume { [this] { processor.suspendProcessing (false); } };

    if (auto root = parseXmlFile (file))
    {
        const auto& type = parameterTreeType;

        // Preset files are matched ignoring case, but the state keeps its own
        // type, so that what the host stores afterwards still restores.
        if (root->getTagName().equalsIgnoreCase (type.toString()))
        {
            root->setTagName (type);
            auto tree = juce::ValueTree::fromXml (*root);

            if (tree.isValid())
            {
                completeParameterTree (valueTreeState, tree);
                valueTreeState.replaceState (tree);
                currentPresetName = file.getFileNameWithoutExtension();
            }
        }
    }
}

void PresetsMenuManager::rebuildPresetMenu()
{
    presetFiles.clear();
    presetMenu = std::make_unique<juce::PopupMenu>();

    // The framework runs an item's action after the menu has closed; the
    // id -1 keeps the choice itself out of onPresetChosen's range.
    juce::PopupMenu::Item saveItem ("SAVE PRESET...");
    saveItem.itemID = -1;
    saveItem.action = [manager = juce::WeakReference<PresetsMenuManager> (this)] {
        if (manager != nullptr)
            manager->savePresetAs();
    };
    presetMenu->addItem (std::move (saveItem));
    presetMenu->addSeparator();

    std::vector<ListedEntry> topLevel;
    std::vector<PresetSubfolder> subfolders;

    for (auto& entry : PresetFolderListing::list (presetFolder, true))
    {
        if (! entry.isFolder)
        {
            if (entry.file.hasFileExtension (presetFileExtension))
                topLevel.push_back (listed (std::move (entry)));
            continue;
        }

        // Only one level of sub-folders: deeper folders are never listed.
        std::vector<ListedEntry> inner;
        for (auto& file : PresetFolderListing::list (entry.file, false))
            if (file.file.hasFileExtension (presetFileExtension))
                inner.push_back (listed (std::move (file)));
        std::sort (inner.begin(), inner.end(), comesBefore);

        PresetSubfolder subfolder;
        subfolder.files.ensureStorageAllocated (static_cast<int> (inner.size()));
        for (auto& file : inner)
            subfolder.files.add (std::move (file.entry.file));
        subfolder.name = entry.file.getFileName();
        subfolders.push_back (std::move (subfolder));
        topLevel.push_back (listed (std::move (entry), subfolders.size() - 1));
    }

    std::sort (topLevel.begin(), topLevel.end(), comesBefore);

    int itemId = 1;
    for (const auto& [entry, sortKey, index] : topLevel)
    {
        if (! entry.isFolder)
        {
            presetMenu->addItem (itemId++, entry.file.getFileNameWithoutExtension(), true, false);
            presetFiles.push_back (entry.file);
            continue;
        }

        auto& subfolder = subfolders[index];
        for (const auto& preset : subfolder.files)
        {
            subfolder.menu.addItem (itemId++, preset.getFileNameWithoutExtension(), true, false);
            presetFiles.push_back (preset);
        }

        presetMenu->addSubMenu (subfolder.name, subfolder.menu, true);
    }
}

void PresetsMenuManager::showPresetMenu (juce::Component* target, juce::LookAndFeel* lookAndFeel)
{
    // A rebuilt menu has no look-and-feel, and the editor's may have changed.
    presetMenu->setLookAndFeel (lookAndFeel);

    const auto options = juce::PopupMenu::Options()
                             .withTargetComponent (target)
                             .withStandardItemHeight (menuItemHeight)
                             .withItemThatMustBeVisible (1);

    presetMenu->showMenuAsync (options, [manager = juce::WeakReference<PresetsMenuManager> (this)] (int result) {
        if (manager != nullptr)
            manager->onPresetChosen (result);
    });
}

void PresetsMenuManager::onPresetChosen (int result)
{
    // Unsigned, so 0 (dismissed) and -1 ("SAVE PRESET...") fall outside the list.
    const auto index = static_cast<std::uint32_t> (result) - 1u;

    if (index < presetFiles.size())
    {
        currentPresetIndex = static_cast<int> (index);
        loadPresetFile (presetFiles[index]);
    }
}
} // namespace qnmr
