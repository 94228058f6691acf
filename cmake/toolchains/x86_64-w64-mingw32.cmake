# Cross-compiling for 64-bit Windows with Debian's MinGW-w64.
#
# The -posix compilers are required: JUCE uses std::thread and std::mutex,
# which the win32-thread variants do not provide. Everything the module needs
# from the toolchain's runtime (libgcc, libstdc++, winpthread) is linked
# statically, so the module depends on no DLL beyond Windows' own.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVANTIDE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${CORVANTIDE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANTIDE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${CORVANTIDE_MINGW_TRIPLET}-windres)
set(CMAKE_AR           ${CORVANTIDE_MINGW_TRIPLET}-gcc-ar-posix)
set(CMAKE_RANLIB       ${CORVANTIDE_MINGW_TRIPLET}-gcc-ranlib-posix)

# Libraries cross-built by scripts/build-windows-deps.sh live in this prefix.
set(CORVANTIDE_WINDOWS_DEPS_PREFIX "" CACHE PATH "Prefix of the static Windows builds of libpng and libjpeg")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANTIDE_WINDOWS_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANTIDE_MINGW_TRIPLET})
if(CORVANTIDE_WINDOWS_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${CORVANTIDE_WINDOWS_DEPS_PREFIX})
endif()
# Build tools (JUCE's juceaide among them) are Linux programs.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Wine runs the Windows programs that try_run or a test step may start.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# JUCE's CMake package is a build-host package (its juceaide runs here); Debian
# installs it under the host's multiarch folder, which a cross build does not search.
if(NOT JUCE_DIR)
  file(GLOB CORVANTIDE_HOST_JUCE_DIRS /usr/lib/cmake/JUCE-* /usr/lib/*-linux-gnu/cmake/JUCE-*)
  if(CORVANTIDE_HOST_JUCE_DIRS)
    list(GET CORVANTIDE_HOST_JUCE_DIRS 0 CORVANTIDE_HOST_JUCE_DIR)
    set(JUCE_DIR "${CORVANTIDE_HOST_JUCE_DIR}" CACHE PATH "JUCE's CMake package (build host)")
  endif()
endif()
