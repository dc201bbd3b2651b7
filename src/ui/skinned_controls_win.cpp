#include "ui/skinned_controls_win.h"

#include <commctrl.h>

#include "ui/drawing_owners_win.h"
#include "ui/skin_rules.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x70F;

tov::Rgb ToRgb(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  tov::UniqueGdiObject brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

}  // namespace

CSubclassedControl::~CSubclassedControl() { Unsubclass(); }

bool CSubclassedControl::SubclassDlgItem(int id, HWND parent) {
  Unsubclass();
  HWND control = ::GetDlgItem(parent, id);
  if (!control ||
      !::SetWindowSubclass(control, &CSubclassedControl::Proc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
    return false;
  }
  m_hWnd = control;
  return true;
}

void CSubclassedControl::Unsubclass() {
  if (m_hWnd) ::RemoveWindowSubclass(m_hWnd, &CSubclassedControl::Proc, kSubclassId);
  m_hWnd = nullptr;
}

LRESULT CALLBACK CSubclassedControl::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                          DWORD_PTR self) noexcept {
  auto* control = reinterpret_cast<CSubclassedControl*>(self);
  if (msg == WM_NCDESTROY) {
    control->Unsubclass();
    return ::DefSubclassProc(hwnd, msg, wp, lp);
  }
  bool handled = false;
  LRESULT result = 0;
  try {
    result = control->OnMessage(msg, wp, lp, handled);
  } catch (...) {
    handled = false;
  }
  return handled ? result : ::DefSubclassProc(hwnd, msg, wp, lp);
}

