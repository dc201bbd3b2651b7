// The controls that draw themselves to fit the skin: the progress bar and
// the labels of the content panel (template controls taken over by
// subclassing), the windowless image button its owner paints, and an
// off-screen device context for paint handlers.
#pragma once
#include <windows.h>

#include <string>

#include "base/unique_handle.h"
#include "ui/png_resource_win.h"

// A control of a dialog template whose messages an object sees first.
class CSubclassedControl {
 public:
  CSubclassedControl() = default;
  virtual ~CSubclassedControl();
  CSubclassedControl(const CSubclassedControl&) = delete;
  CSubclassedControl& operator=(const CSubclassedControl&) = delete;

  bool SubclassDlgItem(int id, HWND parent);
  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  // Set `handled` to keep the control's own handling off.
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) = 0;
  HWND m_hWnd = nullptr;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                               DWORD_PTR self) noexcept;
  void Unsubclass();
};

class CGradientProgressCtrl : public CSubclassedControl {
 public:
  void SetRange(int lower, int upper);
  void SetPos(int position);

  int m_lower = 0;
  int m_upper = 100;
  int m_step = 10;
  int m_position = 0;
  COLORREF m_startColor = RGB(255, 0, 0);
  COLORREF m_endColor = RGB(0, 0, 255);
  COLORREF m_backColor = RGB(0, 0, 0);
  COLORREF m_textColor = RGB(255, 255, 255);
  int m_showPercent = 0;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  void Paint();
};

class CStaticEx : public CSubclassedControl {
 public:
  COLORREF m_textColor = RGB(255, 255, 255);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  void Paint();
  tov::UniqueGdiObject m_font;
};

// Not a window: its owner paints it and tests clicks against m_rect.
class CDUIButton {
 public:
  virtual ~CDUIButton() = default;
  virtual void Draw(GpGraphics* graphics);

  RECT m_rect{0, 0, 0, 0};
  int m_grayText = 0;
  int m_visible = 1;
  GpImage* m_image = nullptr;  // not owned
  GpImage* m_icon = nullptr;   // not owned
  int m_iconX = 0;
  int m_iconY = 0;
  std::wstring m_text;
  int m_textRed = 0;
  int m_textGreen = 0;
  int m_textBlue = 0;
};

// Draws go to an off-screen bitmap of the target's clip box, which is
// copied onto the target in one step when the object goes. A printing
// target is drawn on directly.
class CMYMemDC {
 public:
  explicit CMYMemDC(HDC target);
  ~CMYMemDC();
  CMYMemDC(const CMYMemDC&) = delete;
  CMYMemDC& operator=(const CMYMemDC&) = delete;
  operator HDC() const { return m_dc; }

 private:
  HDC m_target;
  HDC m_dc;
  bool m_offScreen;
  RECT m_rect{};
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
};
