# The plug-in: JUCE's shared-code target "Corvantide" holds every subsystem
# (tests and benchmarks link it), and "Corvantide_VST3" is the module.

include(${CMAKE_CURRENT_LIST_DIR}/JuceVst3WrapperPatch.cmake)

juce_add_plugin(Corvantide
  PRODUCT_NAME "Corvantide"
  COMPANY_NAME "Quenmar_Works"
  BUNDLE_ID "com.quenmarworks.corvantide"
  PLUGIN_MANUFACTURER_CODE qnmW
  PLUGIN_CODE cCrv
  VERSION 1.0.0
  FORMATS VST3
  IS_SYNTH FALSE
  NEEDS_MIDI_INPUT TRUE
  NEEDS_MIDI_OUTPUT FALSE
  IS_MIDI_EFFECT FALSE
  EDITOR_WANTS_KEYBOARD_FOCUS FALSE
  VST3_CATEGORIES Fx
  COPY_PLUGIN_AFTER_BUILD FALSE)

# Each subsystem lists its own sources; every file listed is compiled with the
# strict warnings.
set(CORVANTIDE_PROCESSOR_SOURCES
  processor/MetaUI.cpp
  processor/ParamBridge.cpp
  processor/PluginProcessor.cpp
  processor/TailEstimate.cpp)

set(CORVANTIDE_PRESETS_SOURCES
  presets/PresetsMenuManager.cpp
  presets/FileReplacer.cpp
  presets/PresetFolderListing.cpp
  presets/PresetFileReader.cpp
  presets/StateTree.cpp)

set(CORVANTIDE_GUI_SOURCES
  gui/QWLookAndFeel.cpp
  gui/KnobControl.cpp
  gui/TextSliderControl.cpp
  gui/KnobNameLabel.cpp
  gui/IconButtonControl.cpp
  gui/PanelHeaderComponent.cpp
  gui/GenericPanelView.cpp)

set(CORVANTIDE_EDITOR_SOURCES
  editor/ParameterLinkDecoration.cpp
  editor/FooterView.cpp
  editor/BandView.cpp
  editor/BandSplitterView.cpp
  editor/OutputView.cpp
  editor/MainView.cpp
  editor/PreferencesFile.cpp
  editor/EditorController.cpp
  editor/PluginEditor.cpp)

set(CORVANTIDE_OWN_SOURCES
  ${CORVANTIDE_PROCESSOR_SOURCES}
  ${CORVANTIDE_PRESETS_SOURCES}
  ${CORVANTIDE_GUI_SOURCES}
  ${CORVANTIDE_EDITOR_SOURCES})
target_sources(Corvantide PRIVATE ${CORVANTIDE_OWN_SOURCES})
corvantide_strict_sources(${CORVANTIDE_OWN_SOURCES})

target_include_directories(Corvantide PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

target_compile_definitions(Corvantide PUBLIC
  JUCE_WEB_BROWSER=0
  JUCE_USE_CURL=0
  JUCE_VST3_CAN_REPLACE_VST2=0
  # The MIDI input is never read: no parameters that stand in for MIDI controllers.
  JUCE_VST3_EMULATE_MIDI_CC_WITH_PARAMETERS=0
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_REPORT_APP_USAGE=0
  JUCE_MODAL_LOOPS_PERMITTED=0)

target_link_libraries(Corvantide
  PUBLIC
    corvantide_engine
  PRIVATE
    juce::juce_audio_processors
  PUBLIC
    juce::juce_recommended_config_flags)

# Embedded assets: the SVG graphics from assets/ and the Roboto Medium font,
# taken at build time from Debian's fonts-roboto-unhinted (never committed).
# Each becomes BinaryData::<name> and BinaryData::<name>Size (BinaryData.h).
set(CORVANTIDE_FONT_FILE
  /usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Medium.ttf
  CACHE FILEPATH "Roboto Medium TrueType file embedded in the plug-in")
if(NOT EXISTS "${CORVANTIDE_FONT_FILE}")
  message(FATAL_ERROR "Roboto Medium not found at ${CORVANTIDE_FONT_FILE}: install fonts-roboto-unhinted (scripts/setup.sh)")
endif()
set(CORVANTIDE_ASSET_FILES
  ${PROJECT_SOURCE_DIR}/assets/menu_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/left_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/right_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/random_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/sync_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/mute_off_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/mute_icon.svg
  ${PROJECT_SOURCE_DIR}/assets/QW_Icon.svg
  ${PROJECT_SOURCE_DIR}/assets/corvantide_logo.svg
  ${CORVANTIDE_FONT_FILE})
juce_add_binary_data(CorvantideAssets
  HEADER_NAME BinaryData.h
  NAMESPACE BinaryData
  SOURCES ${CORVANTIDE_ASSET_FILES})
# The framework's generating command depends only on the list of file names,
# so an edited asset would stay stale in an incremental build. Appending the
# files themselves to that command's dependencies makes it run again whenever
# one of them changes (CMake stops with an error should the framework ever
# name its first output differently).
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_CorvantideAssets/JuceLibraryCode/BinaryData1.cpp
  APPEND
  DEPENDS ${CORVANTIDE_ASSET_FILES})
target_link_libraries(Corvantide PUBLIC CorvantideAssets)
