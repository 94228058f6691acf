#pragma once

#include <memory>
#include <vector>

#include <juce_audio_processors/juce_audio_processors.h>

namespace qnmr
{
// Keeps the user's preset files: the folder, the sorted list, the menu that
// offers them and the name and list position of the current preset. Lives as
// long as the processor; editors come and go, so it holds no component.
class PresetsMenuManager
{
public:
    PresetsMenuManager (juce::AudioProcessor& processor,
                        juce::AudioProcessorValueTreeState& valueTreeState,
                        const juce::String& vendorName,
                        const juce::String& productName,
                        juce::String presetFileExtension);
    virtual ~PresetsMenuManager();

    virtual void savePresetAs();
    void writePresetFile (const juce::FileChooser& chooser);
    // The save dialog's completion once a file has been chosen (or none).
    void writePresetFile (const juce::File& chosen);
    virtual void loadPresetFile (const juce::File& file);

    void rebuildPresetMenu();
    void showPresetMenu (juce::Component* target, juce::LookAndFeel* lookAndFeel);
    void onPresetChosen (int result);

    juce::File presetFolder;
    juce::String presetFileExtension;
    std::unique_ptr<juce::PopupMenu> presetMenu;
    std::unique_ptr<juce::FileChooser> fileChooser;
    std::vector<juce::File> presetFiles; // element i is the file of menu item id i + 1
    juce::AudioProcessor& processor;
    juce::AudioProcessorValueTreeState& valueTreeState;
    int currentPresetIndex = -1;
    juce::String currentPresetName { "INIT" };
    int menuItemHeight = 16;

private:
    // The menu's completion and its actions arrive through the message queue,
    // possibly after the host has deleted the processor and this manager.
    JUCE_DECLARE_WEAK_REFERENCEABLE (PresetsMenuManager)
    JUCE_DECLARE_NON_COPYABLE (PresetsMenuManager)
};
} // namespace qnmr
