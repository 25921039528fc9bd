# cmake -DAIMSETS=... -DFILE=... -DSTATUS=... -DLINES=|a|b... -P check_aimsets.cmake
# Fails unless aimsets exits with STATUS and each of LINES is a whole line of
# what it prints (standard output, then standard error); "<sc>" in a line
# stands for a semicolon.
execute_process(COMMAND ${AIMSETS} ${FILE}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(printed "\n${out}${err}")
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "aimsets ${FILE}: exit status ${status}, expected ${STATUS}${printed}")
endif()
string(REPLACE "|" ";" lines "${LINES}")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  string(REPLACE "<sc>" ";" line "${line}")
  string(FIND "${printed}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "aimsets ${FILE}: no line\n  ${line}\nin what it printed:${printed}")
  endif()
endforeach()
