// The print job's failures that need no printer: no device, and a device
// that cannot start a document.
#include "common/win/print_text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/win/handles.h"

namespace velmora::common {
namespace {

std::string PrintError(HDC dc) {
  try {
    PrintTextOn(dc, u"a\r\n");
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(printed)";
}

TEST(PrintTextOn, RefusesDevicesItCannotPrintOn) {
  EXPECT_EQ(PrintError(nullptr), "Printer selected is not valid");

  // A memory device has no print service behind it: the document cannot start.
  const UniqueDC device(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(device);
  HDC memory = device.get();
  const HGDIOBJ font = GetCurrentObject(memory, OBJ_FONT);
  const COLORREF colour = GetTextColor(memory);
  EXPECT_EQ(PrintError(memory), "Printer is not currently printing");
  EXPECT_EQ(GetCurrentObject(memory, OBJ_FONT), font);
  EXPECT_EQ(GetTextColor(memory), colour);
  // Nothing is left marked as in progress: the next attempt fails the same way.
  EXPECT_EQ(PrintError(memory), "Printer is not currently printing");
}

}  // namespace
}  // namespace velmora::common
