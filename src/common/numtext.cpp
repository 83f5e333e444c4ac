// The decimal separator that reading and writing numbers share: one setting
// for the whole program, changed when the regional settings change.
#include "common/numtext.h"

#include <atomic>

namespace velmora::common {
namespace {

std::atomic<char16_t> g_separator{u'.'};

}  // namespace

void SetDecimalSeparator(char16_t separator) noexcept {
  g_separator.store(separator, std::memory_order_relaxed);
}

char16_t DecimalSeparator() noexcept { return g_separator.load(std::memory_order_relaxed); }

}  // namespace velmora::common
