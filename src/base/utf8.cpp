#include "base/utf8.h"

namespace tov {

namespace {
void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}
}  // namespace

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if (sizeof(wchar_t) == 2 || c < 0x110000) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        char32_t lo = static_cast<char32_t>(text[i + 1]);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          Append(out, 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00));
          ++i;
          continue;
        }
      }
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    } else {
      c = 0xFFFD;
    }
    Append(out, c);
  }
  return out;
}

}  // namespace tov
