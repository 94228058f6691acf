# JUCE's recommended warnings, as errors, on the project's own sources only.
# The JUCE module sources compiled into the same targets keep their defaults,
# so a warning inside the framework never breaks our build.

get_target_property(CORVANTIDE_WARNING_FLAGS juce_recommended_warning_flags INTERFACE_COMPILE_OPTIONS)
if(CORVANTIDE_WERROR)
  list(APPEND CORVANTIDE_WARNING_FLAGS -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false dangling pointers inside JUCE's own headers in Release.
  list(APPEND CORVANTIDE_WARNING_FLAGS -Wno-dangling-pointer)
endif()

# corvantide_strict_sources(<file>...): marks the files as ours.
function(corvantide_strict_sources)
  set_property(SOURCE ${ARGN}
    APPEND PROPERTY COMPILE_OPTIONS ${CORVANTIDE_WARNING_FLAGS})
endfunction()
