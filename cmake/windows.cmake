# Settings shared by every Windows target of the cross build.

# Plug-ins load into the game with no runtime DLLs of ours: the C and C++
# runtimes and winpthreads are linked in.
add_link_options(-static -static-libgcc -static-libstdc++)

# Deliverables land in dist/ at the repo root; everything else that runs
# (stand-ins, tests) sits next to them in the build's bin/ folder.
set(DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# A plug-in DLL: exports nothing (ld would otherwise export every symbol) and
# is copied into dist/ after each build. injector/module_runtime.cpp and the
# wrapped pthread_once keep repeated loads and unloads from costing the host
# process handles, TLS slots and heap (see that file).
function(add_plugin name)
  add_library(${name} SHARED ${ARGN} ${PROJECT_SOURCE_DIR}/injector/module_runtime.cpp)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols -Wl,--wrap=pthread_once)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${DIST_DIR}/
    VERBATIM)
endfunction()

# 32-bit float arithmetic exactly as written: single-precision SSE instead of
# the x87 stack's wider intermediates (SSE1 is on every CPU the game runs on).
add_compile_options(-msse -mfpmath=sse)
