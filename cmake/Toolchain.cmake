# Compiler launcher and sanitizer settings shared by every target.

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# GCC's "undefined" leaves out float-cast-overflow: a NaN, infinite or huge
# value converted to an integer (a host's sample rate, say) would go unseen.
if(CORVANTIDE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined,float-cast-overflow)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

# ThreadSanitizer cannot share a process with AddressSanitizer. It must see
# every atomic and lock on the paths it watches, or it takes the accesses they
# order for races: the framework's modules are instrumented with our code.
if(CORVANTIDE_TSAN)
  if(CORVANTIDE_SANITIZE)
    message(FATAL_ERROR "CORVANTIDE_TSAN and CORVANTIDE_SANITIZE cannot be combined: use two build folders")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# NaN and denormal behaviour must stay IEEE, and no multiply-add may be fused
# behind our back (GCC does so for C++ on CPUs with FMA): the engine's output
# is compared bit for bit with a stored render.
add_compile_options(-fno-fast-math -ffp-contract=off)
