# Installs the build tree into a fresh prefix as a user would and runs what
# was installed: velmora-cli and its man page, nothing else.
# -DBUILD=build tree -DPREFIX=where to install (emptied first)
# -DBINDIR=, -DMANDIR= the expected folders under PREFIX
# -DVERSION=1.1.0.0 -DVERSION_TEXT=1.01 -DPYTHON= -DMAKE_MAN=tools/release/make_man.py
# -DGROFF= optional: renders the page and fails on any warning

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  fail("cmake --install failed:\n${out}")
endif()

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
set(expected "${BINDIR}/velmora-cli" "${MANDIR}/man1/velmora-cli.1")
list(SORT expected)
if(NOT installed STREQUAL expected)
  fail("installed: ${installed}\nexpected: ${expected}")
endif()

set(cli "${PREFIX}/${BINDIR}/velmora-cli")
set(page "${PREFIX}/${MANDIR}/man1/velmora-cli.1")

# The installed program runs from its new place.
execute_process(COMMAND ${cli} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^\\[Input data\\]\nZo = 600\n.*\\[Result data\\]\nZo = 602.806\n")
  fail("installed velmora-cli: exit ${rc}\n${out}${err}")
endif()
execute_process(COMMAND ${cli} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "velmora-cli ${VERSION_TEXT} (${VERSION})\n")
  fail("velmora-cli --version: exit ${rc}, '${out}', expected 'velmora-cli ${VERSION_TEXT} (${VERSION})'")
endif()

# The page is the one made from this program's --help, not an older one.
execute_process(COMMAND ${PYTHON} ${MAKE_MAN} ${cli} ${PREFIX}/fresh.1 RESULT_VARIABLE rc)
file(READ ${page} installed_page)
file(READ ${PREFIX}/fresh.1 fresh_page)
if(NOT rc EQUAL 0 OR NOT installed_page STREQUAL fresh_page)
  fail("the installed velmora-cli.1 is not made from the installed velmora-cli --help")
endif()

# Every option and every exit status of --help is in the page.
execute_process(COMMAND ${cli} --help OUTPUT_VARIABLE help)
string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${help}")
list(REMOVE_DUPLICATES options)
foreach(option ${options})
  string(REPLACE "-" "\\-" roff "${option}")
  string(FIND "${installed_page}" "\\fB${roff}\\fR" at)
  if(at EQUAL -1)
    fail("velmora-cli.1 has no entry for ${option}")
  endif()
endforeach()
string(REGEX MATCHALL "\n  [0-9]+  " statuses "${help}")
list(LENGTH statuses count)
if(count LESS 2)
  fail("no exit statuses found in --help:\n${help}")
endif()
foreach(status ${statuses})
  string(STRIP "${status}" status)
  string(FIND "${installed_page}" "\n.TP\n\\fB${status}\\fR\n" at)
  if(at EQUAL -1)
    fail("velmora-cli.1 does not list exit status ${status}")
  endif()
endforeach()

if(GROFF)
  execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${page}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
    fail("groff finds fault with velmora-cli.1:\n${err}")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
