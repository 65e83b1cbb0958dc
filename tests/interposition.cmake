# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
#
# Decodes INPUT with aacd-decode twice, the second time with SHIM preloaded
# (namesakes of library primitives returning garbage), and requires the same
# output bytes.
#   cmake -DCLI=aacd-decode -DSHIM=libshim.so -DINPUT=x.aac -DOUTPUT=base -P interposition.cmake
foreach(var CLI SHIM INPUT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "interposition.cmake needs -D${var}=...")
  endif()
endforeach()
execute_process(COMMAND ${CLI} -q ${INPUT} ${OUTPUT}.plain.wav RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "aacd-decode exited with ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_PRELOAD=${SHIM}
                        ${CLI} -q ${INPUT} ${OUTPUT}.preload.wav
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT err MATCHES "aacd interposer loaded")
  message(FATAL_ERROR "preloaded run: exit ${rc}, stderr: ${err}")
endif()
file(MD5 ${OUTPUT}.plain.wav plain)
file(MD5 ${OUTPUT}.preload.wav preloaded)
message(STATUS "md5 ${plain} plain, ${preloaded} with the namesakes preloaded")
if(NOT plain STREQUAL preloaded)
  message(FATAL_ERROR "a preloaded namesake changed the decoded output")
endif()
file(REMOVE ${OUTPUT}.plain.wav ${OUTPUT}.preload.wav)
