# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
#
# Decodes one stream with aacd-decode and compares the md5 of the WAV file
# with its row of tests/data/golden.md5 ("refused": the host must exit 1).
# The row is looked up when the test runs, so an edited table takes effect
# without reconfiguring.
#   cmake -DCLI=aacd-decode -DDATA=tests/data -DKEY="stream bits [options]"
#         -DOUTPUT=out.wav [-DEMULATOR=...] -P golden.cmake
file(STRINGS ${DATA}/golden.md5 rows REGEX "^[0-9a-f]+|refused ${KEY}$")
set(expected "")
foreach(r IN LISTS rows)
  string(FIND "${r}" " ${KEY}" at)
  string(LENGTH "${r}" len)
  string(LENGTH " ${KEY}" klen)
  math(EXPR tail "${len} - ${klen}")
  if(at EQUAL tail)
    string(SUBSTRING "${r}" 0 ${at} expected)
  endif()
endforeach()
if(expected STREQUAL "")
  message(FATAL_ERROR "no row '${KEY}' in ${DATA}/golden.md5")
endif()
string(REPLACE " " ";" row "${KEY}")
list(POP_FRONT row stream bits)
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${EMULATOR} ${CLI} -q --bits ${bits} ${row} ${DATA}/${stream} ${OUTPUT}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(expected STREQUAL "refused")
  if(NOT rc EQUAL 1)
    message(FATAL_ERROR "${stream}: exit code '${rc}', expected 1 (refused)\n${err}")
  endif()
  return()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${stream}: aacd-decode exited with '${rc}'\n${err}")
endif()
file(MD5 ${OUTPUT} got)
file(REMOVE ${OUTPUT})
if(NOT got STREQUAL expected)
  message(FATAL_ERROR "${stream} at ${bits} bits ${row}: md5 ${got}, golden ${expected}")
endif()
