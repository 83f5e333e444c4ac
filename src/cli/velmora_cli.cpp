// velmora-cli: the design calculation on the command line. Reads each option
// exactly as the window reads the matching box and prints the report that the
// window's Copy command would place on the clipboard, or, with one of the
// explorer options, a table of every series, of the neighbour search or of
// the circuit's spread under resistor tolerance.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/checked_writer.h"
#include "common/fp_error.h"
#include "common/numtext.h"
#include "explore/table.h"
#include "common/utf.h"
#include "main/design.h"
#include "explore/explorer.h"
#include "explore/explorer_tables.h"
#include "main/messages.h"
#include "main/report.h"
#include "main/series_text.h"
#include "explore/tolerance.h"
#include "explore/netlist.h"
#include "main/version_text.h"
#include "velmora_version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

using velmora::common::Utf16ToUtf8;
using velmora::common::Utf8ToUtf16;
namespace vm = velmora::main;
namespace vc = velmora::common;
namespace ve = velmora::explore;

enum ExitCode : int {
  kOk = 0,
  kUsage = 2,
  kNotANumber = 3,
  kR5TooLarge = 4,
  kR3TooSmall = 5,
  kFloatingPoint = 6,
  kBadValue = 7,
  kUnstable = 8,
  kWriteFailed = 9,
};

constexpr const char* kHelp =
    "Usage: velmora-cli [--zo T] [--gain T] [--r1 T] [--r3 T] [--r5 T] [--series T] [--crlf]\n"
    "       velmora-cli [inputs] --all-series [--series-list L] [--format F]\n"
    "       velmora-cli [inputs] --candidates [--format F]\n"
    "       velmora-cli [inputs] --tolerance [PCT] [--samples N] [--seed S] [--dist D] [--format F]\n"
    "       velmora-cli [inputs] --netlist [PATH]\n"
    "\n"
    "Designs the inverting amplifier stage whose output impedance is set by\n"
    "positive feedback and prints the 14-line report of the results.\n"
    "\n"
    "  --zo T      wanted output impedance Zo           (default \"600\")\n"
    "  --gain T    wanted gain in dB into a load of Zo  (default \"0.0\")\n"
    "  --r1 T      R1                                   (default \"10k\")\n"
    "  --r3 T      R3                                   (default \"10k\")\n"
    "  --r5 T      R5                                   (default \"68\")\n"
    "  --series T  E-series steps per decade: 6, 12, 24, 48, 96, 192 or any\n"
    "              whole number; \"∞\", \"0\" or an empty text means no series,\n"
    "              and so does any other text that is not a whole number,\n"
    "              with a note on standard error        (default \"24\")\n"
    "  --crlf      end lines with CR LF (default: LF)\n"
    "  --help      show this text\n"
    "  --version   show the version (the one in the window's title) and exit\n"
    "\n"
    "Each T is read exactly as the window reads its box: an optional SI prefix\n"
    "letter (p n u m k M G T, also full-width), exponent form (1.2e-6), RKM\n"
    "notation (4k7, 2R2); commas and spaces are ignored.\n"
    "Options may also be written --zo=T. No option's text may hold a control\n"
    "character (U+0000 to U+001F, U+007F to U+009F: line breaks, tabs, escapes).\n"
    "\n"
    "Design explorer (one of these at a time, instead of the report):\n"
    "  --all-series     the same inputs in each series: R2, R4, the achieved Zo\n"
    "                   and its error in %, the gain in dB and its error, Zio,\n"
    "                   eta and the outcome, one row per series\n"
    "  --series-list L  the series of --all-series, comma-separated, each read as\n"
    "                   --series reads its text (default \"∞,3,6,12,24,48,96,192\")\n"
    "  --candidates     the neighbour search for --series, pair by pair in search\n"
    "                   order: r4, r2, the pair's output impedance t, its distance\n"
    "                   m from Zo as a ratio, and which pair won\n"
    "  --tolerance [PCT]  the spread of Zo, gain, Zio and eta of the designed\n"
    "                   circuit when every resistor may be off by up to PCT %\n"
    "                   (0 <= PCT < 100; default: the series' customary tolerance,\n"
    "                   3 and 6 20 %, 12 10 %, 24 5 %, 48 2 %, 96 1 %, 192 0.5 %,\n"
    "                   otherwise 1 %): the true worst case over the tolerance box,\n"
    "                   a Monte Carlo run and each resistor's sensitivity\n"
    "  --netlist [PATH] the designed stage (the report's resistors) as a SPICE\n"
    "                   netlist for ngspice or LTspice: the op-amp as the\n"
    "                   five-pin subcircuit OPAMP (ideal; replace it by a vendor\n"
    "                   model), the load Zo, a DC analysis and .meas lines for\n"
    "                   zo, gain_db, zio and eta, with Velmora's own figures in\n"
    "                   comments. Written to PATH (UTF-8) while the report goes\n"
    "                   to standard output; without PATH, or with \"-\", to\n"
    "                   standard output instead of the report. No netlist after\n"
    "                   a warning or a floating-point error\n"
    "  --samples N      Monte Carlo samples, 1 to 10000000   (default 100000)\n"
    "  --seed S         generator seed, 0 to 2^64-1; the same seed gives the same\n"
    "                   figures on every platform            (default 1)\n"
    "  --dist D         uniform (within +-PCT) or normal (PCT is 3 sigma)\n"
    "                                                        (default uniform)\n"
    "  --format F       text (aligned, SI prefixes), csv or json (plain numbers in\n"
    "                   base units at full precision: ohms, dB, eta as a fraction)\n"
    "                                                        (default text)\n"
    "\n"
    "Exit status:\n"
    "  0  success: the report or the tables are on standard output\n"
    "  2  bad usage (unknown option, missing value, options that do not go together)\n"
    "  3  a value is not a number (the option and its text are named)\n"
    "  4  R5 is too large (more than two thirds of Zo)\n"
    "  5  R3 is too small (R3 + R4 below twice Zo)\n"
    "  6  a floating-point error ended the calculation\n"
    "  7  an option has a bad value: a text with a control character, or an\n"
    "     explorer option's value (--format, --dist, --samples, --seed, the\n"
    "     tolerance PCT); the option and its text are named\n"
    "  8  --tolerance: some circuits within the tolerance have no positive, finite\n"
    "     output impedance (unstable); the tables are printed and a warning goes\n"
    "     to standard error\n"
    "  9  the output could not be written (a full disk, a closed standard output,\n"
    "     a --netlist PATH that cannot be created);\n"
    "     this status takes the place of any other\n"
    "--candidates prints its tables and then exits with the design's outcome (4, 5\n"
    "or 6 as above); --all-series exits 0 once its table is printed, each row\n"
    "telling its own outcome; --tolerance analyses only a design that succeeds.\n";

