# With CORVANTIDE_SANITIZE every source is built with ASan and UBSan, which
# makes the framework's largest sources several times slower to compile. The
# hardening tests drive state, presets and audio through our code, the
# framework's core, data-structure, audio and processor modules and the VST3
# client; those stay instrumented. The framework's GUI modules in the plug-in,
# and the test host's own copy of the framework, are built without
# instrumentation (the host is still linked with the runtimes the module needs).
# CORVANTIDE_TSAN takes the same scope: the threads it watches run no GUI code.

file(GLOB _corvantide_module_sources "${JUCE_MODULES_DIR}/*/*.cpp")
set(_corvantide_gui_module_sources
  "${JUCE_MODULES_DIR}/juce_graphics/juce_graphics.cpp"
  "${JUCE_MODULES_DIR}/juce_gui_basics/juce_gui_basics.cpp"
  "${JUCE_MODULES_DIR}/juce_gui_extra/juce_gui_extra.cpp")

set_source_files_properties(${_corvantide_gui_module_sources} TARGET_DIRECTORY Corvantide
  PROPERTIES COMPILE_OPTIONS -fno-sanitize=all)
if(TARGET corvantide_host_tests)
  set_source_files_properties(${_corvantide_module_sources} TARGET_DIRECTORY corvantide_host_tests
    PROPERTIES COMPILE_OPTIONS -fno-sanitize=all)
endif()
