#include "web/login_launch.h"

#include "base/path_rules.h"

namespace tov {

namespace {
bool EqualsTrueIgnoringCase(const std::wstring& s) {
  static const wchar_t kTrue[] = L"true";
  if (s.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    wchar_t c = s[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kTrue[i]) return false;
  }
  return true;
}
}  // namespace

LoginResult ParseLoginResult(const std::wstring& text) {
  size_t bar = text.find(L'|');
  if (text.empty() || bar == std::wstring::npos) return {LoginResult::Malformed, L""};
  if (!EqualsTrueIgnoringCase(text.substr(0, bar))) return {LoginResult::Refused, L""};
  size_t second = text.find(L'|', bar + 1);
  std::wstring params = text.substr(bar + 1, second == std::wstring::npos ? std::wstring::npos
                                                                          : second - bar - 1);
  return {LoginResult::Accepted, params};
}

std::optional<std::wstring> ComposeGameCommandLine(const std::wstring& launcherCommandLine,
                                                   const std::wstring& loginParams,
                                                   const std::wstring& customParams,
                                                   const std::wstring& extra) {
  std::wstring line = launcherCommandLine + L" --parameters=" + loginParams + L" --plat_extra=" +
                      customParams + extra;
  if (line.size() >= 1024) return std::nullopt;
  return line;
}

std::wstring LuaPathCandidate(const std::wstring& fileText) {
  std::wstring first = fileText.substr(0, fileText.find_first_of(L"\r\n"));
  auto isLetter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
  if (first.size() < 3 || !isLetter(first[0]) || first[1] != L':' || !IsSeparator(first[2])) return L"";
  for (wchar_t c : first) {
    if (c == L'"' || c < 0x20 || c == 0x7f) return L"";
  }
  return first;
}

std::wstring LuaPathArgument(const std::wstring& directory) {
  size_t trailing = 0;
  while (trailing < directory.size() && directory[directory.size() - 1 - trailing] == L'\\') ++trailing;
  return L" \"--luapath=" + directory + std::wstring(trailing, L'\\') + L"\"";
}

std::wstring ScriptCallLogText(const std::wstring& method, const std::wstring& params) {
  std::wstring text = L"method:" + method + L",paramters:" + params;
  if (text.size() > 1023) text.resize(1023);
  return text;
}

bool LaunchGate::LoginSucceeded() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_bLoggedIn = true;
  if (m_bReady && !m_bLaunched) return m_bLaunched = true;
  return false;
}

bool LaunchGate::BecameReady() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_bReady = true;
  if (m_bLoggedIn && !m_bLaunched) return m_bLaunched = true;
  return false;
}

bool LaunchGate::LoggedIn() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_bLoggedIn;
}

bool LaunchGate::Ready() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_bReady;
}

}  // namespace tov
