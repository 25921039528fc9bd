# Runs make_package.cmake into OUT_DIR and checks what the zip holds: every
# file a player needs, in the one release folder, and nothing called
# aimingSets.dat that could be taken for real settings.
# Usage: as make_package.cmake.
cmake_minimum_required(VERSION 3.25)

execute_process(
  COMMAND ${CMAKE_COMMAND} -DVERSION=${VERSION} -DSOURCE_DIR=${SOURCE_DIR} "-DPLUGINS=${PLUGINS}"
          -DAIMSETS=${AIMSETS} -DOUT_DIR=${OUT_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/make_package.cmake
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_package.cmake failed")
endif()

set(name hostkit-plugins-${VERSION})
set(zip "${OUT_DIR}/${name}.zip")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${zip}" OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${zip}: not a readable zip")
endif()
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "/$|^$")
list(SORT entries)
set(expected ${name}/INSTALL.txt ${name}/aimcam.dll ${name}/aimingSets.example.dat
             ${name}/aimsets.exe ${name}/viewfix.dll)
list(SORT expected)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "${zip} holds\n  ${entries}\nexpected\n  ${expected}")
endif()

# Unpacked, the DLLs are the ones built and INSTALL.txt says how to use the example.
set(unpacked "${OUT_DIR}/package-unpacked")
file(REMOVE_RECURSE "${unpacked}")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${zip}" WORKING_DIRECTORY "${unpacked}")
foreach(file IN LISTS PLUGINS AIMSETS)
  get_filename_component(base "${file}" NAME)
  file(SHA256 "${file}" built)
  file(SHA256 "${unpacked}/${name}/${base}" packed)
  if(NOT built STREQUAL packed)
    message(FATAL_ERROR "${base} in the zip is not the built one")
  endif()
endforeach()
file(READ "${unpacked}/${name}/INSTALL.txt" install)
foreach(needed IN ITEMS "aimingSets.example.dat" "aimingSets.dat" "aimsets.exe")
  string(FIND "${install}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "INSTALL.txt never mentions ${needed}")
  endif()
endforeach()
file(REMOVE_RECURSE "${unpacked}")
message(STATUS "${zip}: ${entries}")
