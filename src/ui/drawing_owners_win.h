// Owners of what a drawing borrows or makes and must give back on every way
// out: a paint, a window's device context, an object selected into a
// context, and the GDI+ objects of the flat interface.
#pragma once
#include <windows.h>

#include <memory>

#include "ui/png_resource_win.h"

// BeginPaint to EndPaint.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : m_hwnd(hwnd), m_dc(::BeginPaint(hwnd, &m_paint)) {}
  ~PaintScope() { ::EndPaint(m_hwnd, &m_paint); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return m_dc; }

 private:
  HWND m_hwnd;
  PAINTSTRUCT m_paint{};
  HDC m_dc;
};

// A window's device context, given back to the window.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
  ~WindowDc() {
    if (m_dc) ::ReleaseDC(m_hwnd, m_dc);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC dc() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc;
};

// An object selected into a context, the one it replaced put back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(object ? ::SelectObject(dc, object) : nullptr) {}
  ~SelectedObject() {
    if (m_old) ::SelectObject(m_dc, m_old);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

// Each GDI+ object with its own delete call.
struct GdipDeleter {
  void operator()(Gdiplus::GpGraphics* p) const { gdip::GdipDeleteGraphics(p); }
  void operator()(Gdiplus::GpBrush* p) const { gdip::GdipDeleteBrush(p); }
  void operator()(Gdiplus::GpFont* p) const { gdip::GdipDeleteFont(p); }
  void operator()(Gdiplus::GpFontFamily* p) const { gdip::GdipDeleteFontFamily(p); }
  void operator()(Gdiplus::GpStringFormat* p) const { gdip::GdipDeleteStringFormat(p); }
  void operator()(Gdiplus::GpImage* p) const { gdip::GdipDisposeImage(p); }
};
template <typename T>
using GdipOwner = std::unique_ptr<T, GdipDeleter>;

// For the flat interface's out-parameters: the object it makes goes into
// `owner` when the filler ends.
template <typename T>
class GdipOut {
 public:
  explicit GdipOut(GdipOwner<T>& owner) : m_owner(owner) {}
  ~GdipOut() { m_owner.reset(m_made); }
  GdipOut(const GdipOut&) = delete;
  GdipOut& operator=(const GdipOut&) = delete;
  operator T**() { return &m_made; }

 private:
  GdipOwner<T>& m_owner;
  T* m_made = nullptr;
};
