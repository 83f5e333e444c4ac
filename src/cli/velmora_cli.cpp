// velmora-cli: the design calculation on the command line. Reads each option
// exactly as the window reads the matching box and prints the report that the
// window's Copy command would place on the clipboard.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/fp_error.h"
#include "common/numtext.h"
#include "common/utf.h"
#include "main/design.h"
#include "main/messages.h"
#include "main/report.h"
#include "main/series_text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

using velmora::common::Utf16ToUtf8;
using velmora::common::Utf8ToUtf16;
namespace vm = velmora::main;

enum ExitCode : int {
  kOk = 0,
  kUsage = 2,
  kNotANumber = 3,
  kR5TooLarge = 4,
  kR3TooSmall = 5,
  kFloatingPoint = 6,
};

constexpr const char* kHelp =
    "Usage: velmora-cli [--zo T] [--gain T] [--r1 T] [--r3 T] [--r5 T] [--series T] [--crlf]\n"
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
    "\n"
    "Each T is read exactly as the window reads its box: an optional SI prefix\n"
    "letter (p n u m k M G T, also full-width), exponent form (1.2e-6), RKM\n"
    "notation (4k7, 2R2); commas and spaces are ignored.\n"
    "Options may also be written --zo=T.\n"
    "\n"
    "Exit status:\n"
    "  0  success: the report is on standard output\n"
    "  2  bad usage\n"
    "  3  a value is not a number (the option and its text are named)\n"
    "  4  R5 is too large (more than two thirds of Zo)\n"
    "  5  R3 is too small (R3 + R4 below twice Zo)\n"
    "  6  a floating-point error ended the calculation\n";

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

struct Option {
  const char* name;
  std::u16string* text;
};

int Run(const std::vector<std::u16string>& args) {
  vm::ReportSource src = vm::DefaultCaptions();
  src.EditZo = u"600";
  src.EditGain = u"0.0";
  src.EditR1 = u"10k";
  src.EditR3 = u"10k";
  src.EditR5 = u"68";
  std::u16string series = u"24";
  bool crlf = false;

  const Option options[] = {{"--zo", &src.EditZo},   {"--gain", &src.EditGain},
                            {"--r1", &src.EditR1},   {"--r3", &src.EditR3},
                            {"--r5", &src.EditR5},   {"--series", &series}};

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string arg = Utf16ToUtf8(args[i]);
    if (arg == "--help" || arg == "-h") {
      WriteOut(stdout, kHelp);
      return kOk;
    }
    if (arg == "--crlf") {
      crlf = true;
      continue;
    }
    bool matched = false;
    for (const Option& o : options) {
      const std::string name = o.name;
      if (arg == name) {
        if (i + 1 >= args.size()) {
          std::fprintf(stderr, "velmora-cli: %s needs a value (see --help)\n", o.name);
          return kUsage;
        }
        *o.text = args[++i];
        matched = true;
      } else if (arg.rfind(name + "=", 0) == 0) {
        *o.text = args[i].substr(name.size() + 1);
        matched = true;
      }
      if (matched) break;
    }
    if (!matched) {
      std::fprintf(stderr, "velmora-cli: unknown argument \"%s\" (see --help)\n", arg.c_str());
      return kUsage;
    }
  }

  using velmora::common::StrToValue;
  const std::int32_t er = vm::StrToIntOrZero(series);
  const double gain = StrToValue(src.EditGain), zo = StrToValue(src.EditZo),
               r1 = StrToValue(src.EditR1), r3 = StrToValue(src.EditR3),
               r5 = StrToValue(src.EditR5);
  vm::DesignState state;
  try {
    switch (vm::SolveDesign(gain, zo, r1, r3, r5, er, state)) {
      case vm::DesignOutcome::NotANumber: {
        const std::pair<const char*, const std::u16string*> inputs[] = {
            {"--gain", &src.EditGain}, {"--zo", &src.EditZo}, {"--r1", &src.EditR1},
            {"--r3", &src.EditR3},     {"--r5", &src.EditR5}};
        for (const auto& [name, text] : inputs) {
          if (StrToValue(*text) != StrToValue(*text)) {
            std::fprintf(stderr, "velmora-cli: %s: \"%s\" is not a number\n", name,
                         Utf16ToUtf8(*text).c_str());
          }
        }
        return kNotANumber;
      }
      case vm::DesignOutcome::R5TooLarge:
        WriteOut(stderr, Lines(vm::kR5TooLargeText) + "\n");
        return kR5TooLarge;
      case vm::DesignOutcome::R3TooSmall:
        WriteOut(stderr, Lines(vm::kR3TooSmallText) + "\n");
        return kR3TooSmall;
      case vm::DesignOutcome::Success:
        break;
    }
    vm::PutResults(src, vm::ComposeResults(state));
  } catch (const velmora::common::FloatingPointError& e) {
    const std::u16string text = velmora::common::ErrorBoxText(Utf8ToUtf16(e.what()));
    WriteOut(stderr, "velmora-cli: " + Utf16ToUtf8(text) + "\n");
    return kFloatingPoint;
  }
  const std::u16string report = vm::MakeReport(src, crlf ? u"\r\n" : u"\n");
  WriteOut(stdout, Utf16ToUtf8(report));
  return kOk;
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
