# Checks built plug-in DLLs for the C++ runtime's verbose terminate handler
# and the name demangler it brings in: code that writes to a console the game
# does not have. Each is recognised by text that only it carries. The texts
# are first looked for in CONTROL, a program linked with the runtime's own
# handler, so that a runtime whose texts differ fails this check instead of
# passing it unnoticed.
# Usage: cmake -DCONTROL=x.exe -DFILES="a.dll;b.dll" -P check_no_verbose_terminate.cmake
set(markers
  # the verbose terminate handler's messages
  "terminate called after throwing an instance of"
  "terminate called recursively"
  # the demangler's names for compiler-made symbols
  "non-virtual thunk to "
  "construction vtable for ")

# The markers found among the printable texts of file, in out.
function(markers_in file out)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file}: not built")
  endif()
  file(STRINGS "${file}" texts)
  set(found)
  foreach(marker IN LISTS markers)
    string(FIND "${texts}" "${marker}" at)
    if(NOT at EQUAL -1)
      list(APPEND found "${marker}")
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

markers_in("${CONTROL}" found)
if(NOT found STREQUAL markers)
  message(FATAL_ERROR "${CONTROL}: the control carries only [${found}] of [${markers}]; "
    "the markers no longer fit this C++ runtime")
endif()

foreach(file IN LISTS FILES)
  markers_in("${file}" found)
  if(found)
    message(FATAL_ERROR "${file}: carries the runtime's verbose terminate handler or its "
      "demangler (found: ${found}); see injector/module_runtime.cpp")
  endif()
  message(STATUS "${file}: no verbose terminate handler, no demangler")
endforeach()