constexpr std::uint64_t kMaxSamples = 10000000;

// Messages go to standard error as they are; the program's output goes
// through a CheckedWriter.
void WriteErr(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stderr); }

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// `text` in double quotes, fit for a terminal: control characters, the
// backslash and the quote are written as escapes ("\n", "\x1b", "\u0085").
std::string Quoted(std::u16string_view text) {
  std::u16string out = u"\"";
  auto append = [&out](const char* ascii) {
    while (*ascii != 0) out.push_back(static_cast<char16_t>(*ascii++));
  };
  for (const char16_t c : text) {
    if (c == u'\n') {
      append("\\n");
    } else if (c == u'\r') {
      append("\\r");
    } else if (c == u'\t') {
      append("\\t");
    } else if (c == u'\\' || c == u'"') {
      out.push_back(u'\\');
      out.push_back(c);
    } else if (IsControl(c)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(c));
      append(escape);
    } else {
      out.push_back(c);
    }
  }
  out.push_back(u'"');
  return Utf16ToUtf8(out);
}

std::string Lines(std::u16string_view text) {  // CR LF to LF for a terminal
  std::u16string t(text);
  std::u16string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n') continue;
    out.push_back(t[i]);
  }
  return Utf16ToUtf8(out);
}

enum class Mode { Report, AllSeries, Candidates, Tolerance, Netlist };

