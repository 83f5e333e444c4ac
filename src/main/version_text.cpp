#include "main/version_text.h"

namespace velmora::main {

namespace {

std::u16string Decimal(std::uint32_t v) {
  std::u16string s;
  do {
    s.insert(s.begin(), static_cast<char16_t>(u'0' + v % 10));
    v /= 10;
  } while (v != 0);
  return s;
}

}  // namespace

std::u16string VersionTextFrom(std::uint32_t fileVersionMS) {
  std::u16string minor = Decimal(fileVersionMS & 0xFFFFu);
  while (minor.size() < 2) minor.insert(minor.begin(), u'0');
  return Decimal(fileVersionMS >> 16) + u"." + minor;
}

}  // namespace velmora::main
