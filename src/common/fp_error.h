// Floating-point faults of the calculation, raised by explicit checks after
// each operation (no hardware traps).
#pragma once

#include <stdexcept>
#include <string>

namespace velmora::common {

enum class FpFault { DivideByZero, Invalid, Overflow };

// The program's message for a fault, without a trailing full stop:
// "Floating point division by zero", "Invalid floating point operation",
// "Floating point overflow".
const char* FaultMessage(FpFault fault) noexcept;

class FloatingPointError : public std::runtime_error {
 public:
  explicit FloatingPointError(FpFault fault)
      : std::runtime_error(FaultMessage(fault)), fault_(fault) {}
  FpFault fault() const noexcept { return fault_; }

 private:
  FpFault fault_;
};

[[noreturn]] void RaiseFault(FpFault fault);

// The text of the top-level error box: the message with a full stop appended
// when its last character has a code above that of the full stop.
std::u16string ErrorBoxText(std::u16string_view message);

}  // namespace velmora::common
