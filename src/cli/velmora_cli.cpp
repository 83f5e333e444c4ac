// velmora-cli: the design calculation on the command line. Reads each option
// exactly as the window reads the matching box and prints the report that the
// window's Copy command would place on the clipboard, or, with one of the
// explorer options, a table of every series, of the neighbour search or of
// the circuit's spread under resistor tolerance.
//
// Three steps, each finished before the next begins: the arguments are split
// into option texts (arguments.h), the texts are read into typed settings
// (settings.h), and the chosen mode runs on the settings alone.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/diagnostics.h"
#include "cli/frequency_run.h"
#include "cli/settings.h"
#include "common/checked_writer.h"
#include "common/fp_error.h"
#include "common/utf.h"
#include "common/whole_file.h"
#include "explore/explorer.h"
#include "explore/explorer_tables.h"
#include "explore/histogram_picture.h"
#include "explore/table.h"
#include "explore/tolerance_analysis.h"
#include "main/design.h"
#include "main/texts.h"
#include "main/report.h"
#include "main/version_text.h"
#include "velmora_version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

using namespace velmora::cli;
using velmora::common::Utf16ToUtf8;
using velmora::common::Utf8ToUtf16;
namespace vm = velmora::main;
namespace vc = velmora::common;
namespace ve = velmora::explore;

constexpr const char* kHelp =
    "Usage: velmora-cli [--zo T] [--gain T] [--r1 T] [--r3 T] [--r5 T] [--series T] [--crlf]\n"
    "       velmora-cli [inputs] --all-series [--series-list L] [--format F]\n"
    "       velmora-cli [inputs] --candidates [--format F]\n"
    "       velmora-cli [inputs] --tolerance [PCT] [--samples N] [--seed S] [--dist D]\n"
    "                   [--accept-zo PCT] [--accept-gain DB] [--plot PATH] [--format F]\n"
    "       velmora-cli [inputs] --netlist [PATH] [op-amp options]\n"
    "       velmora-cli [inputs] --frequency [--opamp NAME] [--a0 DB] [--gbw HZ] [--f2 HZ]\n"
    "                   [--ro OHM] [--cload F] [--en V] [--in A] [--vmax V] [--imax A]\n"
    "                   [--temp C] [--fmin HZ] [--fmax HZ] [--per-decade N] [--plot PATH]\n"
    "                   [--format F]\n"
    "       velmora-cli --opamp list [--format F]\n"
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
    "                   (0 <= PCT < 100; 0 is a nominal-only run, every sample\n"
    "                   the nominal circuit; default: the series' customary\n"
    "                   tolerance, 3 and 6 20 %, 12 10 %, 24 5 %, 48 2 %, 96 1 %,\n"
    "                   192 0.5 %, otherwise 1 %): the true worst case over the\n"
    "                   tolerance box, a Monte Carlo run, each resistor's\n"
    "                   sensitivity, and the yield: the share of samples inside\n"
    "                   both acceptance windows (unstable ones count as outside)\n"
    "                   with its 95 % Wilson score interval\n"
    "  --netlist [PATH] the designed stage (the report's resistors) as a SPICE\n"
    "                   netlist for ngspice or LTspice: the op-amp as the\n"
    "                   five-pin subcircuit OPAMP (ideal; replace it by a vendor\n"
    "                   model), the load Zo, a DC analysis and .meas lines for\n"
    "                   zo, gain_db, zio and eta, with Velmora's own figures in\n"
    "                   comments. Written to PATH (UTF-8) while the report goes\n"
    "                   to standard output; without PATH, or with \"-\", to\n"
    "                   standard output instead of the report (an empty PATH is\n"
    "                   refused). No netlist after a warning or a floating-point\n"
    "                   error\n"
    "  --samples N      Monte Carlo samples, 1 to 10000000   (default 100000)\n"
    "  --seed S         generator seed, 0 to 2^64-1; the same seed gives the same\n"
    "                   figures on every platform            (default 1)\n"
    "  --dist D         uniform (within +-PCT) or normal (PCT is 3 sigma)\n"
    "                                                        (default uniform)\n"
    "  --accept-zo PCT  acceptance window of the yield: the achieved Zo within\n"
    "                   +-PCT % of the wanted Zo, 0 < PCT < 100  (default 10)\n"
    "  --accept-gain DB  and the achieved gain within +-DB dB of the wanted\n"
    "                   gain, DB > 0                          (default 1)\n"
    "  --plot PATH      also write the histograms of the achieved Zo and gain as\n"
    "                   an SVG picture to PATH: one bar per bin, the acceptance\n"
    "                   window shaded, the nominal, the worst case and the 1st\n"
    "                   and 99th percentiles marked\n"
    "  --format F       text (aligned, SI prefixes), csv or json (plain numbers in\n"
    "                   base units at full precision: ohms, dB, eta as a fraction)\n"
    "                                                        (default text)\n"
    "\n"
    "Exit status:\n"
    "  0  success: the report or the tables are on standard output\n"
    "  2  bad usage (unknown option, missing value or empty PATH, a mode given\n"
    "     twice, options that do not go together)\n"
    "  3  a value is not a number (the option and its text are named)\n"
    "  4  R5 is too large (more than two thirds of Zo)\n"
    "  5  R3 is too small (R3 + R4 below twice Zo)\n"
    "  6  a floating-point error ended the calculation\n"
    "  7  an option has a bad value: a text with a control character, or an\n"
    "     explorer option's value (--format, --dist, --samples, --seed, the\n"
    "     tolerance PCT, --accept-zo, --accept-gain); the option and its text\n"
    "     are named\n"
    "  8  --tolerance: some circuits within the tolerance have no positive, finite\n"
    "     output impedance (unstable); the tables are printed and a warning goes\n"
    "     to standard error\n"
    "  9  the output could not be written (a full disk, a closed standard output,\n"
    "     a --netlist or --plot PATH that cannot be created);\n"
    "     this status takes the place of any other\n"
    "--candidates prints its tables and then exits with the design's outcome (4, 5\n"
    "or 6 as above); --all-series exits 0 once its table is printed, each row\n"
    "telling its own outcome; --tolerance analyses only a design that succeeds.\n";

