#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include <juce_audio_processors/juce_audio_processors.h>

#include "editor/EditorController.h"
#include "editor/MainView.h"

class AudioPluginAudioProcessor;

/** The plug-in's window: the 800 x 520 main view scaled to the window's
    width, in one of seven colour themes chosen through "theme <key>" action
    messages from the controller. */
class AudioPluginAudioProcessorEditor : public juce::AudioProcessorEditor, public juce::ActionListener
{
public:
    static constexpr int designWidth = 800;
    static constexpr int designHeight = 520;
    static constexpr int minimumWidth = 200;
    // Wider than any display; beyond it the window's backing image could not be allocated.
    // Both a drag and a stored width stop here, so the width a user leaves is the one that reopens.
    static constexpr int maximumWidth = 6400;

    explicit AudioPluginAudioProcessorEditor (AudioPluginAudioProcessor& pluginProcessor);
    ~AudioPluginAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    void actionListenerCallback (const juce::String& message) override;
    void handleThemeMessage (const juce::String& message);

    // The window's height for a width: the design ratio, in single precision.
    static int heightForWidth (int width);

private:
    std::unordered_map<std::string, std::unique_ptr<juce::LookAndFeel>> themes;

public:
    plb::MainView mainView;
    plb::EditorController controller;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioPluginAudioProcessorEditor)
};
