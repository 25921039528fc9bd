# Makes the release zip: hostkit-plugins-VERSION.zip holding one folder of
# that name with both plug-in DLLs, the Windows checker, INSTALL.txt (the
# README's install and settings sections) and the example settings file.
# Usage: cmake -DVERSION=1.0.0 -DSOURCE_DIR=repo -DPLUGINS="a.dll;b.dll"
#              -DAIMSETS=aimsets.exe -DOUT_DIR=dir -P make_package.cmake
cmake_minimum_required(VERSION 3.25)

foreach(input IN ITEMS VERSION SOURCE_DIR PLUGINS AIMSETS OUT_DIR)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "make_package.cmake: -D${input}= is required")
  endif()
endforeach()
foreach(file IN LISTS PLUGINS AIMSETS)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file}: not built")
  endif()
endforeach()

set(name hostkit-plugins-${VERSION})
set(stage "${OUT_DIR}/package-stage")
set(folder "${stage}/${name}")
set(zip "${OUT_DIR}/${name}.zip")
file(REMOVE_RECURSE "${stage}")
file(REMOVE "${zip}")
file(MAKE_DIRECTORY "${folder}")

file(COPY ${PLUGINS} "${AIMSETS}" "${SOURCE_DIR}/package/aimingSets.example.dat"
     DESTINATION "${folder}")

# The README section that starts with `heading`, up to the next level-2 one.
function(readme_section readme heading out)
  string(FIND "${readme}" "\n${heading}\n" begin)
  if(begin EQUAL -1)
    message(FATAL_ERROR "README.md has no section \"${heading}\"")
  endif()
  math(EXPR begin "${begin} + 1")
  string(SUBSTRING "${readme}" ${begin} -1 rest)
  string(LENGTH "${heading}" skip)
  string(SUBSTRING "${rest}" ${skip} -1 after_heading)
  string(FIND "${after_heading}" "\n## " end)
  if(end EQUAL -1)
    set(${out} "${rest}" PARENT_SCOPE)
  else()
    math(EXPR end "${end} + ${skip} + 1")
    string(SUBSTRING "${rest}" 0 ${end} section)
    set(${out} "${section}" PARENT_SCOPE)
  endif()
endfunction()

file(READ "${SOURCE_DIR}/README.md" readme)
readme_section("${readme}" "## Installing into the game" install)
readme_section("${readme}" "## The aim settings file: aimingSets.dat" settings)
set(text "hostkit plug-ins ${VERSION}: aimcam and viewfix\n\n${install}\n${settings}")
# Windows line ends, for any editor a player opens it with.
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${folder}/INSTALL.txt" "${text}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf "${zip}" --format=zip -- "${name}"
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write ${zip}")
endif()
file(REMOVE_RECURSE "${stage}")
message(STATUS "${zip}")
