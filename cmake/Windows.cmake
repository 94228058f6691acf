# The Windows x64 module, cross-built with MinGW-w64
# (cmake/toolchains/x86_64-w64-mingw32.cmake; scripts/build-windows.sh drives it).

if(NOT CMAKE_CROSSCOMPILING OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  message(FATAL_ERROR "The Windows module is cross-built for x64 only: use scripts/build-windows.sh")
endif()

# Faust's architecture headers are plain C++ and come from the build host's
# /usr/include, which the cross compiler does not search (nor may it: the
# host's C library headers live there too). Expose only the faust folder.
find_path(CORVANTIDE_FAUST_INCLUDE_DIR faust/dsp/dsp.h
  PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CORVANTIDE_FAUST_ONLY_INCLUDE "${CMAKE_BINARY_DIR}/faust-include")
file(MAKE_DIRECTORY "${CORVANTIDE_FAUST_ONLY_INCLUDE}")
file(CREATE_LINK "${CORVANTIDE_FAUST_INCLUDE_DIR}/faust" "${CORVANTIDE_FAUST_ONLY_INCLUDE}/faust" SYMBOLIC)
target_include_directories(corvantide_engine SYSTEM PUBLIC "${CORVANTIDE_FAUST_ONLY_INCLUDE}")

# JUCE's image code is built against the system libpng/libjpeg (Debian strips
# the bundled copies); these are our static MinGW builds of Debian's sources.
find_path(CORVANTIDE_PNG_INCLUDE_DIR png.h REQUIRED)
find_path(CORVANTIDE_JPEG_INCLUDE_DIR jpeglib.h REQUIRED)
find_library(CORVANTIDE_PNG_LIBRARY NAMES libpng16.a REQUIRED)
find_library(CORVANTIDE_JPEG_LIBRARY NAMES libjpeg.a REQUIRED)
find_library(CORVANTIDE_ZLIB_LIBRARY NAMES libz.a REQUIRED)

# corvantide_windows_image_libraries(<target>): a target that compiles JUCE's
# graphics module gets the image libraries' headers and archives.
function(corvantide_windows_image_libraries target)
  target_include_directories(${target} PRIVATE ${CORVANTIDE_PNG_INCLUDE_DIR} ${CORVANTIDE_JPEG_INCLUDE_DIR})
  target_link_libraries(${target} PRIVATE
    ${CORVANTIDE_PNG_LIBRARY} ${CORVANTIDE_JPEG_LIBRARY} ${CORVANTIDE_ZLIB_LIBRARY})
endfunction()

corvantide_windows_image_libraries(Corvantide)
# No audio-file codecs are used, and Debian has no MinGW builds of them.
# JUCE's DirectWrite text path does not build with MinGW (it falls back to GDI
# with a warning); say so explicitly.
target_compile_definitions(Corvantide PUBLIC
  JUCE_USE_FLAC=0 JUCE_USE_OGGVORBIS=0 JUCE_USE_DIRECTWRITE=0)

# A shipped Windows module carries no debug symbols (they would triple its size).
target_link_options(Corvantide_VST3 PRIVATE $<$<CONFIG:Release>:-s>)

# The Windows host check: loads the built module through JUCE's VST3 hosting
# and is run under Wine by scripts/build-windows.sh.
juce_add_console_app(corvantide_windows_host_check
  PRODUCT_NAME "WindowsHostCheck"
  COMPANY_NAME "Quenmar_Works")
target_sources(corvantide_windows_host_check PRIVATE tests/windows/WindowsHostCheck.cpp)
corvantide_strict_sources(tests/windows/WindowsHostCheck.cpp)
target_compile_definitions(corvantide_windows_host_check PRIVATE
  JUCE_PLUGINHOST_VST3=1
  JUCE_WEB_BROWSER=0
  JUCE_USE_CURL=0
  JUCE_USE_FLAC=0
  JUCE_USE_OGGVORBIS=0
  JUCE_USE_DIRECTWRITE=0
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_REPORT_APP_USAGE=0
  JUCE_MODAL_LOOPS_PERMITTED=1)
target_link_libraries(corvantide_windows_host_check PRIVATE
  juce::juce_audio_processors
  juce::juce_recommended_config_flags)
corvantide_windows_image_libraries(corvantide_windows_host_check)
