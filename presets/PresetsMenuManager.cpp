#include "presets/PresetsMenuManager.h"

#include "presets/StateTree.h"

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

    // Folders first, then natural order of the full paths ignoring case
    // ("preset 2" before "preset 10", "a" before "B") on every platform,
    // not only where the file system itself ignores case.
    struct PresetFileOrder
    {
        int compareElements (const juce::File& first, const juce::File& second) const
        {
            const auto firstIsFolder = first.isDirectory();
            if (firstIsFolder != second.isDirectory())
                return firstIsFolder ? -1 : 1;

            return first.getFullPathName().compareNatural (second.getFullPathName(), false);
        }
    };
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
    if (xml != nullptr && xml->writeTo (chosen, juce::XmlElement::TextFormat()))
        currentPresetName = chosen.getFileNameWithoutExtension();

    processor.suspendProcessing (false);

    if (xml != nullptr)
        rebuildPresetMenu();
}

void PresetsMenuManager::loadPresetFile (const juce::File& file)
{
    processor.suspendProcessing (true);

    if (auto root = parsePresetFile (file))
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

    processor.suspendProcessing (false);
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

    juce::Array<juce::File> topLevel;
    std::vector<PresetSubfolder> subfolders;
    PresetFileOrder order;

    for (const auto& entry : juce::RangedDirectoryIterator (presetFolder, false, "*", juce::File::findFilesAndDirectories))
    {
        const auto file = entry.getFile();

        if (! file.isDirectory())
        {
            if (file.hasFileExtension (presetFileExtension))
                topLevel.add (file);
            continue;
        }

        // Only one level of sub-folders: deeper folders are never listed.
        PresetSubfolder subfolder;
        for (const auto& inner : juce::RangedDirectoryIterator (file, false, "*", juce::File::findFiles))
            if (inner.getFile().hasFileExtension (presetFileExtension))
                subfolder.files.add (inner.getFile());

        subfolder.files.sort (order);
        subfolder.name = file.getFileName();
        subfolders.push_back (std::move (subfolder));
        topLevel.add (file);
    }

    topLevel.sort (order);

    int itemId = 1;
    for (const auto& file : topLevel)
    {
        if (! file.isDirectory())
        {
            presetMenu->addItem (itemId++, file.getFileNameWithoutExtension(), true, false);
            presetFiles.push_back (file);
            continue;
        }

        const auto name = file.getFileName();
        for (auto& subfolder : subfolders)
        {
            if (subfolder.name != name)
                continue;

            for (const auto& preset : subfolder.files)
            {
                subfolder.menu.addItem (itemId++, preset.getFileNameWithoutExtension(), true, false);
                presetFiles.push_back (preset);
            }

            presetMenu->addSubMenu (name, subfolder.menu, true);
            break;
        }
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
