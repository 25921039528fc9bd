# Settings shared by every Windows target of the cross build.

# Plug-ins load into the game with no runtime DLLs of ours: the C and C++
# runtimes and winpthreads are linked in.
add_link_options(-static -static-libgcc -static-libstdc++)

# Deliverables land in dist/ at the repo root; everything else that runs
# (stand-ins, tests) sits next to them in the build's bin/ folder.
set(DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The product name every plug-in's version resource carries.
set(PLUGIN_PRODUCT_NAME "hostkit plug-ins")

# add_plugin_library(name DESCRIPTION text sources...): a DLL linked exactly
# as every plug-in is, left in the build's bin/ folder: the plug-ins, and test
# probes that must behave in a host as a plug-in does. It carries a version
# resource (file version from the project version, the product name, the
# description, its file name) and exports nothing (ld would otherwise export
# every symbol). injector/module_runtime.cpp and the wrapped pthread_once keep
# repeated loads and unloads from costing the host process handles, TLS slots
# and heap, and keep the runtime's console-only terminate handler out (see
# that file).
function(add_plugin_library name)
  cmake_parse_arguments(arg "" "DESCRIPTION" "" ${ARGN})
  if(NOT arg_DESCRIPTION)
    message(FATAL_ERROR "add_plugin_library(${name}): DESCRIPTION is required")
  endif()
  set(plugin_name ${name})
  set(plugin_description "${arg_DESCRIPTION}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/plugin_version.rc.in ${rc} @ONLY)
  add_library(${name} SHARED ${arg_UNPARSED_ARGUMENTS} ${rc}
    ${PROJECT_SOURCE_DIR}/injector/module_runtime.cpp)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols -Wl,--wrap=pthread_once -s)
endfunction()

# add_plugin(name DESCRIPTION text sources...): a plug-in DLL
# (add_plugin_library), copied into dist/ after each build.
function(add_plugin name)
  add_plugin_library(${name} ${ARGN})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${DIST_DIR}/
    VERBATIM)
endfunction()

# 32-bit float arithmetic exactly as written: single-precision SSE instead of
# the x87 stack's wider intermediates (SSE1 is on every CPU the game runs on).
add_compile_options(-msse -mfpmath=sse)
