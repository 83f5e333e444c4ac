// velmora-cli: the design calculation on the command line. Reads each option
// exactly as the window reads the matching box and prints the report that the
// window's Copy command would place on the clipboard, or, with one of the
// explorer options, a table of every series, of the neighbour search or of
// the circuit's spread under resistor tolerance.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fp_error.h"
#include "common/numtext.h"
#include "common/table.h"
#include "common/utf.h"
#include "main/design.h"
#include "main/explorer.h"
#include "main/messages.h"
#include "main/report.h"
#include "main/series_text.h"
#include "main/tolerance.h"
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

enum ExitCode : int {
  kOk = 0,
  kUsage = 2,
  kNotANumber = 3,
  kR5TooLarge = 4,
  kR3TooSmall = 5,
  kFloatingPoint = 6,
  kBadValue = 7,
  kUnstable = 8,
};

constexpr const char* kHelp =
    "Usage: velmora-cli [--zo T] [--gain T] [--r1 T] [--r3 T] [--r5 T] [--series T] [--crlf]\n"
    "       velmora-cli [inputs] --all-series [--series-list L] [--format F]\n"
    "       velmora-cli [inputs] --candidates [--format F]\n"
    "       velmora-cli [inputs] --tolerance [PCT] [--samples N] [--seed S] [--dist D] [--format F]\n"
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
    "              whole number; \"∞\", \"0\", an empty text or anything that is\n"
    "              not a whole number means no series    (default \"24\")\n"
    "  --crlf      end lines with CR LF (default: LF)\n"
    "  --help      show this text\n"
    "  --version   show the version (the one in the window's title) and exit\n"
    "\n"
    "Each T is read exactly as the window reads its box: an optional SI prefix\n"
    "letter (p n u m k M G T, also full-width), exponent form (1.2e-6), RKM\n"
    "notation (4k7, 2R2); commas and spaces are ignored.\n"
    "Options may also be written --zo=T.\n"
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
    "  7  an explorer option has a bad value (--format, --dist, --samples, --seed,\n"
    "     the tolerance PCT; the option and its text are named)\n"
    "  8  --tolerance: some circuits within the tolerance have no positive, finite\n"
    "     output impedance (unstable); the tables are printed and a warning goes\n"
    "     to standard error\n"
    "--candidates prints its tables and then exits with the design's outcome (4, 5\n"
    "or 6 as above); --all-series exits 0 once its table is printed, each row\n"
    "telling its own outcome; --tolerance analyses only a design that succeeds.\n";

constexpr std::uint64_t kMaxSamples = 10000000;

void WriteOut(FILE* f, const std::string& s) { std::fwrite(s.data(), 1, s.size(), f); }

std::string Lines(std::u16string_view text) {  // CR LF to LF for a terminal
  std::u16string t(text);
  std::u16string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n') continue;
    out.push_back(t[i]);
  }
  return Utf16ToUtf8(out);
}

enum class Mode { Report, AllSeries, Candidates, Tolerance };

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
  bool seriesGiven = false, seriesListGiven = false, formatGiven = false, samplesGiven = false,
       seedGiven = false, distGiven = false, toleranceGiven = false;
  bool version = false;
};

int Usage(const std::string& message) {
  WriteOut(stderr, "velmora-cli: " + message + " (see --help)\n");
  return kUsage;
}

int BadValue(const char* option, const std::u16string& text, const char* expected) {
  std::fprintf(stderr, "velmora-cli: %s: \"%s\" is not %s\n", option, Utf16ToUtf8(text).c_str(), expected);
  return kBadValue;
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
        break;
      }
    }
    if (!matched) return Usage("unknown argument \"" + arg + "\"");
  }

  if (a.modes.size() > 1) return Usage("choose one of --all-series, --candidates and --tolerance");
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
  if (a.formatGiven && mode == Mode::Report)
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

int ReadFormat(const Arguments& a, vc::TableFormat& format) {
  const std::string f = Utf16ToUtf8(a.format);
  if (!a.formatGiven || f == "text") format = vc::TableFormat::Text;
  else if (f == "csv") format = vc::TableFormat::Csv;
  else if (f == "json") format = vc::TableFormat::Json;
  else return BadValue("--format", a.format, "text, csv or json");
  return kOk;
}

int ReadToleranceSettings(const Arguments& a, std::int32_t er, vm::ToleranceSettings& t) {
  t.pct = vm::CustomaryTolerancePct(er);
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
    if (d == "uniform") t.distribution = vm::Distribution::Uniform;
    else if (d == "normal") t.distribution = vm::Distribution::Normal;
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
      std::fprintf(stderr, "velmora-cli: %s: \"%s\" is not a number\n", name, Utf16ToUtf8(*text).c_str());
      any = true;
    }
  }
  return any;
}

