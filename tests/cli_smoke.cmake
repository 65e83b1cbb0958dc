# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
# Runs the command-line host on the bundled sample with --info and checks
# that it succeeds and writes a WAV file of the expected size: one frame of
# 1024 samples per raw data block, 16-bit stereo, plus the 44-byte header.
#   cmake -DCLI=aacd-decode -DINPUT=sample.aac -DOUTPUT=out.wav [-DEMULATOR=...] -P cli_smoke.cmake
# EMULATOR (a list, e.g. qemu-aarch64;-L;/sysroot) runs a cross-built host.
foreach(var CLI INPUT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "cli_smoke.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE ${OUTPUT})
execute_process(COMMAND ${EMULATOR} ${CLI} --info ${INPUT} ${OUTPUT}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "aacd-decode said:\n${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "aacd-decode exited with ${rc}")
endif()
foreach(word "sampling rate:" "44100" "frames decoded")
  string(FIND "${err}" "${word}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "aacd-decode output lacks '${word}'")
  endif()
endforeach()
if(NOT EXISTS ${OUTPUT})
  message(FATAL_ERROR "no output file ${OUTPUT}")
endif()

# Count the ADTS frames of the input: 12-bit syncwords at frame starts,
# walking the frame_length fields.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexlen)
set(pos 0)
set(frames 0)
while(pos LESS hexlen)
  string(SUBSTRING "${hex}" ${pos} 14 h)
  string(SUBSTRING "${h}" 0 3 sync)
  if(NOT sync STREQUAL "fff")
    message(FATAL_ERROR "no ADTS syncword at byte offset ${pos}/2 of ${INPUT}")
  endif()
  string(SUBSTRING "${h}" 6 6 mid)
  math(EXPR v "0x${mid}")
  math(EXPR len "((${v} >> 5) & 0x1FFF)")
  math(EXPR pos "${pos} + 2 * ${len}")
  math(EXPR frames "${frames} + 1")
endwhile()

file(SIZE ${OUTPUT} size)
math(EXPR expected "44 + ${frames} * 1024 * 2 * 2")
message(STATUS "${frames} ADTS frames, WAV ${size} bytes (expected ${expected})")
if(NOT size EQUAL expected)
  message(FATAL_ERROR "WAV size ${size}, expected ${expected}")
endif()
file(READ ${OUTPUT} head LIMIT 4 HEX)
if(NOT head STREQUAL "52494646")
  message(FATAL_ERROR "output is not a RIFF file")
endif()

# Bad input: a clear message and a non-zero exit code, no crash.
set(bad ${OUTPUT}.garbage)
string(RANDOM LENGTH 3000 ALPHABET "abcdefghijklmnop0123456789" RANDOM_SEED 7 junk)
file(WRITE ${bad} "${junk}")
execute_process(COMMAND ${EMULATOR} ${CLI} ${bad} ${OUTPUT}.bad.wav RESULT_VARIABLE rc ERROR_VARIABLE err)
file(REMOVE ${bad} ${OUTPUT}.bad.wav)
if(rc EQUAL 0 OR NOT rc MATCHES "^[0-9]+$")
  message(FATAL_ERROR "garbage input: exit code '${rc}' (expected a non-zero exit, no crash)")
endif()
message(STATUS "garbage input refused: ${err}")
