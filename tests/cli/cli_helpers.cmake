# Helpers for the velmora-cli checks; include() it from a script run with
# -DCLI=path -DEMULATOR=optional launcher (Wine for the Windows build).
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

function(expect_match what text regex)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${what}: no match for ${regex} in\n${text}")
  endif()
endfunction()

# The user text NAME from the build's list of texts (TEXTS, generated from
# src/main/texts.txt), its \r\n turned into the line end that a captured
# stderr shows (\n).
function(user_text name out_var)
  file(STRINGS ${TEXTS} entry ENCODING UTF-8 REGEX "^${name}\t")
  if(NOT entry)
    message(FATAL_ERROR "no text ${name} in ${TEXTS}")
  endif()
  string(REGEX REPLACE "^[^\t]*\t" "" text "${entry}")
  string(REPLACE "\\r\\n" "\n" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()
