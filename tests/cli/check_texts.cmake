# What velmora-cli does with unusual texts: control characters are refused
# (and never echoed raw), a series text that is not a whole number is noted.
include(${CMAKE_CURRENT_LIST_DIR}/cli_helpers.cmake)

# Splits a table row "a|b|c" into f0, f1, f2 (fields may be empty).
function(fields row)
  foreach(n 0 1)
    string(FIND "${row}" "|" bar)
    string(SUBSTRING "${row}" 0 ${bar} f${n})
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${row}" ${bar} -1 row)
    set(f${n} "${f${n}}" PARENT_SCOPE)
  endforeach()
  set(f2 "${row}" PARENT_SCOPE)
endfunction()

# ---- Control characters ----
string(ASCII 27 esc)
string(ASCII 127 del)
string(ASCII 194 128 u0080)
string(ASCII 194 133 u0085)
string(ASCII 194 159 u009f)
string(ASCII 194 160 nbsp)  # U+00A0, the first character after U+009F: allowed

# option|value|the value as the message shows it; {ESC} and the like stand
# for the raw characters. Each is refused with 7 and nothing on stdout.
# (No unpaired "[" here: it would stop CMake splitting the list.)
set(refused
    "--zo    |600{LF}{LF}[Result data]{LF}Zo = 1.000|600\\n\\n[Result data]\\nZo = 1.000"
    "--r1    |10k{CR}                              |10k\\r"
    "--r3    |10{TAB}k                             |10\\tk"
    "--gain  |{ESC}c0                              |\\x1bc0"
    "--r5    |68{DEL}                              |68\\x7f"
    "--series|24{U+0085}                           |24\\u0085"
    "--series|{U+0080}24                           |\\u008024"
    "--series|24{U+009F}                           |24\\u009f")
foreach(case IN LISTS refused)
  fields("${case}")
  string(STRIP "${f0}" option)
  string(STRIP "${f1}" value)
  foreach(token "LF|\n" "CR|\r" "TAB|\t" "ESC|${esc}" "DEL|${del}" "U+0080|${u0080}" "U+0085|${u0085}"
                "U+009F|${u009f}")
    string(FIND "${token}" "|" bar)
    string(SUBSTRING "${token}" 0 ${bar} name)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${token}" ${bar} -1 char)
    string(REPLACE "{${name}}" "${char}" value "${value}")
  endforeach()
  set(shown "${f2}")
  expect_run(7 out err ${option} "${value}")
  expect_equal("${option} ${shown}: stdout" "${out}" "")
  expect_equal("${option} ${shown}" "${err}" "velmora-cli: ${option}: \"${shown}\" contains a control character\n")
endforeach()

# Every option that takes a text, in both spellings.
foreach(args "--zo=6${esc}" "--tolerance;5${esc}" "--tolerance=5${esc}" "--all-series;--series-list;24,6${esc}"
             "--candidates;--format;csv${esc}" "--tolerance;--samples;9${esc}" "--tolerance;--seed;9${esc}"
             "--tolerance;--dist;normal${esc}" "--tolerance;--series=6${esc}")
  expect_run(7 out err ${args})
  expect_match("${args}" "${err}" "^velmora-cli: --[a-z-]+: \"[^\"${esc}]*\\\\x1b\" contains a control character\n$")
endforeach()

# Other messages that repeat a text show it the same way.
expect_run(2 out err "--x${esc}")
expect_equal("unknown argument" "${err}" "velmora-cli: unknown argument \"--x\\x1b\" (see --help)\n")
expect_run(3 out err --r1 "a\"b\\c")
expect_equal("quote and backslash" "${err}" "velmora-cli: --r1: \"a\\\"b\\\\c\" is not a number\n")

# Texts without control characters still pass.
expect_run(0 out err --r5 "68${nbsp}" --zo "600 " --r1 "10kΩ")
expect_equal("ordinary texts: stderr" "${err}" "")

# ---- Series texts that are not whole numbers ----
expect_run(0 no_series err --series ∞)
expect_run(0 series_24 err --series 24)

# text|the series it gives|noted on stderr (1) or not (0)
set(series_texts
    "E24|0|1"
    "24 |0|1"           # the trailing space
    "２４|0|1"          # full-width digits
    "1e2|0|1"
    "2147483648|0|1"    # one beyond the 32-bit range
    " |0|1"
    "∞|0|0"
    "0|0|0"
    "|0|0"
    "-0|0|0"
    "$18|24|0"
    "  24|24|0")
foreach(case IN LISTS series_texts)
  fields("${case}")
  set(text "${f0}")
  set(er "${f1}")
  set(noted "${f2}")
  expect_run(0 out err "--series=${text}")  # an empty argument would vanish from ARGN
  if(er EQUAL 24)
    expect_equal("--series \"${text}\": stdout" "${out}" "${series_24}")
  else()
    expect_equal("--series \"${text}\": stdout" "${out}" "${no_series}")
  endif()
  if(noted)
    expect_equal("--series \"${text}\"" "${err}"
                 "velmora-cli: --series: \"${text}\" is not a whole number; no series is used\n")
  else()
    expect_equal("--series \"${text}\"" "${err}" "")
  endif()
endforeach()

# The explorer modes note it too, and each entry of a series list.
expect_run(0 out err --candidates --series E24)
expect_equal("--candidates" "${err}" "velmora-cli: --series: \"E24\" is not a whole number; no series is used\n")
expect_run(0 out err --tolerance --series E24 --samples 100)
expect_equal("--tolerance" "${err}" "velmora-cli: --series: \"E24\" is not a whole number; no series is used\n")
expect_run(0 out err --all-series --series-list "E12,24,,∞,0,２４" --format csv)
expect_equal("--series-list" "${err}"
             "velmora-cli: --series-list: \"E12\" is not a whole number; its row uses no series
velmora-cli: --series-list: \"２４\" is not a whole number; its row uses no series
")
string(FIND "${out}" "\ner," header)  # the series table's header; the inputs come before it
string(SUBSTRING "${out}" ${header} -1 table)
string(REGEX MATCHALL "\n(-?[0-9]+)," rows "${table}")
expect_equal("--series-list rows" "${rows}" "\n0,;\n24,;\n0,;\n0,;\n0,;\n0,")
