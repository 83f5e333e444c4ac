// velmora-cli's exit codes and its messages on standard error.
#pragma once

#include <string>
#include <string_view>

namespace velmora::cli {

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

// Writes `s` to standard error as it is (the program's output goes through
// a CheckedWriter instead).
void WriteErr(const std::string& s);

// U+0000 to U+001F and U+007F to U+009F.
bool IsControl(char16_t c);

// `text` as UTF-8 in double quotes, fit for a terminal: control characters,
// the backslash and the quote are written as escapes ("\n", "\x1b", "\u0085").
std::string Quoted(std::u16string_view text);

// "velmora-cli: MESSAGE (see --help)" on standard error; returns kUsage.
int Usage(const std::string& message);

// "velmora-cli: OPTION: "TEXT" is not EXPECTED" on standard error; returns kBadValue.
int BadValue(const char* option, std::u16string_view text, const char* expected);

}  // namespace velmora::cli
