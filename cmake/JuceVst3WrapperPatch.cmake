# The VST3 client compiled into the module is a build-tree copy of Debian's
# juce_audio_plugin_client VST3 wrapper with cmake/juce-vst3-state-trailer.patch
# and then cmake/juce-vst3-values-blocks-streams.patch applied (each says why). Only the wrapper and the file that includes it
# are copied; everything else, the wrapper's own "../utility/" headers included,
# comes from Debian (a second copy of those would define their functions twice).
# Linux and Windows builds both configure through here.

find_program(CORVANTIDE_PATCH_PROGRAM patch REQUIRED)

set(CORVANTIDE_JUCE_WRAPPER_PATCHES
  "${CMAKE_CURRENT_LIST_DIR}/juce-vst3-state-trailer.patch"
  "${CMAKE_CURRENT_LIST_DIR}/juce-vst3-values-blocks-streams.patch")
set(_corvantide_client_in "${JUCE_MODULES_DIR}/juce_audio_plugin_client")
set(_corvantide_client_out "${CMAKE_BINARY_DIR}/juce-patched/juce_audio_plugin_client")
set(_corvantide_stage "${CMAKE_BINARY_DIR}/juce-patched/stage")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CORVANTIDE_JUCE_WRAPPER_PATCHES} "${_corvantide_client_in}/VST3/juce_VST3_Wrapper.cpp")

file(REMOVE_RECURSE "${_corvantide_stage}")
file(COPY "${_corvantide_client_in}/juce_audio_plugin_client_VST3.cpp" DESTINATION "${_corvantide_stage}")
# Debian's copy has CRLF line ends; the patch is kept as plain text.
file(READ "${_corvantide_client_in}/VST3/juce_VST3_Wrapper.cpp" _corvantide_wrapper)
string(REPLACE "\r\n" "\n" _corvantide_wrapper "${_corvantide_wrapper}")
file(WRITE "${_corvantide_stage}/VST3/juce_VST3_Wrapper.cpp" "${_corvantide_wrapper}")
unset(_corvantide_wrapper)

foreach(_corvantide_patch IN LISTS CORVANTIDE_JUCE_WRAPPER_PATCHES)
  execute_process(
    COMMAND "${CORVANTIDE_PATCH_PROGRAM}" -p1 --forward --no-backup-if-mismatch --input "${_corvantide_patch}"
    WORKING_DIRECTORY "${_corvantide_stage}"
    RESULT_VARIABLE _corvantide_patch_result
    OUTPUT_VARIABLE _corvantide_patch_output
    ERROR_VARIABLE _corvantide_patch_output)
  if(NOT _corvantide_patch_result EQUAL 0)
    message(FATAL_ERROR "Patching JUCE's VST3 wrapper with ${_corvantide_patch} failed (has juce-modules-source changed?):\n${_corvantide_patch_output}")
  endif()
endforeach()

# Copied only when changed, so that configuring again does not rebuild the module.
file(GLOB_RECURSE _corvantide_staged RELATIVE "${_corvantide_stage}" "${_corvantide_stage}/*")
foreach(_corvantide_file IN LISTS _corvantide_staged)
  get_filename_component(_corvantide_dir "${_corvantide_client_out}/${_corvantide_file}" DIRECTORY)
  file(MAKE_DIRECTORY "${_corvantide_dir}")
  file(COPY_FILE "${_corvantide_stage}/${_corvantide_file}" "${_corvantide_client_out}/${_corvantide_file}" ONLY_IF_DIFFERENT)
endforeach()

get_target_property(_corvantide_sources juce_audio_plugin_client_VST3 INTERFACE_SOURCES)
list(TRANSFORM _corvantide_sources REPLACE "^${_corvantide_client_in}/juce_audio_plugin_client_VST3.cpp$"
  "${_corvantide_client_out}/juce_audio_plugin_client_VST3.cpp")
if(NOT "${_corvantide_client_out}/juce_audio_plugin_client_VST3.cpp" IN_LIST _corvantide_sources)
  message(FATAL_ERROR "JUCE's VST3 wrapper target does not list ${_corvantide_client_in}/juce_audio_plugin_client_VST3.cpp")
endif()
set_property(TARGET juce_audio_plugin_client_VST3 PROPERTY INTERFACE_SOURCES ${_corvantide_sources})
# The copy's "../utility/x.h", found nowhere beside it, resolves against this
# folder to Debian's own utility/x.h.
target_include_directories(juce_audio_plugin_client_VST3 INTERFACE "${_corvantide_client_in}/utility")
