# Checks that each built plug-in DLL carries its version resource: the fixed
# file and product version, and the product name, file version string and
# original file name as UTF-16 strings, all inside the .rsrc section.
# Usage: cmake -DOBJDUMP=... -DVERSION=1.2.3 -DPRODUCT="name"
#              -DFILES="a.dll;b.dll" -P check_version_resource.cmake

cmake_minimum_required(VERSION 3.25)

# The hex of a text in UTF-16LE (ASCII only), as file(READ ... HEX) writes it.
function(utf16_hex text out)
  string(HEX "${text}" ascii)
  string(REGEX REPLACE "(..)" "\\100" wide "${ascii}")
  set(${out} "${wide}" PARENT_SCOPE)
endfunction()

# The hex of a 32-bit value, little-endian.
function(dword_hex value out)
  math(EXPR value "${value}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "" value "${value}")
  string(LENGTH "${value}" length)
  while(length LESS 8)
    string(PREPEND value "0")
    math(EXPR length "${length} + 1")
  endwhile()
  string(TOLOWER "${value}" value)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Whether `needle` is in `hay` at a whole byte (an even hex position).
function(contains_bytes hay needle out)
  set(${out} FALSE PARENT_SCOPE)
  set(rest "${hay}")
  set(offset 0)
  while(TRUE)
    string(FIND "${rest}" "${needle}" at)
    if(at EQUAL -1)
      return()
    endif()
    math(EXPR odd "(${offset} + ${at}) % 2")
    if(odd EQUAL 0)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    math(EXPR next "${at} + 1")
    string(SUBSTRING "${rest}" ${next} -1 rest)
    math(EXPR offset "${offset} + ${next}")
  endwhile()
endfunction()

string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
# VS_FIXEDFILEINFO: its signature and structure version, then the file
# version and the product version, each as two dwords.
dword_hex(0xFEEF04BD signature)
dword_hex(0x00010000 struct_version)
dword_hex("(${major} << 16) | ${minor}" version_ms)
dword_hex("${patch} << 16" version_ls)
set(fixed "${signature}${struct_version}${version_ms}${version_ls}${version_ms}${version_ls}")

foreach(file IN LISTS FILES)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file}: not built")
  endif()
  execute_process(COMMAND ${OBJDUMP} -h "${file}" OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${file}: objdump failed")
  endif()
  # "  N .rsrc  size  vma  lma  file-offset  align"
  if(NOT headers MATCHES "\\.rsrc[ \t]+([0-9a-fA-F]+)[ \t]+[0-9a-fA-F]+[ \t]+[0-9a-fA-F]+[ \t]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "${file}: no .rsrc section")
  endif()
  math(EXPR size "0x${CMAKE_MATCH_1}")
  math(EXPR offset "0x${CMAKE_MATCH_2}")
  file(READ "${file}" rsrc OFFSET ${offset} LIMIT ${size} HEX)

  contains_bytes("${rsrc}" "${fixed}" found)
  if(NOT found)
    message(FATAL_ERROR "${file}: no fixed version info for ${VERSION}")
  endif()
  get_filename_component(name "${file}" NAME)
  foreach(text IN ITEMS "VS_VERSION_INFO" "${PRODUCT}" "${VERSION}.0" "${name}")
    utf16_hex("${text}" wide)
    contains_bytes("${rsrc}" "${wide}" found)
    if(NOT found)
      message(FATAL_ERROR "${file}: the version resource lacks \"${text}\"")
    endif()
  endforeach()
  message(STATUS "${file}: version ${VERSION}, product \"${PRODUCT}\", original name ${name}")
endforeach()
