#include "common/placement.h"

namespace velmora::common {
namespace {

constexpr auto Add = WrappingAdd;
constexpr auto Sub = WrappingSub;

// start + (span - size) / 2 with C++'s truncating division.
std::int32_t CentreStart(std::int32_t start, std::int32_t end, std::int32_t size) {
  return Add(start, Sub(Sub(end, start), size) / 2);
}

}  // namespace

ScreenPoint CentredOver(const ScreenRect& over, std::int32_t width, std::int32_t height) {
  return {CentreStart(over.left, over.right, width), CentreStart(over.top, over.bottom, height)};
}

ScreenPoint MessageDialogPosition(const ScreenRect& parent, std::int32_t width,
                                  std::int32_t height, const ScreenRect& area) {
  ScreenPoint p = CentredOver(parent, width, height);
  if (p.y < area.top) p.y = area.top;
  if (p.y > Sub(area.bottom, height)) p.y = Sub(area.bottom, height);
  if (p.x < area.left) p.x = area.left;
  if (p.x > Sub(area.right, width)) p.x = Sub(area.right, width);
  return p;
}

ScreenPoint HelpWindowFirstPosition(const ScreenRect& main, std::int32_t width,
                                    std::int32_t height, const ScreenRect& area) {
  ScreenPoint p = CentredOver(main, width, height);
  if (p.x < area.left) p.x = area.left;
  if (p.y < area.top) p.y = area.top;
  return p;
}

}  // namespace velmora::common