struct Option {
  const char* name;
  std::u16string* text;
  bool* given = nullptr;
};

struct Arguments {
  vm::ReportSource src = vm::InitialWindowTexts();
  std::u16string series = u"24";
  bool crlf = false;
  std::vector<Mode> modes;
  std::u16string seriesList, format, samples, seed, dist, tolerance;
  std::u16string netlistPath;  // empty or "-": standard output
  bool seriesGiven = false, seriesListGiven = false, formatGiven = false, samplesGiven = false,
       seedGiven = false, distGiven = false, toleranceGiven = false;
  bool version = false;
};

int Usage(const std::string& message) {
  WriteErr("velmora-cli: " + message + " (see --help)\n");
  return kUsage;
}

int BadValue(const char* option, const std::u16string& text, const char* expected) {
  WriteErr("velmora-cli: " + std::string(option) + ": " + Quoted(text) + " is not " + expected + "\n");
  return kBadValue;
}

// Refuses a text with a control character: taken into a report or a table
// it could forge lines there, and echoed raw it would drive the terminal.
int CheckText(const std::string& option, const std::u16string& text) {
  for (const char16_t c : text) {
    if (IsControl(c)) {
      WriteErr("velmora-cli: " + option + ": " + Quoted(text) + " contains a control character\n");
      return kBadValue;
    }
  }
  return kOk;
}

// Reads the arguments into `a`; returns kOk, or the exit code after a message
// (kOk with `help` set after --help).
int Parse(const std::vector<std::u16string>& args, Arguments& a, bool& help) {
  const Option options[] = {{"--zo", &a.src.EditZo},
                            {"--gain", &a.src.EditGain},
                            {"--r1", &a.src.EditR1},
                            {"--r3", &a.src.EditR3},
                            {"--r5", &a.src.EditR5},
                            {"--series", &a.series, &a.seriesGiven},
                            {"--series-list", &a.seriesList, &a.seriesListGiven},
                            {"--format", &a.format, &a.formatGiven},
                            {"--samples", &a.samples, &a.samplesGiven},
                            {"--seed", &a.seed, &a.seedGiven},
                            {"--dist", &a.dist, &a.distGiven}};

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string arg = Utf16ToUtf8(args[i]);
    if (arg == "--version") {
      a.version = true;
      return kOk;
    }
    if (arg == "--help" || arg == "-h") {
      help = true;
      return kOk;
    }
    if (arg == "--crlf") {
      a.crlf = true;
      continue;
    }
    if (arg == "--all-series" || arg == "--candidates") {
      a.modes.push_back(arg == "--all-series" ? Mode::AllSeries : Mode::Candidates);
      continue;
    }
    if (arg == "--tolerance" || arg.rfind("--tolerance=", 0) == 0) {
      a.modes.push_back(Mode::Tolerance);
      if (arg != "--tolerance") {
        a.tolerance = args[i].substr(12);
        a.toleranceGiven = true;
      } else if (i + 1 < args.size() && args[i + 1].rfind(u"--", 0) != 0) {
        a.tolerance = args[++i];
        a.toleranceGiven = true;
      }
      if (const int code = CheckText("--tolerance", a.tolerance); code != kOk) return code;
      continue;
    }
    if (arg == "--netlist" || arg.rfind("--netlist=", 0) == 0) {
      a.modes.push_back(Mode::Netlist);
      if (arg != "--netlist") a.netlistPath = args[i].substr(10);
      else if (i + 1 < args.size() && args[i + 1].rfind(u"--", 0) != 0) a.netlistPath = args[++i];
      if (const int code = CheckText("--netlist", a.netlistPath); code != kOk) return code;
      continue;
    }
    bool matched = false;
    for (const Option& o : options) {
      const std::string name = o.name;
      if (arg == name) {
        if (i + 1 >= args.size()) return Usage(name + " needs a value");
        *o.text = args[++i];
        matched = true;
      } else if (arg.rfind(name + "=", 0) == 0) {
        *o.text = args[i].substr(name.size() + 1);
        matched = true;
      }
      if (matched) {
        if (o.given != nullptr) *o.given = true;
        if (const int code = CheckText(name, *o.text); code != kOk) return code;
        break;
      }
    }
    if (!matched) return Usage("unknown argument " + Quoted(args[i]));
  }

  if (a.modes.size() > 1) return Usage("choose one of --all-series, --candidates, --tolerance and --netlist");
  const Mode mode = a.modes.empty() ? Mode::Report : a.modes[0];
  const struct {
    bool given;
    const char* option;
    Mode needs;
    const char* needsName;
  } belongs[] = {{a.seriesListGiven, "--series-list", Mode::AllSeries, "--all-series"},
                 {a.samplesGiven, "--samples", Mode::Tolerance, "--tolerance"},
                 {a.seedGiven, "--seed", Mode::Tolerance, "--tolerance"},
                 {a.distGiven, "--dist", Mode::Tolerance, "--tolerance"}};
  for (const auto& b : belongs) {
    if (b.given && mode != b.needs) return Usage(std::string(b.option) + " needs " + b.needsName);
  }
  if (a.formatGiven && (mode == Mode::Report || mode == Mode::Netlist))
    return Usage("--format needs --all-series, --candidates or --tolerance");
  if (a.seriesGiven && mode == Mode::AllSeries)
    return Usage("--all-series takes its series from --series-list, not --series");
  return kOk;
}