int ReportFault(vc::FpFault fault) {
  const std::u16string text = vc::ErrorBoxText(Utf8ToUtf16(vc::FaultMessage(fault)));
  WriteOut(stderr, "velmora-cli: " + Utf16ToUtf8(text) + "\n");
  return kFloatingPoint;
}

// The window's warning for an outcome and its exit code; kOk for Success.
int ReportOutcome(const vm::ReportSource& src, vm::DesignOutcome outcome) {
  switch (outcome) {
    case vm::DesignOutcome::NotANumber:
      ReportNotANumber(src);
      return kNotANumber;
    case vm::DesignOutcome::R5TooLarge:
      WriteOut(stderr, Lines(vm::kR5TooLargeText) + "\n");
      return kR5TooLarge;
    case vm::DesignOutcome::R3TooSmall:
      WriteOut(stderr, Lines(vm::kR3TooSmallText) + "\n");
      return kR3TooSmall;
    case vm::DesignOutcome::Success:
      break;
  }
  return kOk;
}

vm::DesignInputs InputsOf(const vm::ReportSource& src) {
  using velmora::common::StrToValue;
  return {StrToValue(src.EditGain), StrToValue(src.EditZo), StrToValue(src.EditR1), StrToValue(src.EditR3),
          StrToValue(src.EditR5)};
}

int RunReport(Arguments& a) {
  const std::int32_t er = vm::StrToIntOrZero(a.series);
  const vm::DesignInputs in = InputsOf(a.src);
  vm::DesignState state;
  try {
    const int code = ReportOutcome(a.src, vm::SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, er, state));
    if (code != kOk) return code;
    vm::PutResults(a.src, vm::ComposeResults(state));
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
  const std::u16string report = vm::MakeReport(a.src, a.crlf ? u"\r\n" : u"\n");
  WriteOut(stdout, Utf16ToUtf8(report));
  return kOk;
}

int RunExplorer(const Arguments& a, Mode mode) {
  vc::TableFormat format = vc::TableFormat::Text;
  if (const int code = ReadFormat(a, format); code != kOk) return code;
  const std::int32_t er = vm::StrToIntOrZero(a.series);
  vm::ToleranceSettings settings;
  if (mode == Mode::Tolerance) {
    if (const int code = ReadToleranceSettings(a, er, settings); code != kOk) return code;
  }
  if (ReportNotANumber(a.src)) return kNotANumber;
  const vm::DesignInputs in = InputsOf(a.src);
  const std::string newline = a.crlf ? "\r\n" : "\n";
  auto print = [&](const std::vector<vc::Table>& tables) {
    WriteOut(stdout, vc::RenderTables(tables, format, newline));
  };

  if (mode == Mode::AllSeries) {
    const std::vector<std::int32_t> list =
        a.seriesListGiven ? vm::ParseSeriesList(a.seriesList) : vm::DefaultSeriesList();
    print(vm::SeriesTables(in, vm::ExploreSeries(in, list)));
    return kOk;
  }
  if (mode == Mode::Candidates) {
    const vm::SearchTrace trace = vm::TraceSearch(in, er);
    print(vm::SearchTables(in, trace));
    std::fflush(stdout);
    if (trace.result.fault) return ReportFault(*trace.result.fault);
    return ReportOutcome(a.src, trace.result.outcome);
  }

  vm::DesignState state;
  try {
    const int code = ReportOutcome(a.src, vm::SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, er, state));
    if (code != kOk) return code;
    const vm::ToleranceReport report = vm::AnalyseTolerance(state, settings);
    const std::string warning = vm::UnstableWarning(report);
    if (!warning.empty() && format == vc::TableFormat::Text) WriteOut(stdout, "!!! " + warning + newline + newline);
    print(vm::ToleranceTables(report));
    std::fflush(stdout);
    if (warning.empty()) return kOk;
    WriteOut(stderr, "velmora-cli: " + warning + "\n");
    return kUnstable;
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
}

int Run(const std::vector<std::u16string>& args) {
  Arguments a;
  bool help = false;
  if (const int code = Parse(args, a, help); code != kOk) return code;
  if (help) {
    WriteOut(stdout, kHelp);
    return kOk;
  }
  if (a.version) {
    const std::uint32_t ms = (std::uint32_t{VELMORA_VERSION_MAJOR} << 16) | VELMORA_VERSION_MINOR;
    WriteOut(stdout, "velmora-cli " + Utf16ToUtf8(vm::VersionTextFrom(ms)) + " (" VELMORA_VERSION_STRING ")\n");
    return kOk;
  }
  if (a.modes.empty()) return RunReport(a);
  return RunExplorer(a, a.modes[0]);
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
  return Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i]));
  return Run(args);
}
#endif
