# Runs velmora-cli as a user would and checks its output and exit codes.
# -DCLI=path -DEMULATOR=optional launcher (Wine for the Windows build)
set(run ${CLI})
if(EMULATOR)
  set(run ${EMULATOR} ${CLI})
endif()

function(expect_run code out_var err_var)
  execute_process(COMMAND ${run} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL code)
    message(FATAL_ERROR "velmora-cli ${ARGN}: exit ${rc}, expected ${code}\nstdout:\n${out}\nstderr:\n${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

function(expect_equal what actual expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what}:\n--- got ---\n${actual}\n--- expected ---\n${expected}")
  endif()
endfunction()

set(default_report "[Input data]
Zo = 600
Gain = 0.0dB
R1 = 10k
R3 = 10k
R5 = 68

[Result data]
Zo = 602.806
Gain =   0.517dB
R2 =   2.400k
R4 =   3.900k
Zio =   3.952k
η = 89.4%
")

expect_run(0 out err)
expect_equal("default inputs" "${out}" "${default_report}")

# The options are read as the boxes are: the same design written differently.
expect_run(0 out err --zo=600 --gain "0" --r1 "10 k" --r3 10000 --r5 68 --series " 24")
string(REPLACE "Gain = 0.0dB" "Gain = 0dB" expected "${default_report}")
string(REPLACE "R1 = 10k" "R1 = 10 k" expected "${expected}")
string(REPLACE "R3 = 10k" "R3 = 10000" expected "${expected}")
expect_equal("equivalent texts" "${out}" "${expected}")

# execute_process turns CR LF into LF in captured output: compare the bytes.
execute_process(COMMAND ${run} --crlf RESULT_VARIABLE rc OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.out)
string(REPLACE "\n" "\r\n" expected "${default_report}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.expected "${expected}")
file(READ ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.out got_hex HEX)
file(READ ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.expected expected_hex HEX)
expect_equal("--crlf bytes" "${got_hex}" "${expected_hex}")

expect_run(0 out err --series "∞")
if(NOT out MATCHES "Zo = 600.000\n" OR NOT out MATCHES "Gain =   0.000dB\n")
  message(FATAL_ERROR "no series: unexpected report\n${out}")
endif()

expect_run(3 out err --r1 abc)
if(NOT err MATCHES "--r1: \"abc\" is not a number")
  message(FATAL_ERROR "not-a-number message: ${err}")
endif()
expect_run(4 out err --r5 470)
if(NOT err MATCHES "R5の値が大き過ぎます\n値を小さくしてください")
  message(FATAL_ERROR "R5 warning: ${err}")
endif()
expect_run(5 out err --r3 900 --series ∞)
if(NOT err MATCHES "R3の値が小さ過ぎます\n値を大きくしてください")
  message(FATAL_ERROR "R3 warning: ${err}")
endif()
expect_run(6 out err --r1 0)
if(NOT err MATCHES "Invalid floating point operation\\.")
  message(FATAL_ERROR "floating-point message: ${err}")
endif()
expect_run(2 out err --bogus)
expect_run(2 out err --zo)
expect_run(0 out err --help)
if(NOT out MATCHES "Exit status")
  message(FATAL_ERROR "--help text: ${out}")
endif()
if(out STREQUAL "")
  message(FATAL_ERROR "empty help")
endif()