// The decimal whole number in `text`, nothing else around it.
std::optional<std::uint64_t> ParseCount(const std::u16string& text) {
  const std::string s = Utf16ToUtf8(text);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// A plain decimal number with an optional "%" after it, 0 <= PCT < 100.
std::optional<double> ParsePercent(const std::u16string& text) {
  std::string s = Utf16ToUtf8(text);
  if (!s.empty() && s.back() == '%') s.pop_back();
  double value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (!(value >= 0.0 && value < 100.0)) return std::nullopt;
  return value;
}

int ReadFormat(const Arguments& a, ve::TableFormat& format) {
  const std::string f = Utf16ToUtf8(a.format);
  if (!a.formatGiven || f == "text") format = ve::TableFormat::Text;
  else if (f == "csv") format = ve::TableFormat::Csv;
  else if (f == "json") format = ve::TableFormat::Json;
  else return BadValue("--format", a.format, "text, csv or json");
  return kOk;
}

int ReadToleranceSettings(const Arguments& a, std::int32_t er, ve::ToleranceSettings& t) {
  t.pct = ve::CustomaryTolerancePct(er);
  if (a.toleranceGiven) {
    const std::optional<double> pct = ParsePercent(a.tolerance);
    if (!pct) return BadValue("--tolerance", a.tolerance, "a percentage from 0 to below 100");
    t.pct = *pct;
  }
  if (a.samplesGiven) {
    const std::optional<std::uint64_t> n = ParseCount(a.samples);
    if (!n || *n == 0 || *n > kMaxSamples) return BadValue("--samples", a.samples, "a whole number from 1 to 10000000");
    t.samples = *n;
  }
  if (a.seedGiven) {
    const std::optional<std::uint64_t> s = ParseCount(a.seed);
    if (!s) return BadValue("--seed", a.seed, "a whole number from 0 to 18446744073709551615");
    t.seed = *s;
  }
  if (a.distGiven) {
    const std::string d = Utf16ToUtf8(a.dist);
    if (d == "uniform") t.distribution = ve::Distribution::Uniform;
    else if (d == "normal") t.distribution = ve::Distribution::Normal;
    else return BadValue("--dist", a.dist, "uniform or normal");
  }
  return kOk;
}

// Names each input that is not a number; true when there was one.
bool ReportNotANumber(const vm::ReportSource& src) {
  using velmora::common::StrToValue;
  const std::pair<const char*, const std::u16string*> inputs[] = {
      {"--gain", &src.EditGain}, {"--zo", &src.EditZo}, {"--r1", &src.EditR1},
      {"--r3", &src.EditR3},     {"--r5", &src.EditR5}};
  bool any = false;
  for (const auto& [name, text] : inputs) {
    if (std::isnan(StrToValue(*text))) {
      WriteErr("velmora-cli: " + std::string(name) + ": " + Quoted(*text) + " is not a number\n");
      any = true;
    }
  }
  return any;
}

int ReportFault(vc::FpFault fault) {
  const std::u16string text = vc::ErrorBoxText(Utf8ToUtf16(vc::FaultMessage(fault)));
  WriteErr("velmora-cli: " + Utf16ToUtf8(text) + "\n");
  return kFloatingPoint;
}

// The window's warning for an outcome and its exit code; kOk for Success.
int ReportOutcome(const vm::ReportSource& src, vm::DesignOutcome outcome) {
  switch (outcome) {
    case vm::DesignOutcome::NotANumber:
      ReportNotANumber(src);
      return kNotANumber;
    case vm::DesignOutcome::R5TooLarge:
      WriteErr(Lines(vm::kR5TooLargeText) + "\n");
      return kR5TooLarge;
    case vm::DesignOutcome::R3TooSmall:
      WriteErr(Lines(vm::kR3TooSmallText) + "\n");
      return kR3TooSmall;
    case vm::DesignOutcome::Success:
      break;
  }
  return kOk;
}

// The series number of a selector text, as the window reads it. A text that
// is not a whole number means no series there too, but silently; here it is
// noted, except for the texts that say "no series" on purpose.
std::int32_t ReadSeries(const char* option, std::u16string_view text, const char* consequence) {
  const std::optional<std::int32_t> er = vm::ReadWholeNumber(text);
  if (!er && !text.empty() && text != u"∞")
    WriteErr("velmora-cli: " + std::string(option) + ": " + Quoted(text) + " is not a whole number; " +
             consequence + "\n");
  return er.value_or(0);
}

std::int32_t ReadSeries(const Arguments& a) { return ReadSeries("--series", a.series, "no series is used"); }

std::vector<std::int32_t> ReadSeriesList(const Arguments& a) {
  if (!a.seriesListGiven) return ve::DefaultSeriesList();
  std::vector<std::int32_t> list;
  for (const std::u16string_view entry : ve::SeriesListEntries(a.seriesList))
    list.push_back(ReadSeries("--series-list", entry, "its row uses no series"));
  return list;
}

ve::DesignInputs InputsOf(const vm::ReportSource& src) {
  using velmora::common::StrToValue;
  return {StrToValue(src.EditGain), StrToValue(src.EditZo), StrToValue(src.EditR1), StrToValue(src.EditR3),
          StrToValue(src.EditR5)};
}

// Writes `text` into a new file at `path` (replacing one that is there);
// kOk, or kWriteFailed after a message naming the file.
int WriteFile(const std::u16string& path, std::string_view text) {
#ifdef _WIN32
  std::FILE* f = _wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"wb");
#else
  std::FILE* f = std::fopen(Utf16ToUtf8(path).c_str(), "wb");
#endif
  int error = errno;
  if (f != nullptr) {
    vc::CheckedWriter file(f);
    file.Write(text);
    file.Close();
    if (file.ok()) return kOk;
    error = file.error();
  }
  WriteErr("velmora-cli: cannot write " + Quoted(path) + ": " + std::string(std::strerror(error)) + "\n");
  return kWriteFailed;
}

