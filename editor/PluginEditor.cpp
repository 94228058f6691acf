#include "editor/PluginEditor.h"

#include "BinaryData.h"
#include "gui/QWLookAndFeel.h"
#include "processor/PluginProcessor.h"

AudioPluginAudioProcessorEditor::AudioPluginAudioProcessorEditor (AudioPluginAudioProcessor& pluginProcessor)
    : AudioProcessorEditor (pluginProcessor)
    , mainView()
    , controller (pluginProcessor, mainView)
{
    themes["blue"] = std::make_unique<qnmr::gui::QWLookAndFeel>();
    themes["teal"] = std::make_unique<qnmr::gui::QWLookAndFeelTeal>();
    themes["green"] = std::make_unique<qnmr::gui::QWLookAndFeelGreen>();
    themes["yellow"] = std::make_unique<qnmr::gui::QWLookAndFeelYellow>();
    themes["red"] = std::make_unique<qnmr::gui::QWLookAndFeelRed>();
    themes["pink"] = std::make_unique<qnmr::gui::QWLookAndFeelPink>();
    themes["purple"] = std::make_unique<qnmr::gui::QWLookAndFeelPurple>();

    const auto typeface = juce::Typeface::createSystemTypefaceFor (BinaryData::RobotoMedium_ttf, (size_t) BinaryData::RobotoMedium_ttfSize);
    for (auto& [key, theme] : themes)
        theme->setDefaultSansSerifTypeface (typeface);

    // The framework finds every font's typeface through its global default
    // look-and-feel, whatever the drawing component's own: pop-up menus and
    // value bubbles would otherwise come out in a system font. The typeface
    // is reference-counted, so the default keeps it alive after this editor
    // goes, and editors opening and closing in any order all hand it the
    // same font.
    juce::LookAndFeel::getDefaultLookAndFeel().setDefaultSansSerifTypeface (typeface);

    handleThemeMessage ("theme " + controller.preferences->getValue ("theme", "blue"));

    addAndMakeVisible (mainView);
    controller.addActionListener (this);

    setResizable (true, true);
    if (auto* limits = getConstrainer())
    {
        limits->setFixedAspectRatio ((double) designWidth / (double) designHeight);
        limits->setMinimumWidth (minimumWidth);
        // The fixed ratio derives the height from the limited width, so the
        // maximum height can stay unbounded.
        limits->setMaximumWidth (maximumWidth);
    }

    // A file written by an older version or by hand may hold a width outside
    // these limits: 0 would open an unusable window, a huge one a window that
    // cannot be drawn.
    const auto width = juce::jlimit (minimumWidth, maximumWidth, controller.preferences->getIntValue ("editor_width", designWidth));
    setSize (width, heightForWidth (width));
}

AudioPluginAudioProcessorEditor::~AudioPluginAudioProcessorEditor()
{
    // Other editors may have stored their widths since this one did; the
    // editor closed last decides the width the next one opens with.
    controller.preferences->setValue ("editor_width", getWidth());
    setLookAndFeel (nullptr);
}

int AudioPluginAudioProcessorEditor::heightForWidth (int width)
{
    return static_cast<int> (static_cast<float> (width) * 0.65f);
}

void AudioPluginAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black);
}

void AudioPluginAudioProcessorEditor::resized()
{
    // The panels keep their design-grid layout; a resize only rescales them.
    mainView.setBounds (0, 0, designWidth, designHeight);
    mainView.setTransform (juce::AffineTransform::scale (static_cast<float> (getWidth()) / static_cast<float> (designWidth)));
    controller.preferences->setValue ("editor_width", getWidth());
}

void AudioPluginAudioProcessorEditor::actionListenerCallback (const juce::String& message)
{
    handleThemeMessage (message);
}

void AudioPluginAudioProcessorEditor::handleThemeMessage (const juce::String& message)
{
    if (! message.startsWith ("theme "))
        return;

    // Adjacent blanks give an empty token, so "theme  teal" names no theme.
    juce::StringArray tokens;
    tokens.addTokens (message, " \n\r\t", "\"");
    const auto key = tokens[1];
    if (key.isEmpty())
        return;

    const auto theme = themes.find (key.toStdString());
    if (theme == themes.end())
        return;

    setLookAndFeel (theme->second.get());
    mainView.setLookAndFeel (theme->second.get());
}