std::string Lines(std::u16string_view text) {  // CR LF to LF for a terminal
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    out.push_back(text[i]);
  }
  return Utf16ToUtf8(out);
}

// The window's message for a floating-point fault on standard error; kFloatingPoint.
int ReportFault(vc::FpFault fault) {
  const std::u16string text = vc::ErrorBoxText(Utf8ToUtf16(vc::FaultMessage(fault)));
  WriteErr("velmora-cli: " + Utf16ToUtf8(text) + "\n");
  return kFloatingPoint;
}

// The window's warning for an outcome on standard error and its exit code;
// kOk for Success. Inputs that are not numbers were refused with the
// settings, before any design was made.
int ReportOutcome(vm::DesignOutcome outcome) {
  switch (outcome) {
    case vm::DesignOutcome::NotANumber:
      return kNotANumber;
    case vm::DesignOutcome::R5TooLarge:
      WriteErr(Lines(vm::texts::R5TooLarge) + "\n");
      return kR5TooLarge;
    case vm::DesignOutcome::R3TooSmall:
      WriteErr(Lines(vm::texts::R3TooSmall) + "\n");
      return kR3TooSmall;
    case vm::DesignOutcome::Success:
      break;
  }
  return kOk;
}

// SolveDesign on the settings' inputs and series; kOk, or the exit code
// after the warning or fault message.
int Solve(const Settings& s, vm::DesignState& state) {
  try {
    return ReportOutcome(vm::SolveDesign(s.inputs, state));
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
}

// Writes `text` into the file at `path`, whole or not at all (a file that
// was there stays as it was when the write fails); kOk, or kWriteFailed
// after a message naming the file.
int WriteFile(const std::u16string& path, std::string_view text) {
  const int error = vc::WriteAllOrNothing(path, text);
  if (error == 0) return kOk;
  WriteErr("velmora-cli: cannot write " + Quoted(path) + ": " + std::string(std::strerror(error)) + "\n");
  return kWriteFailed;
}

// The report, or in Mode::Netlist the netlist of the same design (to a file
// beside the report, or alone on standard output).
int RunReport(const Settings& s, vc::CheckedWriter& out) {
  vm::DesignState state;
  if (const int code = Solve(s, state); code != kOk) return code;
  vm::ReportSource report = s.texts;
  try {
    vm::PutResults(report, vm::ComposeResults(state));
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
  if (s.mode == Mode::Netlist) {
    const std::string netlist = StageNetlist(s, state);
    if (!s.netlistFile) {
      out.Write(netlist);
      return kOk;
    }
    if (const int code = WriteFile(*s.netlistFile, netlist); code != kOk) return code;
  }
  out.Write(Utf16ToUtf8(vm::MakeReport(report, Utf8ToUtf16(s.newline))));
  return kOk;
}

// `tables` in the settings' format and line ends.
void Print(const Settings& s, const std::vector<ve::Table>& tables, vc::CheckedWriter& out) {
  out.Write(ve::RenderTables(tables, s.format, s.newline));
}

// One row per series of the list, each with its own outcome; always kOk.
int RunAllSeries(const Settings& s, vc::CheckedWriter& out) {
  Print(s, ve::SeriesTables(s.inputs, ve::ExploreSeries(s.inputs, s.seriesList)), out);
  return kOk;
}

// The neighbour search's tables, then the design's outcome as its exit code.
int RunCandidates(const Settings& s, vc::CheckedWriter& out) {
  const ve::SearchTrace trace = ve::TraceSearch(s.inputs);
  Print(s, ve::SearchTables(s.inputs, trace), out);
  out.Flush();
  if (trace.result.fault) return ReportFault(*trace.result.fault);
  return ReportOutcome(trace.result.outcome);
}

// The tolerance tables of a design that succeeds; kUnstable, with the
// warning above the text tables and on standard error, when some circuit
// within the tolerance is unstable.
int RunTolerance(const Settings& s, vc::CheckedWriter& out) {
  vm::DesignState state;
  if (const int code = Solve(s, state); code != kOk) return code;
  try {
    const ve::ToleranceReport report = ve::AnalyseTolerance(state, s.tolerance);
    if (s.plotFile) {
      const std::string svg =
          ve::HistogramSvg(ve::HistogramOf(report, ve::Figure::Zo), ve::HistogramOf(report, ve::Figure::GainDb));
      if (const int code = WriteFile(*s.plotFile, svg); code != kOk) return code;
    }
    const std::string warning = ve::UnstableWarning(report);
    if (!warning.empty() && s.format == ve::TableFormat::Text)
      out.Write("!!! " + warning + s.newline + s.newline);
    Print(s, ve::ToleranceTables(report), out);
    out.Flush();
    if (warning.empty()) return kOk;
    WriteErr("velmora-cli: " + warning + "\n");
    return kUnstable;
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
}

// The frequency analysis of a design that succeeds.
int RunFrequencyMode(const Settings& s, vc::CheckedWriter& out) {
  vm::DesignState state;
  if (const int code = Solve(s, state); code != kOk) return code;
  try {
    return RunFrequency(s, state, out, WriteFile);
  } catch (const vc::FloatingPointError& e) {
    return ReportFault(e.fault());
  }
}

// The chosen mode on the settings; its exit code.
int RunMode(const Settings& s, vc::CheckedWriter& out) {
  switch (s.mode) {
    case Mode::Report:
    case Mode::Netlist:
      return RunReport(s, out);
    case Mode::AllSeries:
      return RunAllSeries(s, out);
    case Mode::Candidates:
      return RunCandidates(s, out);
    case Mode::Tolerance:
      return RunTolerance(s, out);
    case Mode::Frequency:
      return RunFrequencyMode(s, out);
  }
  return kOk;
}

std::string VersionLine() {
  const std::uint32_t ms = (std::uint32_t{VELMORA_VERSION_MAJOR} << 16) | VELMORA_VERSION_MINOR;
  return "velmora-cli " + Utf16ToUtf8(vm::VersionTextFrom(ms)) + " (" VELMORA_VERSION_STRING ")\n";
}

// The arguments, then the settings, then the run; the exit code of the first
// step that fails, after its message.
int Run(const std::vector<std::u16string>& args, vc::CheckedWriter& out) {
  OptionTexts texts;
  if (const int code = ParseArguments(args, texts); code != kOk) return code;
  switch (texts.request) {
    case Request::Help: {
      const std::string_view help = kHelp;
      const std::size_t statuses = help.find("\nExit status:") + 1;
      out.Write(help.substr(0, statuses));
      out.Write(kFrequencyHelp);
      out.Write(help.substr(statuses));
      return kOk;
    }
    case Request::Version:
      out.Write(VersionLine());
      return kOk;
    case Request::Run:
      break;
  }
  Settings settings;
  if (const int code = ReadSettings(texts, settings); code != kOk) return code;
  if (settings.frequency.listPresets) return PrintPresets(settings, out);
  return RunMode(settings, out);
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
  // Beyond a file size limit (ulimit -f) a write then fails with EFBIG, which
  // is reported and cleaned up like a full disk, instead of ending the
  // program half-way with the new file's remains beside the old one.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i]));
  return RunChecked(args);
}
#endif
