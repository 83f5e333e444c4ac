# Output that does not arrive is an error in every mode: standard output on a
# full device, and standard output closed.
include(${CMAKE_CURRENT_LIST_DIR}/cli_helpers.cmake)

# Runs velmora-cli with stdout sent to `sink` (full or closed) and checks the
# exit code and that stderr ends with the message about the lost output.
function(expect_lost sink code reason)
  if(sink STREQUAL "full")
    execute_process(COMMAND ${run} ${ARGN} OUTPUT_FILE /dev/full RESULT_VARIABLE rc ERROR_VARIABLE err)
  else()
    execute_process(COMMAND sh -c "exec \"$@\" >&-" sh ${run} ${ARGN} RESULT_VARIABLE rc ERROR_VARIABLE err)
  endif()
  if(NOT rc EQUAL code)
    message(FATAL_ERROR "stdout ${sink}, velmora-cli ${ARGN}: exit ${rc}, expected ${code}\nstderr:\n${err}")
  endif()
  if(reason STREQUAL "")
    if(err MATCHES "cannot write")
      message(FATAL_ERROR "stdout ${sink}, velmora-cli ${ARGN}: nothing was lost, yet\n${err}")
    endif()
  elseif(NOT err MATCHES "velmora-cli: cannot write the output: ${reason}\n$")
    message(FATAL_ERROR "stdout ${sink}, velmora-cli ${ARGN}: no message \"${reason}\" at the end of\n${err}")
  endif()
endfunction()

# Every mode and format; the long outputs fail inside a write, the short ones
# only when the buffer is flushed at the end.
set(modes
    "--help"
    "--series 24"
    "--crlf"
    "--all-series"
    "--all-series --format csv"
    "--all-series --format json"
    "--candidates"
    "--candidates --format csv"
    "--candidates --format json"
    "--tolerance --samples 200"
    "--tolerance --samples 200 --format csv"
    "--tolerance --samples 200 --format json")
foreach(mode IN LISTS modes)
  separate_arguments(args UNIX_COMMAND "${mode}")
  expect_lost(full   9 "No space left on device" ${args})
  expect_lost(closed 9 "Bad file descriptor"     ${args})
endforeach()

# Lost output outranks the design's own status (tables printed, then 4 or 8).
expect_lost(full   9 "No space left on device" --candidates --r5 470)
expect_lost(closed 9 "Bad file descriptor"     --tolerance --series 6 --samples 200)
# Nothing to print: a closed stdout loses nothing, the status is the input's.
expect_lost(closed 3 "" --r1 abc)
expect_lost(closed 2 "" --bogus)
