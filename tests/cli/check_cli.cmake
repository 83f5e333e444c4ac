# Runs velmora-cli as a user would and checks its output and exit codes, one
# group of checks per run: cmake -DCLI=... [-DEMULATOR=...] -DCASE=<function> -P check_cli.cmake
# runs the function of that name. CMakeLists.txt makes a ctest case of each
# function below whose name starts with "cli_".
include(${CMAKE_CURRENT_LIST_DIR}/cli_helpers.cmake)

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

# The report of the window's initial texts.
function(cli_default_report)
  expect_run(0 out err)
  expect_equal("default inputs" "${out}" "${default_report}")
endfunction()

# The options are read as the boxes are: the same design written differently.
function(cli_equivalent_texts)
  expect_run(0 out err --zo=600 --gain "0" --r1 "10 k" --r3 10000 --r5 68 --series " 24")
  string(REPLACE "Gain = 0.0dB" "Gain = 0dB" expected "${default_report}")
  string(REPLACE "R1 = 10k" "R1 = 10 k" expected "${expected}")
  string(REPLACE "R3 = 10k" "R3 = 10000" expected "${expected}")
  expect_equal("equivalent texts" "${out}" "${expected}")
endfunction()

# execute_process turns CR LF into LF in captured output: compare the bytes.
function(cli_crlf)
  execute_process(COMMAND ${run} --crlf RESULT_VARIABLE rc OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.out)
  string(REPLACE "\n" "\r\n" expected "${default_report}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.expected "${expected}")
  file(READ ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.out got_hex HEX)
  file(READ ${CMAKE_CURRENT_BINARY_DIR}/cli_crlf.expected expected_hex HEX)
  expect_equal("--crlf bytes" "${got_hex}" "${expected_hex}")
  expect_equal("--crlf exit status" "${rc}" "0")
endfunction()

# No series: the exact design.
function(cli_no_series)
  expect_run(0 out err --series "∞")
  if(NOT out MATCHES "Zo = 600.000\n" OR NOT out MATCHES "Gain =   0.000dB\n")
    message(FATAL_ERROR "no series: unexpected report\n${out}")
  endif()
endfunction()

# Earlier versions read a long plain decimal as 0 ("600." and 632 zeros, so
# Zo was 0 and the design warned that R5 was too large): it is its value.
function(cli_long_plain_decimal)
  string(REPEAT "0" 632 zeros)
  expect_run(0 out err --zo "600.${zeros}" --r1 "10${zeros}e-632k")
  string(REPLACE "Zo = 600\n" "Zo = 600.${zeros}\n" expected "${default_report}")
  string(REPLACE "R1 = 10k" "R1 = 10${zeros}e-632k" expected "${expected}")
  expect_equal("long decimals" "${out}" "${expected}")
endfunction()

# The design's warnings and faults, each with its own status.
function(cli_exit_codes)
  expect_run(3 out err --r1 abc)
  if(NOT err MATCHES "--r1: \"abc\" is not a number")
    message(FATAL_ERROR "not-a-number message: ${err}")
  endif()
  user_text(R5TooLarge r5_warning)
  user_text(R3TooSmall r3_warning)
  expect_run(4 out err --r5 470)
  expect_equal("R5 warning" "${err}" "${r5_warning}\n")
  expect_run(5 out err --r3 900 --series ∞)
  expect_equal("R3 warning" "${err}" "${r3_warning}\n")
  expect_run(6 out err --r1 0)
  if(NOT err MATCHES "Invalid floating point operation\\.")
    message(FATAL_ERROR "floating-point message: ${err}")
  endif()
endfunction()

# Usage errors and the help.
function(cli_usage_and_help)
  expect_run(2 out err --bogus)
  expect_run(2 out err --zo)
  expect_run(0 out err --help)
  if(NOT out MATCHES "Exit status")
    message(FATAL_ERROR "--help text: ${out}")
  endif()
  if(out STREQUAL "")
    message(FATAL_ERROR "empty help")
  endif()
endfunction()

# Every series: the series-24 row is the default report's design, digit for digit.
function(cli_all_series)
  expect_run(0 out err --all-series --format csv)
  string(REGEX MATCHALL "[^\n]+" lines "${out}")
  list(GET lines 2 header)
  expect_equal("all-series header" "${header}" "er,r2,r4,zo,zo_error_pct,gain_db,gain_error_db,zio,eta,outcome")
  list(LENGTH lines count)
  expect_equal("all-series rows" "${count}" "11")  # inputs header and row, table header, 8 series
  expect_match("no series row" "${out}" "\n0,2266.6666666666665,3757.8947368421045,599.9999999999999,")
  expect_match("series 24 row" "${out}" "\n24,2400,3900,602.8061224489796,[^\n]*,3951.6129032258077,0.8942740724855245,success\n")
  expect_run(0 out err --all-series --series-list "∞,24,x" --format json)
  string(JSON rows LENGTH "${out}" series)
  expect_equal("series-list rows" "${rows}" "3")
  string(JSON er GET "${out}" series 2 er)
  string(JSON outcome GET "${out}" series 1 outcome)
  expect_equal("json series-list entry" "${er}/${outcome}" "0/success")
  # A fault in one row leaves the others.
  expect_run(0 out err --all-series --r3 1200 --r5 200)
  expect_match("faulted row" "${out}" "\n +6 [^\n]*Floating point division by zero\\.\n")
  expect_match("row after a fault" "${out}" "\n +24 +6\\.800k +1\\.500k +610\\.860 [^\n]* ok\n")
endfunction()

# The neighbour search, in the description's order.
function(cli_candidates)
  expect_run(0 out err --candidates)
  expect_match("search winner" "${out}" "3\\.900k +2\\.400k +602\\.806 +1\\.004677 +won\n")
  expect_match("search order" "${out}" "534\\.615 +1\\.122302[^\n]*\n[^\n]*480\\.285")
  expect_run(0 out err --candidates --series 6 --format csv)
  expect_match("skipped pair" "${out}" "\n2200,3300,-803\\.87[0-9]*,,skipped\n")
  expect_run(0 out err --candidates --series ∞)
  expect_match("no series, no search" "${out}" "there is no neighbour search")
  expect_run(6 out err --candidates --r3 1200 --r5 200 --series 6)
  expect_match("search stopped by a fault" "${out}" "stopped the search after 5 of 9 pairs")
  expect_match("search fault message" "${err}" "Floating point division by zero\\.")
  expect_run(4 out err --candidates --r5 470)
endfunction()

# Tolerance: a fixed seed gives these figures on every platform (the files
# were written by the native build; the Windows build must match them).
function(cli_tolerance)
  foreach(case "uniform;--tolerance;--samples;70000;--seed;42"
               "normal;--tolerance;2;--dist;normal;--series;96;--gain;6;--samples;70000;--seed;42")
    list(POP_FRONT case name)
    expect_run(0 out err ${case} --format csv)
    file(READ ${CMAKE_CURRENT_LIST_DIR}/tolerance_seed42_${name}.csv golden)
    expect_equal("seed 42, ${name}" "${out}" "${golden}")
  endforeach()
  expect_run(0 out err --tolerance 0 --samples 100 --format json)
  string(JSON nominal GET "${out}" figures 0 zo)
  string(JSON p99 GET "${out}" figures 6 zo)
  expect_equal("0 % collapses to the nominal Zo" "${p99}" "${nominal}")
  expect_run(8 out err --tolerance --series 6 --samples 2000)
  expect_match("unstable warning" "${err}" "UNSTABLE WITHIN THE TOLERANCE[^\n]* of 2000 [^\n]* of 32 ")
  expect_match("unstable warning in the text" "${out}" "^!!! WARNING")
  expect_run(5 out err --tolerance --r3 900 --series ∞)
  expect_run(3 out err --tolerance --gain x)
endfunction()

# CSV with CR LF line ends.
function(cli_csv_crlf)
  execute_process(COMMAND ${run} --all-series --series-list 24 --format csv --crlf
                  RESULT_VARIABLE rc OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/cli_csv_crlf.out)
  expect_equal("csv CR LF exit status" "${rc}" "0")
  file(READ ${CMAKE_CURRENT_BINARY_DIR}/cli_csv_crlf.out csv_hex HEX)
  expect_match("csv CR LF" "${csv_hex}" "^[0-9a-f]*0d0a[0-9a-f]*0d0a$")
endfunction()

# Bad values (7) and options that do not go together (2).
function(cli_bad_options)
  foreach(bad "--format;xml;--all-series" "--tolerance;100" "--tolerance=-1" "--tolerance;5x"
              "--tolerance;--samples;0" "--tolerance;--samples;10000001" "--tolerance;--samples;1e3"
              "--tolerance;--seed;-1" "--tolerance;--dist;gauss")
    expect_run(7 out err ${bad})
    expect_match("message for ${bad}" "${err}" "velmora-cli: --[a-z]+: \"[^\"]*\" is not ")
  endforeach()
  foreach(bad "--samples;10" "--all-series;--candidates" "--format;csv" "--all-series;--series;24"
              "--series-list;24" "--candidates;--dist;normal")
    expect_run(2 out err ${bad})
  endforeach()
endfunction()

# Several bad texts at once: the first one read decides the status, and the
# messages come in the order the texts are read. status|arguments|stderr
function(cli_message_order)
  string(ASCII 27 esc)
  set(note "velmora-cli: --series: \"x\" is not a whole number; no series is used\n")
  set(nan "velmora-cli: --gain: \"y\" is not a number\nvelmora-cli: --r5: \"z\" is not a number\n")
  foreach(case
      "7|--candidates;--gain;y;--series;x;--format;xml|velmora-cli: --format: \"xml\" is not text, csv or json\n"
      "7|--gain;y;--dist;q;--tolerance;5x;--series;x|${note}velmora-cli: --tolerance: \"5x\" is not a percentage from 0 to below 100\n"
      "7|--tolerance;--dist;q;--seed;-1;--samples;0|velmora-cli: --samples: \"0\" is not a whole number from 1 to 10000000\n"
      "3|--r5;z;--series;x;--gain;y|${note}${nan}"
      "3|--all-series;--series-list;x;--r5;z;--gain;y|${nan}"  # the list is read after the inputs
      "7|--zo;1${esc};--bogus;--candidates;--tolerance|velmora-cli: --zo: \"1\\x1b\" contains a control character\n"
      "2|--bogus;--zo;1${esc}|velmora-cli: unknown argument \"--bogus\" (see --help)\n"
      "2|--candidates;--tolerance;--zo;1;--format;xml|velmora-cli: choose one of --all-series, --candidates, --tolerance, --frequency and --netlist (see --help)\n"
      "0|--help;--bogus|")
    string(REGEX MATCH "^([0-9])\\|([^|]*)\\|(.*)$" fields "${case}")
    set(args "${CMAKE_MATCH_2}")
    set(expected "${CMAKE_MATCH_3}")
    expect_run(${CMAKE_MATCH_1} out err ${args})
    expect_equal("${args}" "${err}" "${expected}")
  endforeach()
endfunction()

# --netlist: on standard output instead of the report, or to a file beside it;
# never after a warning or fault, and a file that cannot be made is an error.
function(cli_netlist)
  expect_run(0 out err --netlist)
  expect_match("netlist resistors" "${out}" "\nR2 inn amp 2400\nR5 amp out 68\nR3 inp 0 10000\nR4 inp out 3900\n")
  expect_match("netlist own figures" "${out}" "\n\\*   zo      = 602.8061224489796 ")
  expect_match("netlist load" "${out}" "\nRLOAD out_g 0 600\n")
  # The whole text, comments included; the inputs are quoted as typed, spaces kept.
  expect_run(0 out err --netlist --zo " 600 " --r1 "10 k")
  file(READ ${CMAKE_CURRENT_LIST_DIR}/netlist_spaced_inputs.cir golden)
  expect_equal("netlist text" "${out}" "${golden}")
  set(netlist_file ${CMAKE_CURRENT_BINARY_DIR}/cli_stage.cir)
  file(REMOVE ${netlist_file})
  expect_run(0 out err --series ∞ --netlist ${netlist_file})
  expect_match("report beside the netlist file" "${out}" "^\\[Input data\\]")
  file(READ ${netlist_file} netlist)
  expect_match("exact values in the file" "${netlist}" "\nR2 inn amp 2266.6666666666665\n")
  foreach(warned "4;--r5;470" "5;--r3;900;--series;∞" "6;--r1;0" "3;--gain;x")
    list(POP_FRONT warned code)
    file(REMOVE ${netlist_file})
    expect_run(${code} out err ${warned} --netlist ${netlist_file})
    if(EXISTS ${netlist_file})
      message(FATAL_ERROR "a netlist was written after ${warned} (exit ${code})")
    endif()
  endforeach()
  expect_run(9 out err --netlist ${CMAKE_CURRENT_BINARY_DIR}/no-such-folder/stage.cir)
  expect_match("unwritable netlist" "${err}" "cannot write \"[^\"]*stage.cir\"")
  expect_run(2 out err --netlist --all-series)
  expect_run(2 out err --netlist --format csv)
endfunction()

# The yield: the share inside both acceptance windows, with its interval.
function(cli_yield)
  expect_run(0 out err --tolerance --samples 20000 --seed 3 --accept-zo 5 --accept-gain 0.5 --format json)
  string(JSON share GET "${out}" yield share)
  string(JSON low GET "${out}" yield ci_low)
  string(JSON high GET "${out}" yield ci_high)
  string(JSON inside GET "${out}" acceptance inside)
  string(JSON zo_max GET "${out}" acceptance zo_max)
  expect_equal("window around the wanted Zo" "${zo_max}" "630")
  if(NOT (low LESS share AND share LESS high AND inside GREATER 0 AND inside LESS 20000))
    message(FATAL_ERROR "yield ${share} in [${low}, ${high}], ${inside} inside")
  endif()
  math(EXPR permille "${inside} * 1000 / 20000")
  expect_match("share is inside / samples" "${share}" "^0\\.0*${permille}")
  # Every sample is the nominal circuit (gain 0.517 dB): all in, or all out.
  foreach(case "1|1|--accept-gain;1" "0|0|--accept-gain;0.5")
    string(REPLACE "|" ";" case "${case}")
    list(POP_FRONT case want edge)
    expect_run(0 out err --tolerance 0 --samples 100 ${case} --format json)
    string(JSON share GET "${out}" yield share)
    string(JSON low GET "${out}" yield ci_low)
    string(JSON high GET "${out}" yield ci_high)
    expect_equal("share at 0 %" "${share}" "${want}")
    if(want EQUAL 1)
      expect_equal("interval reaches 1" "${high}" "1")
    else()
      expect_equal("interval reaches 0" "${low}" "0")
    endif()
  endforeach()
  expect_run(0 out err --tolerance --samples 1000 --format csv)
  expect_match("yield in csv" "${out}" "\nshare,ci_low,ci_high\n0\\.[0-9]+,0\\.[0-9]+,0\\.[0-9]+\n$")
  expect_run(0 out err --tolerance --samples 1000)
  expect_match("yield in text" "${out}" "Yield, unstable circuits outside: +share % +[0-9]+\\.[0-9][0-9] ")
  foreach(bad "--accept-zo=0" "--accept-zo=100" "--accept-zo=-1" "--accept-zo=5x" "--accept-gain=0"
              "--accept-gain=nan" "--accept-gain=inf" "--accept-gain=")
    string(REGEX REPLACE "=.*" "" option "${bad}")
    expect_run(7 out err --tolerance ${bad})
    expect_match("${bad}" "${err}" "^velmora-cli: ${option}: \"[^\"]*\" is not ")
  endforeach()
  expect_run(2 out err --accept-zo 5)
  expect_run(2 out err --all-series --accept-gain 1)
endfunction()

# --plot: the histograms as SVG, the same bins as the counts.
function(cli_plot)
  set(svg_file ${CMAKE_CURRENT_BINARY_DIR}/cli_plot.svg)
  file(REMOVE ${svg_file})
  # Series 6 at its customary 20 % reaches unstable circuits: in no bin.
  expect_run(8 out err --tolerance --series 6 --samples 5000 --format json --plot ${svg_file})
  string(JSON bad GET "${out}" stability bad_samples)
  file(READ ${svg_file} svg)
  expect_match("svg document" "${svg}" "^<\\?xml[^\n]*\n<svg xmlns=\"http://www.w3.org/2000/svg\"")
  string(FIND "${svg}" "<g id=\"gain_db\"" split)
  string(SUBSTRING "${svg}" 0 ${split} zo_panel)
  string(REGEX MATCHALL "<rect class=\"bar\" data-count=\"[0-9]+\"" bars "${zo_panel}")
  list(LENGTH bars n)
  expect_equal("bars of Zo" "${n}" "40")
  # Samples beyond the bins are counted beside the axis.
  string(REGEX MATCH "left of the axis ([0-9]+), right of it ([0-9]+)" beside "${zo_panel}")
  if(NOT beside)
    message(FATAL_ERROR "no count of the samples beside the axis in the Zo panel")
  endif()
  math(EXPR sum "${bad} + ${CMAKE_MATCH_1} + ${CMAKE_MATCH_2}")
  foreach(bar IN LISTS bars)
    string(REGEX MATCH "[0-9]+\"$" count "${bar}")
    string(REPLACE "\"" "" count "${count}")
    math(EXPR sum "${sum} + ${count}")
  endforeach()
  expect_equal("binned and unstable samples" "${sum}" "5000")
  foreach(mark "nominal" "worst min" "1 %" "99 %")
    expect_match("mark ${mark}" "${zo_panel}" "class=\"mark\" data-name=\"${mark}\"")
  endforeach()
  expect_match("shaded window" "${zo_panel}" "<rect class=\"window\"")
  expect_match("unstable counted" "${zo_panel}" "unstable \\(in no bin\\) ${bad}<")
  # The whole picture for a fixed seed: every attribute, position and label,
  # with bins over the worst case and, for a partly unstable box, fitted to the samples.
  foreach(case "0|plot_seed42|--samples;2000" "8|plot_series6_seed42|--series;6;--samples;2000")
    string(REPLACE "|" ";" case "${case}")
    list(POP_FRONT case code name)
    expect_run(${code} out err --tolerance ${case} --seed 42 --plot ${svg_file})
    file(READ ${svg_file} svg)
    file(READ ${CMAKE_CURRENT_LIST_DIR}/${name}.svg golden)
    expect_equal("${name}.svg" "${svg}" "${golden}")
  endforeach()
  expect_run(9 out err --tolerance --samples 100 --plot ${CMAKE_CURRENT_BINARY_DIR}/no-such-folder/h.svg)
  expect_match("unwritable plot" "${err}" "cannot write \"[^\"]*h.svg\"")
  expect_run(2 out err --plot ${svg_file})
endfunction()

# 0 % is a nominal-only run: every sample is the nominal circuit, in one
# bin of the histograms. "-0" is 0 (it was shown as "-0").
function(cli_nominal_only)
  expect_run(0 out err --tolerance -0 --samples 100 --format json)
  string(JSON pct GET "${out}" settings tolerance_pct)
  expect_equal("-0 % in JSON" "${pct}" "0")
  string(JSON sd GET "${out}" figures 4 zo)
  expect_equal("no spread at 0 %" "${sd}" "0")
  expect_run(0 out err --tolerance=-0% --samples 100)
  expect_match("-0 % in the text" "${out}" "^Tolerance:  series 24  ±% 0  distribution")
  set(svg_file ${CMAKE_CURRENT_BINARY_DIR}/cli_nominal_only.svg)
  file(REMOVE ${svg_file})
  expect_run(0 out err --tolerance 0 --samples 100 --plot ${svg_file})
  file(READ ${svg_file} svg)
  string(REGEX MATCHALL "data-count=\"100\"" full "${svg}")
  list(LENGTH full n)
  expect_equal("one full bar per histogram" "${n}" "2")
endfunction()

# An explorer mode given twice is named as such, not taken for two modes.
function(cli_mode_given_twice)
  foreach(args "--tolerance;5;--tolerance;6" "--tolerance;--tolerance=6" "--netlist;--netlist"
               "--all-series;--all-series" "--candidates;--zo;1;--candidates" "--frequency;--frequency")
    list(GET args 0 mode)
    expect_run(2 out err ${args})
    expect_equal("${args}" "${err}" "velmora-cli: ${mode} is given twice (see --help)\n")
  endforeach()
  expect_run(2 out err --tolerance 5 --candidates)
  expect_match("two modes" "${err}" "choose one of --all-series")
endfunction()

# An empty PATH is a usage error for --netlist and --plot alike; "-" stays
# standard output for the netlist.
function(cli_empty_paths)
  set(netlist_message "velmora-cli: --netlist needs a PATH that is not empty (none, or \"-\", for standard output) (see --help)\n")
  set(plot_message "velmora-cli: --plot needs a PATH that is not empty (see --help)\n")
  # An empty argument of its own, which expect_run's list cannot carry.
  execute_process(COMMAND ${run} --netlist "" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  expect_equal("--netlist \"\": status, stdout, stderr" "${rc}|${out}|${err}" "2||${netlist_message}")
  execute_process(COMMAND ${run} --tolerance --samples 10 --plot "" RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  expect_equal("--plot \"\": status, stdout, stderr" "${rc}|${out}|${err}" "2||${plot_message}")
  expect_run(2 out err --netlist=)
  expect_equal("--netlist=" "${err}" "${netlist_message}")
  expect_run(2 out err --tolerance --plot= --samples 10)
  expect_equal("--plot=" "${err}" "${plot_message}")
  expect_run(0 alone err --netlist)
  expect_run(0 dash err --netlist -)
  expect_equal("--netlist - is standard output" "${dash}" "${alone}")
  expect_match("a netlist on standard output" "${dash}" "\nRLOAD out_g 0 600\n")
endfunction()

# --frequency: every table, the op-amp's values as given or preset, the
# ideal op-amp's DC figures as the report's, the sweep's ends.
function(cli_frequency)
  expect_run(0 out err --frequency --opamp NE5532 --format json)
  foreach(member design opamp dc ideal bandwidth stability drive noise noise_sources points)
    string(JSON type ERROR_VARIABLE missing TYPE "${out}" ${member})
    if(missing)
      message(FATAL_ERROR "--frequency json has no ${member}")
    endif()
  endforeach()
  string(JSON points LENGTH "${out}" points)
  expect_equal("default sweep" "${points}" "121")
  string(JSON f0 GET "${out}" points 0 f_hz)
  string(JSON f120 GET "${out}" points 120 f_hz)
  expect_match("sweep ends" "${f0}/${f120}" "^10/10000000(\\.0)?$")  # CMake writes 1e+07 back as 10000000.0
  string(JSON ideal_zo GET "${out}" ideal zo_ohm)
  expect_match("ideal Zo is the report's" "${ideal_zo}" "^602\\.806122448[0-9]*$")  # within 1e-12
  string(JSON name GET "${out}" opamp name)
  string(JSON a0 GET "${out}" opamp a0_db)
  string(JSON gbw GET "${out}" opamp gbw_hz)
  string(JSON f2 TYPE "${out}" opamp f2_hz)
  expect_match("preset values" "${name}/${a0}/${gbw}/${f2}" "^NE5532/100/10000000(\\.0)?/NULL$")
  foreach(i 0 1 2)
    string(JSON load GET "${out}" stability ${i} load)
    list(APPEND loads ${load})
  endforeach()
  expect_equal("loads" "${loads}" "zo;open;short")
  string(JSON crossover GET "${out}" stability 0 crossover_hz)
  string(JSON latches GET "${out}" stability 0 latches)
  expect_match("a crossover" "${crossover}" "^1[0-9]+\\.[0-9]+$")
  expect_equal("no latch" "${latches}" "OFF")
  string(JSON limit GET "${out}" drive limit)
  expect_equal("swing sets the level" "${limit}" "swing")
  # Given on its own, a value overrides the preset's; infinity in three spellings.
  expect_run(0 out err --frequency --opamp tl072 --gbw 10M --a0 ∞ --f2 Infinity --imax inf --per-decade 2 --format json)
  string(JSON name GET "${out}" opamp name)
  string(JSON a0 TYPE "${out}" opamp a0_db)
  string(JSON gbw GET "${out}" opamp gbw_hz)
  string(JSON en GET "${out}" opamp en_v)
  string(JSON imax TYPE "${out}" opamp imax_a)
  expect_match("overrides" "${name}/${a0}/${gbw}/${en}/${imax}" "^TL072 \\(changed\\)/NULL/10000000(\\.0)?/1\\.(8|79+)[0-9]*e-0?8/NULL$")  # 1.8e-08 read back by CMake
  string(JSON points LENGTH "${out}" points)
  expect_equal("2 per decade" "${points}" "13")
  expect_run(0 out err --frequency --r5 3 --series ∞ --opamp TL072 --fmin 1k --fmax 20k)
  expect_match("text tables" "${out}" "\nBandwidth:  Zo within ±1 % up to 2\\.[0-9]+k ")
  expect_match("points in text" "${out}" "\n *20\\.000k  ")
  expect_run(0 out err --frequency --format csv --crlf)
  expect_match("csv" "${out}" "\nf_hz,zo_ohm,zo_deg,gain_db,gain_deg,gain_open_db,zio_ohm,noise_v\r?\n10,")
endfunction()

# The presets, and what --frequency refuses: bad values (7, the option
# named), warnings and faults of the design (their status, no figures), a
# resistor that is not positive (7), options without their mode (2).
function(cli_frequency_refusals)
  expect_run(0 out err --opamp list)
  foreach(name ideal NE5532 TL072 OPA2134 OPA1612 LM4562 NJM4580)
    expect_match("preset ${name}" "${out}" "\n${name} ")
  endforeach()
  expect_run(0 out err --opamp list --format json)
  string(JSON rows LENGTH "${out}" opamps)
  expect_equal("preset rows" "${rows}" "7")
  foreach(bad "--opamp;foo" "--a0;x" "--a0;700" "--gbw;0" "--gbw;-1M" "--f2;abc" "--ro;-1" "--en;-5n"
              "--in;x" "--vmax;0" "--imax;-1" "--cload;-1n" "--temp;-300" "--fmin;0" "--fmax;2T"
              "--per-decade;2.5" "--per-decade;0" "--fmin;20k;--fmax;10k" "--ro;∞")
    expect_run(7 out err --frequency ${bad})
    list(GET bad 0 option)
    if(bad MATCHES "fmin;20k")
      set(option --fmax)
    endif()
    expect_match("${bad}" "${err}" "^velmora-cli: ${option}: \"[^\"]*\" is not ")
    expect_equal("${bad}: no figures" "${out}" "")
  endforeach()
  foreach(warned "4;--r5;470" "5;--r3;900;--series;∞" "6;--r1;0" "3;--gain;x")
    list(POP_FRONT warned code)
    expect_run(${code} out err --frequency ${warned})
    expect_equal("${warned}: no figures" "${out}" "")
  endforeach()
  expect_run(7 out err --frequency --zo -600 --r1 -10k --r3 -10k --r5 -1000)
  expect_match("negative resistor" "${err}" "needs positive resistors; the design has R1 = -10000 ohm")
  foreach(bad "--gbw;1M" "--tolerance;--fmin;1" "--all-series;--opamp;NE5532" "--frequency;--all-series"
              "--frequency;--netlist")
    expect_run(2 out err ${bad})
  endforeach()
endfunction()

# --plot with --frequency: both panels, their curves, the band and the marks.
function(cli_frequency_plot)
  set(svg_file ${CMAKE_CURRENT_BINARY_DIR}/cli_bode.svg)
  file(REMOVE ${svg_file})
  expect_run(0 out err --frequency --opamp TL072 --r5 3 --series ∞ --plot ${svg_file})
  file(READ ${svg_file} svg)
  expect_match("svg document" "${svg}" "^<\\?xml[^\n]*\n<svg xmlns=\"http://www.w3.org/2000/svg\"")
  foreach(part "<g id=\"zo\"" "<g id=\"gain_db\"" "<polyline class=\"curve\" data-name=\"zo\""
               "<polyline class=\"curve\" data-name=\"gain\"" "<polyline class=\"curve\" data-name=\"gain_open\""
               "<rect class=\"band\"" "data-name=\"zo_1pct\"" "data-name=\"crossover\"")
    string(FIND "${svg}" "${part}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "no ${part} in the Bode picture")
    endif()
  endforeach()
  string(REGEX MATCH "data-name=\"zo\" points=\"([^\"]*)\"" zo_curve "${svg}")
  string(REGEX MATCHALL "[0-9.]+,[0-9.]+" vertices "${CMAKE_MATCH_1}")
  list(LENGTH vertices n)
  expect_equal("a vertex per sweep point" "${n}" "121")
  expect_run(9 out err --frequency --plot ${CMAKE_CURRENT_BINARY_DIR}/no-such-folder/b.svg)
endfunction()

# --netlist with an op-amp option: the model, the load's capacitance, .ac,
# .noise and .meas ac; without one, the ideal netlist.
function(cli_netlist_model)
  expect_run(0 out err --netlist --opamp TL072 --cload 10n --ro 50 --f2 20M)
  foreach(line "\nGX x 0 x 0 5\\.01[0-9]*e-06\n" "\nCX x 0 " "\nCY y 0 " "\nGRO z out z out 0\\.02\n"
               "\nCLOAD out_g 0 1e-08\n" "\n\\.ac dec 20 10 1e\\+07\n" "\n\\*\\.noise V\\(out_g\\) VIN dec 20 10 1e\\+07\n"
               "\n\\.meas ac zo_1k find vm\\(out_zo\\) at=1e3\n" "\n\\.meas ac gain_20k find vdb\\(out_g\\) at=20e3\n"
               "\nREN inp inpn [0-9.]+\n")
    expect_match("model netlist" "${out}" "${line}")
  endforeach()
  expect_run(0 out err --netlist --gbw 1M)
  expect_match("a value alone makes the model" "${out}" "\nGA 0 x inp inn 1\n")
  expect_run(0 out err --netlist)
  expect_match("ideal without options" "${out}" "\nEOA out 0 inp inn 1e7\n")
  # A stage whose figures the netlist's gain of 1e7 does not give says so.
  expect_run(0 out err --netlist --r5 1e-6)
  expect_match("finite-gain note" "${out}" "\n\\*   as written: zo = 9\\.842[0-9]*, gain_db = -29\\.15[0-9]*, ")
  expect_run(0 out err --netlist --gain 100)
  expect_match("finite-gain note" "${out}" ", zio = 1135\\.1[0-9]*, ")
endfunction()

if(NOT COMMAND "${CASE}" OR NOT CASE MATCHES "^cli_")
  message(FATAL_ERROR "check_cli.cmake: no case \"${CASE}\" (-DCASE=cli_...)")
endif()
cmake_language(CALL ${CASE})
