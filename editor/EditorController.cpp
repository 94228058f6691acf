#include "editor/EditorController.h"

#include "processor/PluginProcessor.h"

#include <algorithm>
#include <functional>
#include <cmath>

namespace plb
{
namespace
{
    // Changed together by the randomise button; levels, dry/wet and the mutes
    // are left alone so a click never blasts or silences the output.
    const char* const randomisedIds[] = { "driftrate", "driftdepth", "cutoff", "res", "lowtime", "hightime",
                                          "lowtimesync", "hightimesync", "lowsyncedtime", "highsyncedtime",
                                          "lowfeed", "highfeed", "lowdamp", "highdamp", "lowpitch", "highpitch",
                                          "lowpitchwindow", "highpitchwindow", "lowpan", "highpan", "diffusion",
                                          "pitchstage", "delaymode" };

    // Every change made here reaches the host as a complete gesture.
    void setNotifyingHost (juce::AudioProcessorParameter& parameter, float normalisedValue)
    {
        parameter.beginChangeGesture();
        parameter.setValueNotifyingHost (normalisedValue);
        parameter.endChangeGesture();
    }
} // namespace

const std::vector<std::pair<juce::String, juce::String>>& EditorController::themeNames()
{
    static const std::vector<std::pair<juce::String, juce::String>> names {
        { "blue", "LAPIS LAZULI" }, { "teal", "LIGHT SEA GREEN" }, { "green", "LIGHT GREEN" }, { "yellow", "SUNGLOW" }, { "red", "BURNT SIENNA" }, { "pink", "MAGENTA" }, { "purple", "SLATE BLUE" }
    };
    return names;
}

EditorController::EditorController (AudioPluginAudioProcessor& processorToUse, MainView& view)
    : processor (processorToUse)
    , mainView (view)
{
    auto& state = *processor.valueTreeState;

    juce::StringArray syncedTimes;
    for (const auto& entry : processor.bridge->entries)
    {
        if (entry.id == "lowsyncedtime")
        {
            syncedTimes = entry.info->choices;
            break;
        }
    }

    for (auto* band : mainView.bandViews)
    {
        band->timeKnob.setTextValueSuffix (" ms");
        band->feedKnob.setTextValueSuffix (" %");
        band->dampKnob.setTextValueSuffix (" Hz");
        band->ampKnob.setTextValueSuffix (" dB");
        band->syncedTimeBox.addItemList (syncedTimes, 1);
    }

    auto& splitter = mainView.bandSplitterView;
    sliderAttachments.push_back (attachSlider (state, "cutoff", splitter.cutoffKnob));
    splitter.cutoffKnob.setTextValueSuffix (" Hz");
    sliderAttachments.push_back (attachSlider (state, "res", splitter.resonanceKnob));
    splitter.resonanceKnob.setTextValueSuffix (" %");

    attachBand (*mainView.bandViews[0], "low");
    attachBand (*mainView.bandViews[1], "high");

    // The attachments install the parameter's own value text; SHIFT shows signed semitones instead.
    for (auto* band : mainView.bandViews)
        band->shiftKnob.textFromValueFunction = formatShiftText;

    auto& global = mainView.outputView;
    const auto attachWithSuffix = [this, &state] (const char* id, juce::Slider& slider, const char* suffix) {
        sliderAttachments.push_back (attachSlider (state, id, slider));
        slider.setTextValueSuffix (suffix);
    };
    attachWithSuffix ("diffusion", global.diffusionKnob, " %");
    attachWithSuffix ("amp", global.ampKnob, " dB");
    attachWithSuffix ("drywet", global.dryWetKnob, " %");

    // The attachment maps item positions to choices, so the items come first.
    global.delayTypeBox.addItemList ({ "REPITCH", "XFADE" }, 1);
    comboBoxAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (state, "delaymode", global.delayTypeBox));
    global.pitchRoutingBox.addItemList ({ "BYPASS", "PRE", "POST" }, 1);
    comboBoxAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (state, "pitchstage", global.pitchRoutingBox));

    attachWithSuffix ("driftdepth", global.driftKnob, " %");
    attachWithSuffix ("driftrate", global.rateKnob, " Hz");

    auto& footer = mainView.footerView;
    footer.previousButton.onClick = [this] { previousPreset(); };
    footer.nextButton.onClick = [this] { nextPreset(); };
    footer.presetNameButton.onClick = [this] { showPresetMenu(); };
    footer.menuButton.onClick = [this] { showOptionsMenu(); };

    preferences = createPreferencesFile();

    for (const auto* id : randomisedIds)
        if (auto* parameter = state.getParameter (id))
            randomParameters.push_back (parameter);
    footer.randomButton.onClick = [this] { randomiseParameters(); };

    startTimer (100);
}

EditorController::~EditorController()
{
    // A menu of this editor still open would draw with the editor's
    // look-and-feels after they are gone. Only this editor's menus close: a
    // menu open in another instance's editor stays.
    for (auto& window : menuWindows)
    {
        if (window == nullptr)
            continue;

        window->setLookAndFeel (nullptr);
        // Escape is the menu's own way out without a choice: it deletes an
        // open sub-menu at once, hides the window and ends its modal state
        // with 0, so no item's action is posted.
        window->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    }

    // The preset manager outlives every editor, so its menu must not keep
    // pointing at one of this editor's look-and-feels.
    if (auto& presetMenu = processor.presetManager->presetMenu)
        presetMenu->setLookAndFeel (nullptr);

    preferences->save();
}

