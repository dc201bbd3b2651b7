#include "base/log_format.h"

namespace tov {

std::wstring WidenAscii(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (unsigned char c : text) out += static_cast<wchar_t>(c);
  return out;
}

std::wstring BuildStamp(const char* date, const char* time) {
  return WidenAscii(date) + L" " + WidenAscii(time);
}

std::wstring FormatInfoLine(const std::wstring& stamp, const std::wstring& operation, int line,
                            const std::wstring& message) {
  return L"[" + stamp + L"][INFO][" + operation + L"::" + std::to_wstring(line) + L"] " + message +
         L"\n";
}

std::wstring FormatErrorLine(const std::wstring& stamp, const std::wstring& operation, int line,
                             const std::wstring& message) {
  return L"[" + stamp + L"][ERROR][" + operation + L"::" + std::to_wstring(line) + L"][" +
         message + L"]\n";
}

}  // namespace tov
