// Owning handles for GDI objects and device contexts, and scoped selections:
// each closes or puts back what it holds when it goes out of scope.
#pragma once

#include <windows.h>

#include <utility>

namespace velmora::common {

// Owns one handle (or none) and closes it with `Close`. Move-only.
template <class Handle, void (*Close)(Handle) noexcept>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }
  // Closes the handle held, if any, and takes `handle`.
  void reset(Handle handle = nullptr) noexcept {
    if (handle_ != nullptr) Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

namespace detail {
template <class Object>
void DeleteGdiObject(Object object) noexcept {
  DeleteObject(object);
}
inline void DeleteMemoryDC(HDC dc) noexcept { DeleteDC(dc); }
}  // namespace detail

using UniqueFont = UniqueHandle<HFONT, &detail::DeleteGdiObject<HFONT>>;
using UniqueBitmap = UniqueHandle<HBITMAP, &detail::DeleteGdiObject<HBITMAP>>;
// A DC from CreateCompatibleDC or CreateDC.
using UniqueDC = UniqueHandle<HDC, &detail::DeleteMemoryDC>;

// A window's DC from GetDC, released to the window at the end of the scope.
class WindowDC {
 public:
  explicit WindowDC(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects `object` into `dc` for the scope and puts the previous one back.
// A null DC or object selects nothing.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), old_(dc != nullptr && object != nullptr ? SelectObject(dc, object) : nullptr) {}
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;
  ~ScopedSelect() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace velmora::common