void EditorController::attachBand (BandView& band, const juce::String& prefix)
{
    auto& state = *processor.valueTreeState;

    const std::pair<const char*, juce::Slider*> sliders[] = { { "time", &band.timeKnob }, { "feed", &band.feedKnob }, { "damp", &band.dampKnob }, { "pitch", &band.shiftKnob }, { "pitchwindow", &band.windowSlider }, { "amp", &band.ampKnob }, { "pan", &band.panKnob } };
    for (auto [name, slider] : sliders)
        sliderAttachments.push_back (attachSlider (state, prefix + name, *slider));

    buttonAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, prefix + "mute", band.muteButton));
    buttonAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, prefix + "timesync", band.timeSyncButton));
    comboBoxAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (state, prefix + "syncedtime", band.syncedTimeBox));
}

std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>
EditorController::attachSlider (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, juce::Slider& slider)
{
    return std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, parameterId, slider);
}

juce::String EditorController::formatShiftText (double value)
{
    // Semitones, halves to the even neighbour (the default rounding mode).
    const auto semitones = static_cast<long long> (std::nearbyint (value));
    return semitones > 0 ? "+" + juce::String (semitones) : juce::String (semitones);
}

void EditorController::timerCallback()
{
    for (auto* band : mainView.bandViews)
    {
        const auto synced = band->timeSyncButton.getToggleState();
        band->timeKnob.setEnabled (! synced);
        band->syncedTimeBox.setEnabled (synced);
    }

    mainView.footerView.presetNameButton.setButtonText (processor.presetManager->currentPresetName);
}

//==============================================================================
std::unique_ptr<PreferencesFile> EditorController::createPreferencesFile()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Corvantide";
    options.filenameSuffix = ".prefs";
    options.folderName = "Quenmar_Works";
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    // The file brings its own inter-process lock.
    options.processLock = nullptr;
    // What the editor window reads is the last a save would leave out.
    return std::make_unique<PreferencesFile> (options, juce::StringArray { "theme", "editor_width" });
}

void EditorController::showOptionsMenu()
{
    const auto storedTheme = preferences->getValue ("theme", "blue");

    // Item actions run from the message queue after the menu has closed,
    // possibly after this editor has.
    const auto whileOpen = [self = juce::WeakReference<EditorController> (this)] (std::function<void (EditorController&)> action) {
        return [self, action = std::move (action)] {
            if (auto* controller = self.get())
                action (*controller);
        };
    };

    juce::PopupMenu themeMenu;
    for (const auto& [key, name] : themeNames())
        themeMenu.addItem (name, true, storedTheme == key, whileOpen ([key = key] (EditorController& c) { c.selectTheme (key); }));

    optionsMenu = std::make_unique<juce::PopupMenu>();
    optionsMenu->setLookAndFeel (&mainView.getLookAndFeel());
    optionsMenu->addItem ("INIT ALL CONTROLS", true, false, whileOpen ([] (EditorController& c) { c.initAllControls(); }));
    optionsMenu->addSubMenu ("THEME", themeMenu, true);
    optionsMenu->addItem ("SHOW PREFERENCES FILE", true, false, whileOpen ([] (EditorController& c) { c.showPreferencesFile(); }));
    optionsMenu->addItem (-10, juce::String ("Quenmar Works Corvantide v") + JucePlugin_VersionString, false, false);

    const auto modalComponentsBefore = juce::ModalComponentManager::getInstance()->getNumModalComponents();
    optionsMenu->showMenuAsync (juce::PopupMenu::Options()
                                    .withMaximumNumColumns (1)
                                    .withTargetComponent (&mainView.footerView.menuButton));
    keepMenuWindow (modalComponentsBefore);
}

// A menu that opened is the modal component on top; a menu without items
// opens nothing, and then the one on top may be another editor's.
void EditorController::keepMenuWindow (int modalComponentsBefore)
{
    if (juce::ModalComponentManager::getInstance()->getNumModalComponents() <= modalComponentsBefore)
        return;

    menuWindows.erase (std::remove (menuWindows.begin(), menuWindows.end(), nullptr), menuWindows.end());
    menuWindows.emplace_back (juce::Component::getCurrentlyModalComponent());
}

void EditorController::selectTheme (const juce::String& key)
{
    sendActionMessage ("theme " + key);
    preferences->setValue ("theme", key);
    preferences->save();
}

void EditorController::showPreferencesFile()
{
    preferences->getFile().revealToUser();
}

//==============================================================================
void EditorController::randomiseParameters()
{
    for (auto* parameter : randomParameters)
        setNotifyingHost (*parameter, random.nextFloat());
}

void EditorController::initAllControls()
{
    for (auto* parameter : processor.getParameters())
        setNotifyingHost (*parameter, parameter->getDefaultValue());
}

// The list may have been rebuilt since the index was set (files deleted
// behind our back), so the index is brought back into the list before use.
void EditorController::nextPreset()
{
    auto& manager = *processor.presetManager;
    const auto count = static_cast<int> (manager.presetFiles.size());
    if (count == 0)
        return;

    auto index = manager.currentPresetIndex + 1;
    if (index >= count || index < 0)
        index = 0;

    manager.currentPresetIndex = index;
    manager.loadPresetFile (manager.presetFiles[static_cast<size_t> (index)]);
}

void EditorController::previousPreset()
{
    auto& manager = *processor.presetManager;
    const auto count = static_cast<int> (manager.presetFiles.size());
    if (count == 0)
        return;

    auto index = manager.currentPresetIndex - 1;
    if (index < 0 || index >= count)
        index = count - 1;

    manager.currentPresetIndex = index;
    manager.loadPresetFile (manager.presetFiles[static_cast<size_t> (index)]);
}

void EditorController::showPresetMenu()
{
    const auto modalComponentsBefore = juce::ModalComponentManager::getInstance()->getNumModalComponents();
    processor.presetManager->showPresetMenu (&mainView.footerView.presetNameButton, &mainView.getLookAndFeel());
    keepMenuWindow (modalComponentsBefore);
}
} // namespace plb