// The report, or with --netlist the netlist of the same design (to a file
// beside the report, or alone on standard output).
int RunReport(Arguments& a, Mode mode, vc::CheckedWriter& out) {
  const std::int32_t er = ReadSeries(a);
  const ve::DesignInputs in = InputsOf(a.src);
  vm::DesignState state;
  try {
    const int code = ReportOutcome(a.src, vm::SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, er, state));
    if (code != kOk) return code;
    vm::PutResults(a.src, vm::ComposeResults(state));
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
  const std::string newline = a.crlf ? "\r\n" : "\n";
  if (mode == Mode::Netlist) {
    const velmora::explore::NetlistInputs texts{Utf16ToUtf8(a.src.EditZo), Utf16ToUtf8(a.src.EditGain),
                                                Utf16ToUtf8(a.src.EditR1), Utf16ToUtf8(a.src.EditR3),
                                                Utf16ToUtf8(a.src.EditR5), Utf16ToUtf8(a.series)};
    const std::string netlist = velmora::explore::MakeNetlist(texts, state, newline);
    if (a.netlistPath.empty() || a.netlistPath == u"-") {
      out.Write(netlist);
      return kOk;
    }
    if (const int code = WriteFile(a.netlistPath, netlist); code != kOk) return code;
  }
  out.Write(Utf16ToUtf8(vm::MakeReport(a.src, Utf8ToUtf16(newline))));
  return kOk;
}

