#include "ui/skin_rules.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace tov {

int BandCount(Rgb start, Rgb end) {
  int count = std::max({std::abs(end.red - start.red), std::abs(end.green - start.green),
                        std::abs(end.blue - start.blue)});
  if (count > 0) return count;
  count = std::max({start.red, start.green, start.blue});
  return count > 0 ? count : 255;
}

BarPaint LayoutBar(int lower, int upper, int position, int extent, int bands) {
  if (position <= lower || position > upper || upper == 0 || bands <= 0) {
    return {true, 0, false};
  }
  // Single precision and truncation, as the bar has always been drawn.
  const int filled = static_cast<int>(static_cast<float>(position) / static_cast<float>(upper) *
                                      static_cast<float>(extent));
  const float bandSize = static_cast<float>(extent) / static_cast<float>(bands);
  int farEdge = 0;
  for (int i = 0; i < bands; ++i) {
    farEdge = static_cast<int>(static_cast<float>(i + 1) * bandSize);
    if (farEdge > filled) return {false, farEdge, true};
  }
  return {false, farEdge, false};
}

std::wstring PercentText(int lower, int upper, int position) {
  if (upper == lower) return L"";
  const float percent = static_cast<float>(position - lower) * 100.0f /
                        static_cast<float>(upper - lower);
  wchar_t text[32] = {};
  std::swprintf(text, sizeof text / sizeof text[0], L"%3.0f %%", static_cast<double>(percent));
  return text;
}

bool HitsRect(const PixelRect& rect, int x, int y) {
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

}  // namespace tov