void CGradientProgressCtrl::SetRange(int lower, int upper) {
  m_lower = lower;
  m_upper = upper;
  m_position = lower;
  if (m_hWnd) ::SendMessageW(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CGradientProgressCtrl::SetPos(int position) {
  m_position = position;
  if (m_hWnd) ::SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

LRESULT CGradientProgressCtrl::OnMessage(UINT msg, WPARAM, LPARAM, bool& handled) {
  switch (msg) {
    case WM_PAINT:
      Paint();
      handled = true;
      return 0;
    case WM_ERASEBKGND:
      handled = true;  // the paint covers every pixel
      return TRUE;
    default:
      return 0;
  }
}

void CGradientProgressCtrl::Paint() {
  PaintScope paint(m_hWnd);
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  const bool vertical = (::GetWindowLongW(m_hWnd, GWL_STYLE) & PBS_VERTICAL) != 0;
  const int extent = vertical ? client.bottom : client.right;
  const tov::BarPaint bar =
      tov::LayoutBar(m_lower, m_upper, m_position, extent, tov::BandCount(ToRgb(m_startColor), ToRgb(m_endColor)));
  if (bar.outOfRange) {
    Fill(paint.dc(), client, RGB(105, 105, 105));
    return;
  }
  {
    CMYMemDC dc(paint.dc());
    // The bands lie edge to edge in one colour: together they are one
    // rectangle, one pixel longer across than the client area.
    RECT bands = vertical ? RECT{0, 0, client.right + 1, bar.bandsEnd}
                          : RECT{0, 0, bar.bandsEnd, client.bottom + 1};
    Fill(dc, bands, m_startColor);
    if (bar.drawBackground) {
      RECT rest = vertical ? RECT{0, bar.bandsEnd, client.right, client.bottom}
                           : RECT{bar.bandsEnd, 0, client.right, client.bottom};
      Fill(dc, rest, m_backColor);
    }
  }
  if (m_showPercent) {
    std::wstring text = tov::PercentText(m_lower, m_upper, m_position);
    ::SetTextColor(paint.dc(), m_textColor);
    ::SetBkMode(paint.dc(), TRANSPARENT);
    ::DrawTextW(paint.dc(), text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

LRESULT CStaticEx::OnMessage(UINT msg, WPARAM, LPARAM, bool& handled) {
  if (msg != WM_PAINT) return 0;
  Paint();
  handled = true;
  return 0;
}

void CStaticEx::Paint() {
  PaintScope paint(m_hWnd);
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  int length = ::GetWindowTextLengthW(m_hWnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(m_hWnd, text.data(), length + 1)));
  // The labels draw in the skin's face, 20 pixels high, and the panel's
  // template makes them tall enough for it: in the device context's default
  // font they would not match the rest of the skin. The font is made once,
  // with the label's first paint, not at every paint.
  if (!m_font) {
    m_font.reset(::CreateFontW(20, 0, 0, 0, 500, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               FF_SWISS, L"微软雅黑"));
  }
  SelectedObject font(paint.dc(), m_font.get());
  ::SetBkMode(paint.dc(), TRANSPARENT);
  ::SetTextColor(paint.dc(), m_textColor);
  ::DrawTextW(paint.dc(), text.c_str(), -1, &client, DT_LEFT | DT_TOP | DT_NOPREFIX);
}

void CDUIButton::Draw(GpGraphics* graphics) {
  if (!m_visible || !graphics) return;
  if (m_image) {
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(m_image, &width);
    gdip::GdipGetImageHeight(m_image, &height);
    gdip::GdipDrawImageRectI(graphics, m_image, m_rect.left, m_rect.top, static_cast<INT>(width),
                             static_cast<INT>(height));
  }
  Gdiplus::RectF area(static_cast<float>(m_rect.left), static_cast<float>(m_rect.top),
                      static_cast<float>(m_rect.right - m_rect.left),
                      static_cast<float>(m_rect.bottom - m_rect.top));
  if (m_icon) {
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(m_icon, &width);
    gdip::GdipGetImageHeight(m_icon, &height);
    gdip::GdipDrawImageRectI(graphics, m_icon, m_iconX, m_iconY, static_cast<INT>(width),
                             static_cast<INT>(height));
    area.X = static_cast<float>(width) + static_cast<float>(m_iconX);
    area.Width = static_cast<float>(m_rect.right - m_rect.left) - static_cast<float>(width) - 2.0f;
  }
  if (m_text.empty()) return;
  GdipOwner<Gdiplus::GpStringFormat> format;
  GdipOwner<Gdiplus::GpFontFamily> family;
  GdipOwner<Gdiplus::GpFont> font;
  GdipOwner<Gdiplus::GpSolidFill> brush;
  gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, GdipOut(format));
  gdip::GdipSetStringFormatAlign(format.get(), Gdiplus::StringAlignmentCenter);
  gdip::GdipSetStringFormatLineAlign(format.get(), Gdiplus::StringAlignmentCenter);
  gdip::GdipCreateFontFamilyFromName(L"Tahoma", nullptr, GdipOut(family));
  if (family) {
    gdip::GdipCreateFont(family.get(), 9.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint, GdipOut(font));
  }
  const Gdiplus::ARGB colour =
      m_grayText ? 0xFF808080u
                 : (0xFF000000u | (static_cast<Gdiplus::ARGB>(m_textRed & 0xFF) << 16) |
                    (static_cast<Gdiplus::ARGB>(m_textGreen & 0xFF) << 8) |
                    static_cast<Gdiplus::ARGB>(m_textBlue & 0xFF));
  gdip::GdipCreateSolidFill(colour, GdipOut(brush));
  if (font && brush) {
    gdip::GdipDrawString(graphics, m_text.c_str(), static_cast<INT>(m_text.size()), font.get(), &area,
                         format.get(), brush.get());
  }
}

CMYMemDC::CMYMemDC(HDC target)
    : m_target(target), m_dc(target), m_offScreen(::GetDeviceCaps(target, TECHNOLOGY) != DT_RASPRINTER) {
  if (!m_offScreen) return;
  ::GetClipBox(target, &m_rect);
  HDC memory = ::CreateCompatibleDC(target);
  m_bitmap = memory ? ::CreateCompatibleBitmap(target, m_rect.right - m_rect.left,
                                               m_rect.bottom - m_rect.top)
                    : nullptr;
  if (!m_bitmap) {
    // No memory for the copy: draw straight on the target instead.
    if (memory) ::DeleteDC(memory);
    m_offScreen = false;
    return;
  }
  m_dc = memory;
  m_oldBitmap = ::SelectObject(m_dc, m_bitmap);
  ::SetWindowOrgEx(m_dc, m_rect.left, m_rect.top, nullptr);
}

CMYMemDC::~CMYMemDC() {
  if (!m_offScreen) return;
  ::BitBlt(m_target, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
           m_dc, m_rect.left, m_rect.top, SRCCOPY);
  ::SelectObject(m_dc, m_oldBitmap);
  ::DeleteObject(m_bitmap);
  ::DeleteDC(m_dc);
}