int RunExplorer(const Arguments& a, Mode mode, vc::CheckedWriter& out) {
  ve::TableFormat format = ve::TableFormat::Text;
  if (const int code = ReadFormat(a, format); code != kOk) return code;
  const std::int32_t er = ReadSeries(a);
  ve::ToleranceSettings settings;
  if (mode == Mode::Tolerance) {
    if (const int code = ReadToleranceSettings(a, er, settings); code != kOk) return code;
  }
  if (ReportNotANumber(a.src)) return kNotANumber;
  const ve::DesignInputs in = InputsOf(a.src);
  const std::string newline = a.crlf ? "\r\n" : "\n";
  auto print = [&](const std::vector<ve::Table>& tables) {
    out.Write(ve::RenderTables(tables, format, newline));
  };

  if (mode == Mode::AllSeries) {
    print(ve::SeriesTables(in, ve::ExploreSeries(in, ReadSeriesList(a))));
    return kOk;
  }
  if (mode == Mode::Candidates) {
    const ve::SearchTrace trace = ve::TraceSearch(in, er);
    print(ve::SearchTables(in, trace));
    out.Flush();
    if (trace.result.fault) return ReportFault(*trace.result.fault);
    return ReportOutcome(a.src, trace.result.outcome);
  }

  vm::DesignState state;
  try {
    const int code = ReportOutcome(a.src, vm::SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, er, state));
    if (code != kOk) return code;
    const ve::ToleranceReport report = ve::AnalyseTolerance(state, settings);
    const std::string warning = ve::UnstableWarning(report);
    if (!warning.empty() && format == ve::TableFormat::Text) out.Write("!!! " + warning + newline + newline);
    print(ve::ToleranceTables(report));
    out.Flush();
    if (warning.empty()) return kOk;
    WriteErr("velmora-cli: " + warning + "\n");
    return kUnstable;
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
}

int Run(const std::vector<std::u16string>& args, vc::CheckedWriter& out) {
  Arguments a;
  bool help = false;
  if (const int code = Parse(args, a, help); code != kOk) return code;
  if (help) {
    out.Write(kHelp);
    return kOk;
  }
  if (a.version) {
    const std::uint32_t ms = (std::uint32_t{VELMORA_VERSION_MAJOR} << 16) | VELMORA_VERSION_MINOR;
    out.Write("velmora-cli " + Utf16ToUtf8(vm::VersionTextFrom(ms)) + " (" VELMORA_VERSION_STRING ")\n");
    return kOk;
  }
  const Mode mode = a.modes.empty() ? Mode::Report : a.modes[0];
  if (mode == Mode::Report || mode == Mode::Netlist) return RunReport(a, mode, out);
  return RunExplorer(a, mode, out);
}

// Runs the program with standard output written through one checked writer:
// output that did not arrive, however far it got, ends in kWriteFailed.
int RunChecked(const std::vector<std::u16string>& args) {
  vc::CheckedWriter out(stdout);
  const int code = Run(args, out);
  out.Close();
  if (out.ok()) return code;
  WriteErr("velmora-cli: cannot write the output: " + std::string(std::strerror(out.error())) + "\n");
  return kWriteFailed;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);            // the texts are written as UTF-8
  _setmode(_fileno(stdout), _O_BINARY);  // the report's line ends are ours
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    std::wstring_view w(argv[i]);
    args.emplace_back(w.begin(), w.end());
  }
  return RunChecked(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i]));
  return RunChecked(args);
}
#endif
