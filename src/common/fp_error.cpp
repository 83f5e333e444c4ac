#include "common/fp_error.h"

namespace velmora::common {

const char* FaultMessage(FpFault fault) noexcept {
  switch (fault) {
    case FpFault::DivideByZero: return "Floating point division by zero";
    case FpFault::Invalid: return "Invalid floating point operation";
    case FpFault::Overflow: return "Floating point overflow";
  }
  return "Invalid floating point operation";
}

void RaiseFault(FpFault fault) { throw FloatingPointError(fault); }

std::u16string ErrorBoxText(std::u16string_view message) {
  std::u16string text(message);
  if (!text.empty() && text.back() > u'.') text.push_back(u'.');
  return text;
}

}  // namespace velmora::common
