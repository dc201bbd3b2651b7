// The arithmetic of the skinned controls, apart from the drawing: how far
// the progress bar's bands reach, its percent text, and the button's hit
// area.
#pragma once
#include <string>

namespace tov {

struct Rgb {
  int red, green, blue;
};

// The number of bands the bar is drawn in: the largest difference of a
// component between the two colours; for equal colours the largest
// component, and 255 when both are black.
int BandCount(Rgb start, Rgb end);

struct BarPaint {
  bool outOfRange;      // the whole bar is grey instead
  int bandsEnd;         // bands in the start colour cover [0, bandsEnd)
  bool drawBackground;  // the rest after bandsEnd is the background colour
};

// The bar along `extent` pixels for `position` in [lower, upper]: it
// advances a whole band at a time, the band that reaches past the filled
// length included. A position at or below the lower end, or above the upper
// end, is out of range.
BarPaint LayoutBar(int lower, int upper, int position, int extent, int bands);

// "%3.0f %%" of the position's share of the range.
std::wstring PercentText(int lower, int upper, int position);

struct PixelRect {
  int left, top, right, bottom;
};

// A point is inside when left <= x < right and top <= y < bottom.
bool HitsRect(const PixelRect& rect, int x, int y);

}  // namespace tov
