#include "app/startup_rules.h"

#include <cwchar>
#include <cwctype>

namespace tov {

std::wstring ChooseInstallRoot(const std::wstring& workingDir, bool haveC, bool haveD,
                               const std::wstring& channel) {
  if (haveC) return L"C:\\bm-" + channel;
  if (haveD) return L"D:\\bm-" + channel;
  return workingDir + L"\\bm-" + channel;
}

namespace {
wchar_t Fold(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
  if (c < 0x80) return c;
  return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}
}  // namespace

bool SameFileName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool IsUninstallTail(const std::wstring& tail) { return SameFileName(tail, L"/uninstall"); }

std::wstring CommandLineTail(const std::wstring& commandLine) {
  size_t i = 0;
  // The program name is quoted when it holds blanks; the quotes are not part
  // of the tail.
  if (i < commandLine.size() && commandLine[i] == L'"') {
    ++i;
    while (i < commandLine.size() && commandLine[i] != L'"') ++i;
    if (i < commandLine.size()) ++i;
  } else {
    while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
  }
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  return commandLine.substr(i);
}

std::wstring DumpFileName(const std::wstring& base, int year, int month, int day, int hour,
                          int minute, int second) {
  wchar_t buf[64];
  std::swprintf(buf, sizeof buf / sizeof buf[0], L"_%04d_%02d_%02d_%02d_%02d_%02d.dmp", year, month,
                day, hour, minute, second);
  return base + buf;
}

}  // namespace tov
