#pragma once

#include <memory>
#include <vector>

#include <juce_audio_processors/juce_audio_processors.h>

#include "editor/MainView.h"
#include "editor/PreferencesFile.h"

class AudioPluginAudioProcessor;

namespace plb
{
/** The editor's non-visual half: binds every control of the main view to its
    parameter, wires the footer's buttons, keeps the preferences file and
    polls the few states that follow parameters. Theme choices go out as
    action messages "theme <key>" to whoever listens (the editor window). */
class EditorController : public juce::Timer, public juce::ActionBroadcaster
{
public:
    EditorController (AudioPluginAudioProcessor& processor, MainView& mainView);
    ~EditorController() override;

    void timerCallback() override;

    static juce::String formatShiftText (double value);

    static std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>
    attachSlider (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, juce::Slider& slider);

    void showOptionsMenu();
    void selectTheme (const juce::String& key);
    void showPreferencesFile();
    static std::unique_ptr<PreferencesFile> createPreferencesFile();

    void randomiseParameters();
    void initAllControls();
    void nextPreset();
    void previousPreset();
    void showPresetMenu();

    // The theme keys in menu order, with the names the menu shows.
    static const std::vector<std::pair<juce::String, juce::String>>& themeNames();

private:
    void attachBand (BandView& band, const juce::String& prefix);
    void keepMenuWindow (int modalComponentsBefore);

    AudioPluginAudioProcessor& processor;
    MainView& mainView;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>> sliderAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ComboBoxAttachment>> comboBoxAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment>> buttonAttachments;

public:
    // Rebuilt at every click, so its ticks always show the stored theme.
    std::unique_ptr<juce::PopupMenu> optionsMenu;
    // The editor window reads "theme" and "editor_width" and writes the width.
    std::unique_ptr<PreferencesFile> preferences;

private:
    std::vector<juce::AudioProcessorParameter*> randomParameters;
    juce::Random random;
    // The windows of the menus this editor opened; the framework deletes them.
    std::vector<juce::Component::SafePointer<juce::Component>> menuWindows;

    // Menu actions run from the message queue, after the menu has closed and
    // possibly after the host has closed this editor.
    JUCE_DECLARE_WEAK_REFERENCEABLE (EditorController)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EditorController)
};
} // namespace plb
